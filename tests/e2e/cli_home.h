#pragma once
// The ostrelkalvexa-cli program run as a user would, in a home of its own.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace ok::test {

inline std::string Program() { return (fs::path(BuildDir()) / "ostrelkalvexa-cli").string(); }

// A program folder of its own (settings, the last analysis) with the build's catalogues, and an
// output folder that the settings name, so that nothing is written beside the build's program.
class CliHome {
 public:
  CliHome() {
    fs::create_directory_symlink(fs::path(BuildDir()) / "profiles", home_.Path() / "profiles");
    std::ofstream(home_ / "config.ini") << "[savepath]\nnewfilepath=" << out_.Path().string() << "\n";
  }
  // Under a Chinese locale unless `language` names another (LANG; the variables before it unset).
  std::string CommandLine(const std::string& arguments, const std::string& language = "zh_CN.UTF-8") const {
    return "LANGUAGE= LC_ALL= LC_MESSAGES= LANG=" + language +
           " OSTRELKALVEXA_HOME=" + ShellQuote(home_.Path().string()) + " exec " + ShellQuote(Program()) +
           " " + arguments;
  }
  CommandResult Run(const std::string& arguments, const std::string& language = "zh_CN.UTF-8") const {
    return RunCommand(CommandLine(arguments, language));
  }
  // The program folder, which is the settings folder too.
  fs::path Home() const { return home_.Path(); }
  std::vector<std::string> Outputs() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(out_.Path())) files.push_back(entry.path().string());
    return files;
  }

 private:
  TempDir home_;
  TempDir out_;
};

// The one output of a run, which it names on a line of its own.
inline std::string SingleOutput(const CliHome& home, const CommandResult& r) {
  const std::vector<std::string> outputs = home.Outputs();
  EXPECT_EQ(outputs.size(), 1u) << r.output;
  if (outputs.size() != 1) return "";
  EXPECT_NE(r.output.find("\n" + outputs[0] + "\n"), std::string::npos) << r.output;
  return outputs[0];
}

}  // namespace ok::test
