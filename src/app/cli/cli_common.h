#pragma once
// What the command-line front ends share: their exit statuses, the Ctrl-C flag and the parsing of
// counted arguments.

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <string>

namespace ok::cli {

constexpr int ExitFinished = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitInterrupted = 130;

// Set by SIGINT and SIGTERM once InstallInterruptHandler has run; the flag is the process's, as the
// signal is.
inline std::atomic<bool>& InterruptFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}

extern "C" inline void OnInterruptSignal(int) { InterruptFlag() = true; }

inline void InstallInterruptHandler() {
  InterruptFlag();  // created before a signal can arrive
  struct sigaction action {};
  action.sa_handler = OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Once the program has begun to wind down: a second Ctrl-C ends the process at once.
inline void RestoreDefaultInterrupt() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

// A whole decimal number from `low` to `high` and nothing else.
inline bool ParseCount(const std::string& text, long low, long high, int& value) {
  if (text.empty() || text.front() == '+' || text.front() == '-') return false;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || n < low || n > high) return false;
  value = int(n);
  return true;
}

}  // namespace ok::cli
