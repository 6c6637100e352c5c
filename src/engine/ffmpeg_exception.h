#pragma once
// The failures the engine raises. The component catches std::exception and keeps the message, so
// the three classes only tell apart where a failure came from.

#include <stdexcept>
#include <string>

namespace ok {

// A failure of the engine itself (an option it refuses, a file it cannot open, ...).
class FFmpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An option value that is not a number: "'%s' is not a valid integer value" and the like.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A broken precondition on an option value; the message carries the place that checks it.
class EAssertionFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace ok
