#pragma once
// Thread priorities: the platform's seven steps, mapped onto Linux scheduling. A thread sets its
// own priority; on Linux the nice value is a property of the single thread.

namespace ok {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Sets the calling thread's priority: tpIdle = SCHED_IDLE, tpLowest = nice 19, tpLower = nice 10,
// tpNormal = nice 0, the higher ones negative nice values (which need privileges). False when the
// system refused; the thread then keeps what it had.
bool SetCurrentThreadPriority(TThreadPriority priority);

}  // namespace ok
