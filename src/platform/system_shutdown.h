#pragma once
// Powering the machine off after a batch. The window asks through this interface so that tests can
// put a recorder in its place.

#include <string>
#include <vector>

namespace ok {

class TSystemShutdown {
 public:
  virtual ~TSystemShutdown() = default;
  // Asks the system to power off; false with `error` set when the request was refused or could
  // not be made.
  virtual bool PowerOff(std::string& error) = 0;
};

// Runs a command and waits for it: by default `systemctl poweroff` (logind decides whether the
// user may power off).
class TCommandShutdown : public TSystemShutdown {
 public:
  explicit TCommandShutdown(std::vector<std::string> command = {"systemctl", "poweroff"});
  bool PowerOff(std::string& error) override;

 private:
  std::vector<std::string> command_;
};

// The process's shutdown: a TCommandShutdown with the default command.
TSystemShutdown& DefaultSystemShutdown();

}  // namespace ok
