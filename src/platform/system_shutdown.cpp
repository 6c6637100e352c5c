#include "platform/system_shutdown.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace ok {

TCommandShutdown::TCommandShutdown(std::vector<std::string> command) : command_(std::move(command)) {}

bool TCommandShutdown::PowerOff(std::string& error) {
  if (command_.empty()) {
    error = "no shutdown command";
    return false;
  }
  std::vector<char*> argv;
  for (std::string& arg : command_) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    error = command_[0] + ": " + std::strerror(rc);
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = command_[0] + ": " + std::strerror(errno);
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  error = command_[0] + (WIFEXITED(status) ? " exited with " + std::to_string(WEXITSTATUS(status))
                                           : std::string(" ended by a signal"));
  return false;
}

TSystemShutdown& DefaultSystemShutdown() {
  static TCommandShutdown shutdown;
  return shutdown;
}

}  // namespace ok
