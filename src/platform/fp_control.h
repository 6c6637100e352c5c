#pragma once
// The process-wide floating-point setting the media libraries expect: every floating-point
// exception masked, so that a division by zero yields an infinity and an invalid operation a NaN.

#include <fenv.h>

namespace ok {

// Saves the floating-point environment and masks all exceptions on construction; restores the
// saved environment on destruction.
class TFloatingPointControl {
 public:
  TFloatingPointControl();
  ~TFloatingPointControl();
  TFloatingPointControl(const TFloatingPointControl&) = delete;
  TFloatingPointControl& operator=(const TFloatingPointControl&) = delete;

 private:
  fenv_t saved_;
};

}  // namespace ok
