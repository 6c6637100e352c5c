// ostrelkalvexa-transcode: the transcoding component from the command line. Each INPUT OUTPUT
// pair is one task; the -i lines before an INPUT and the -o lines between it and its OUTPUT are
// the tasks' extra options ("name=value", the engine's option names).

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/cli/cli_common.h"
#include "app/cli/program_options.h"
#include "component/transcoder.h"
#include "platform/main_thread.h"
#include "platform/program_folder.h"

namespace {

using ok::cli::ExitFailed;
using ok::cli::ExitFinished;
using ok::cli::ExitInterrupted;
using ok::cli::ExitUsage;

const char* const UsageText =
    "usage: ostrelkalvexa-transcode [--parallel N] [--threads N]\n"
    "                               [--log-level quiet|error|info|debug|all]\n"
    "                               { [-i NAME=VALUE]... INPUT [-o NAME=VALUE]... OUTPUT }...\n"
    "       ostrelkalvexa-transcode --help | --version\n"
    "  Converts each INPUT into its OUTPUT; NAME=VALUE are engine options (vcodec=mpeg4,\n"
    "  s=640x360, b=768000, acodec=aac, ...), -i ones for the input, -o ones for the output.\n"
    "  --threads N: threads per conversion, 0 (the default) one per core; a task's own\n"
    "  threads=N wins. --log-level sets the engine's verbosity (its option v). Options take\n"
    "  their value as --name VALUE or --name=VALUE; after -- every argument is an INPUT or OUTPUT.\n";

int Usage(const std::string& problem) {
  return ok::cli::AnswerCommandLine(ok::cli::prBadArguments, "ostrelkalvexa-transcode", UsageText, problem);
}

struct TTaskArguments {
  std::string Input;
  std::string InputOptions;  // one "name=value" per line
  std::string Output;
  std::string OutputOptions;
};

struct TArguments {
  int Parallel = 1;
  int Threads = 0;
  ok::TLogLevel LogLevel = ok::llInfo;
  std::vector<TTaskArguments> Tasks;
};

bool ParseLogLevel(const std::string& text, ok::TLogLevel& level) {
  static const std::pair<const char*, ok::TLogLevel> names[] = {{"quiet", ok::llQuiet},
                                                                {"error", ok::llError},
                                                                {"info", ok::llInfo},
                                                                {"debug", ok::llDebug},
                                                                {"all", ok::llAll}};
  for (const auto& [name, value] : names)
    if (text == name) {
      level = value;
      return true;
    }
  return false;
}

// What the command line asks for; `problem` says what is wrong with one that is refused.
ok::cli::TParseResult ParseArguments(int argc, char** argv, TArguments& args, std::string& problem) {
  using namespace ok::cli;
  enum { opParallel = OwnOptions, opThreads, opLogLevel };
  static const option options[] = {{"parallel", required_argument, nullptr, opParallel},
                                   {"threads", required_argument, nullptr, opThreads},
                                   {"log-level", required_argument, nullptr, opLogLevel},
                                   HelpOption,
                                   VersionOption,
                                   {}};
  TTaskArguments current;
  bool haveInput = false;
  auto takeFile = [&](const std::string& arg) -> std::string {
    if (arg.empty()) return std::string(haveInput ? "an OUTPUT" : "an INPUT") + " may not be an empty name";
    if (!haveInput) {
      current.Input = arg;
      haveInput = true;
    } else {
      current.Output = arg;
      args.Tasks.push_back(current);
      current = TTaskArguments{};
      haveInput = false;
    }
    return "";
  };
  auto take = [&](int opt, const std::string& value) -> std::string {
    switch (opt) {
      case 1:
        return takeFile(value);
      case opParallel:
        return ParseCount(value, 1, 64, args.Parallel) ? "" : "--parallel takes a number from 1 to 64";
      case opThreads:
        return ParseCount(value, 0, 1024, args.Threads) ? "" : "--threads takes a number from 0 to 1024";
      case opLogLevel:
        return ParseLogLevel(value, args.LogLevel) ? "" : "unknown log level";
    }
    // -i or -o
    const std::string flag = opt == 'i' ? "-i" : "-o";
    if (value.find('=') == std::string::npos || value.front() == '=')
      return flag + " " + value + ": not NAME=VALUE";
    if (value.find('\n') != std::string::npos) return "an option may not hold a line break";
    if ((opt == 'i') == haveInput)
      return flag + " " + value + ": " + (haveInput ? "-i before the INPUT" : "-o after an INPUT");
    (haveInput ? current.OutputOptions : current.InputOptions) += value + "\n";
    return "";
  };
  // The leading '-' returns each INPUT and OUTPUT in its place: the -i and -o options before it
  // are its own.
  int operands = argc;
  if (const TParseResult result = ScanOptions(argc, argv, "-:i:o:", options, take, problem, operands);
      result != prRun)
    return result;
  // After --, the rest are files.
  for (int i = operands; i < argc && problem.empty(); ++i) problem = takeFile(argv[i]);
  if (problem.empty()) {
    if (haveInput)
      problem = "INPUT " + current.Input + " has no OUTPUT";
    else if (!current.InputOptions.empty())
      problem = "-i options without an INPUT";
    else if (args.Tasks.empty())
      problem = "nothing to convert";
  }
  return problem.empty() ? prRun : prBadArguments;
}

bool NamesOption(const std::string& lines, const std::string& name) {
  const std::string prefix = name + "=";
  for (size_t at = 0; (at = lines.find(prefix, at)) != std::string::npos; ++at)
    if (at == 0 || lines[at - 1] == '\n') return true;
  return false;
}

const char* LevelName(ok::TLogLevel level) {
  switch (level) {
    case ok::llQuiet:
      return "quiet";
    case ok::llError:
      return "error";
    case ok::llInfo:
      return "info";
    case ok::llDebug:
      return "debug";
    case ok::llAll:
      break;
  }
  return "all";
}

// The engine ignores what it does not know; a person gets told before anything starts. "" when
// every option of every task would take effect.
std::string RefusedOption(const std::vector<TTaskArguments>& tasks) {
  ok::TCustomFFmpeg checker;
  checker.ResetOptions();
  for (const TTaskArguments& task : tasks)
    for (const std::string* lines : {&task.InputOptions, &task.OutputOptions})
      for (size_t at = 0; at < lines->size();) {
        const size_t end = lines->find('\n', at);
        const std::string line = lines->substr(at, end - at);
        at = end == std::string::npos ? lines->size() : end + 1;
        const size_t eq = line.find('=');
        if (std::string problem = checker.CheckOption(line.substr(0, eq), line.substr(eq + 1));
            !problem.empty())
          return problem;
      }
  return "";
}

// "" when no two tasks write one file, else what says so: the component sees only the tasks it
// holds, and those are set up as the run goes.
std::string SharedOutput(const std::vector<TTaskArguments>& tasks) {
  std::unordered_map<std::string, size_t> writers;
  for (size_t i = 0; i < tasks.size(); ++i) {
    const std::string path = ok::TTranscoder::ResolvedOutputPath(tasks[i].Output);
    if (path.empty()) continue;
    if (const auto [writer, added] = writers.emplace(path, i); !added)
      return tasks[i].Output + " is already the output of task " + std::to_string(writer->second);
  }
  return "";
}

// Adds `task` to the component with its options; its index, or -1 (LastError says why).
int SetUpTask(ok::TTranscoder& transcoder, const TTaskArguments& task, int threads) {
  ok::TInputOptions input;
  ok::ResetInputOptions(input);
  input.ExtraOptions = task.InputOptions;
  // The timestamps are kept from the input's opening on, so copyts among the output's options
  // must act there too.
  const bool copyTimestamps =
      NamesOption(task.InputOptions, "copyts") || NamesOption(task.OutputOptions, "copyts");
  if (copyTimestamps && !NamesOption(task.InputOptions, "copyts")) input.ExtraOptions += "copyts=1\n";
  const int index = transcoder.AddTask(task.Input, &input);
  if (index < 0) return -1;
  ok::TOutputOptions output;
  ok::ResetOutputOptions(output);
  output.ExtraOptions = task.OutputOptions;
  if (!NamesOption(task.InputOptions, "threads") && !NamesOption(task.OutputOptions, "threads"))
    output.ExtraOptions = "threads=" + std::to_string(threads) + "\n" + output.ExtraOptions;
  // The record's fields are applied after the extra options of both sides: those that lines
  // name must be set there to take effect.
  ok::TakeRecordFieldsFromLines(task.InputOptions + task.OutputOptions, output);
  output.CopyTimestamps = copyTimestamps;
  if (transcoder.SetOutput(index, task.Output, &output)) return index;
  transcoder.RemoveTask(index);  // the component keeps the error text
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  TArguments args;
  std::string problem;
  const ok::cli::TParseResult parsed = ParseArguments(argc, argv, args, problem);
  if (parsed != ok::cli::prRun)
    return ok::cli::AnswerCommandLine(parsed, "ostrelkalvexa-transcode", UsageText, problem);

  ok::TMainThreadLoop& mainThread = ok::DefaultMainThreadLoop();
  std::mutex outputMutex;
  // Tasks' terminations, the run's own included: each wakes the main thread to set up more.
  std::atomic<int> terminations{0};
  bool anyFailed = false;
  // The command line's task number of each of the component's tasks, under outputMutex.
  std::vector<int> taskNumbers;
  auto numberOf = [&](int index) {
    return index >= 0 && index < int(taskNumbers.size()) ? taskNumbers[size_t(index)] : index;
  };

  ok::TTranscoder transcoder;
  transcoder.SetLogLevel(args.LogLevel);
  transcoder.OnLog = [&](int index, ok::TLogLevel level, const std::string& text) {
    // The engine logs some information (the mapping, the summary) whatever its level.
    if (level > args.LogLevel) return;
    std::lock_guard<std::mutex> lock(outputMutex);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::fprintf(stderr, "[%d] %s: %s\n", numberOf(index), LevelName(level), line.c_str());
  };
  transcoder.OnProgress = [&](int index, int frameNumber, int fps, int currentDuration, float, float bitRate,
                              int64_t currentSize, int totalOutputDuration) {
    std::lock_guard<std::mutex> lock(outputMutex);
    std::string percent = "?%";
    if (totalOutputDuration > 0)
      percent =
          std::to_string(std::min<int64_t>(100, int64_t(currentDuration) * 100 / totalOutputDuration)) + "%";
    std::fprintf(stderr, "[%d] %s frame=%d fps=%d time=%.2f size=%lldkB bitrate=%.1fkbits/s\n",
                 numberOf(index), percent.c_str(), frameNumber, fps, currentDuration / 1000.0,
                 static_cast<long long>(currentSize / 1024), double(bitRate));
  };
  transcoder.OnTerminate = [&](int index, bool finished, bool exception, const std::string& message) {
    // The run's own end (index -1) has nothing to print; it only wakes the main thread.
    if (index >= 0) {
      std::lock_guard<std::mutex> lock(outputMutex);
      if (finished) {
        std::fprintf(stderr, "[%d] finished\n", numberOf(index));
      } else if (exception) {
        anyFailed = true;
        std::fprintf(stderr, "[%d] failed: %s\n", numberOf(index), message.c_str());
      } else {
        std::fprintf(stderr, "[%d] stopped\n", numberOf(index));
      }
    }
    ++terminations;
    mainThread.Wake();
  };

  // From here on a signal stops the tasks, those being set up too; a hang-up is a termination
  // (its default would kill the process and leave an output without its header).
  ok::cli::InstallInterruptHandler();
  std::atomic<bool>& interrupted = ok::cli::InterruptFlag();

  if (!transcoder.LoadLibraries(ok::ProgramFolder() + "LibAV")) {
    std::cerr << "error: " << transcoder.LastError() << "\n";
    return ExitUsage;
  }
  if (std::string problem = RefusedOption(args.Tasks); !problem.empty()) return Usage(problem);
  if (const std::string shared = SharedOutput(args.Tasks); !shared.empty()) {
    std::cerr << "error: " << shared << "\n";
    return ExitUsage;
  }
  // The tasks are set up as the run needs them, at most TasksAtOnce ahead: a batch's length
  // costs neither open files nor memory. Each one's number is its place on the command line.
  const int tasksAtOnce = ok::TTranscoder::TasksAtOnce(args.Parallel);
  size_t nextToSetUp = 0;
  auto setUpMore = [&](bool running) {
    transcoder.ReleaseEndedTasks();
    bool added = false;
    while (nextToSetUp < args.Tasks.size() && transcoder.PendingCount() < tasksAtOnce && !interrupted) {
      const int number = int(nextToSetUp);
      const int index = SetUpTask(transcoder, args.Tasks[nextToSetUp++], args.Threads);
      if (index >= 0) {
        std::lock_guard<std::mutex> lock(outputMutex);
        if (int(taskNumbers.size()) <= index) taskNumbers.resize(size_t(index) + 1, -1);
        taskNumbers[size_t(index)] = number;
        added = true;
        continue;
      }
      // Before the run nothing starts; during it the task fails alone.
      if (!running) return false;
      std::lock_guard<std::mutex> lock(outputMutex);
      anyFailed = true;
      std::fprintf(stderr, "[%d] failed: %s\n", number, transcoder.LastError().c_str());
    }
    if (added && running) transcoder.Start(args.Parallel);
    return true;
  };
  if (!setUpMore(false)) {
    std::cerr << "error: " << transcoder.LastError() << "\n";
    return ExitUsage;
  }
  if (interrupted && transcoder.PendingCount() == 0) return ExitInterrupted;

  // Interrupted during the set-up: every task set up so far reports "stopped" and none starts.
  bool stopped = interrupted;
  if (stopped)
    transcoder.Stop();
  else
    transcoder.Start(args.Parallel);
  int seen = 0;
  while (transcoder.Running() || (!stopped && nextToSetUp < args.Tasks.size())) {
    mainThread.RunUntil([&] { return terminations.load() != seen || (interrupted.load() && !stopped); },
                        std::chrono::milliseconds(100));
    seen = terminations;
    if (interrupted && !stopped) {
      // The outputs end with their trailers and stay playable.
      stopped = true;
      transcoder.Stop();
    }
    if (!stopped) setUpMore(true);
  }
  if (stopped) return ExitInterrupted;
  return anyFailed ? ExitFailed : ExitFinished;
}
