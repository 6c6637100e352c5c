#include "platform/fp_control.h"

#if defined(__x86_64__) || defined(__i386__)
#include <fpu_control.h>
#endif

namespace ok {

TFloatingPointControl::TFloatingPointControl() {
  fegetenv(&saved_);
  feclearexcept(FE_ALL_EXCEPT);
  fedisableexcept(FE_ALL_EXCEPT);
#if defined(__x86_64__) || defined(__i386__)
  // x87: all six exceptions masked, 64-bit precision, round to nearest.
  fpu_control_t cw = 0x133F;
  _FPU_SETCW(cw);
#endif
}

TFloatingPointControl::~TFloatingPointControl() { fesetenv(&saved_); }

}  // namespace ok
