#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ok {

namespace {

int NiceOf(TThreadPriority priority) {
  switch (priority) {
    case tpLowest:
      return 19;
    case tpLower:
      return 10;
    case tpHigher:
      return -5;
    case tpHighest:
      return -10;
    case tpTimeCritical:
      return -20;
    default:
      return 0;
  }
}

}  // namespace

bool SetCurrentThreadPriority(TThreadPriority priority) {
  sched_param param{};
  param.sched_priority = 0;
  if (priority == tpIdle) return pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0;
  // A thread inherits its creator's policy and nice value, so both are set every time.
  int policy = 0;
  sched_param current{};
  if (pthread_getschedparam(pthread_self(), &policy, &current) == 0 && policy != SCHED_OTHER &&
      pthread_setschedparam(pthread_self(), SCHED_OTHER, &param) != 0)
    return false;
  // PRIO_PROCESS with a thread id addresses that single thread on Linux.
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), NiceOf(priority)) == 0;
}

}  // namespace ok
