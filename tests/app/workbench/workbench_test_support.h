#pragma once
// A workbench model over the fake view in a program folder of its own: OSTRELKALVEXA_HOME points
// at a temporary folder holding a copy of the shipped profiles, and XDG_CONFIG_HOME at a folder in
// it whose user-dirs.dirs names its own Videos folder.

#include <memory>
#include <string>
#include <vector>

#include "app/workbench/fake_view.h"
#include "app/workbench/workbench.h"
#include "support/test_support.h"

namespace ok::test {

// The shipped catalogue in the checkout.
std::string ShippedProfilesDir();

class TWorkbenchHarness {
 public:
  // With `copyProfiles` the program folder gets the shipped catalogue. The user's Videos folder is
  // "videos" inside the program folder, so the default output folder is made there.
  explicit TWorkbenchHarness(bool copyProfiles = true);
  ~TWorkbenchHarness();
  TWorkbenchHarness(const TWorkbenchHarness&) = delete;
  TWorkbenchHarness& operator=(const TWorkbenchHarness&) = delete;

  // The program folder, with a trailing "/".
  std::string Home() const;
  std::string ConfigFile() const { return Home() + "config.ini"; }
  std::string ExtFile() const { return Home() + "extfile.ini"; }
  // Writes "config.ini" with `text` as it is (bytes).
  void WriteConfig(const std::string& text) const;

  // A fresh model over View; OnCreate and OnShow have run when `start` is true.
  TWorkbench& NewModel(bool start = true);
  TWorkbench& Model() { return *model_; }

  TempDir Folder;
  TFakeView View;
  const std::vector<std::string>* Encoders =
      nullptr;  // the encoders the next model sees; null: the libraries'

 private:
  std::string savedHome_;
  bool hadHome_ = false;
  TScopedEnv configHome_;
  std::unique_ptr<TWorkbench> model_;
};

}  // namespace ok::test
