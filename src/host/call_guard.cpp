// call_guard.cpp - the process-wide lock around every request, and the
// test for a request made from inside a running one on the same thread.
// Both locks need no set-up and hold no resource, so loading and unloading
// the library leave nothing behind. Taking and giving back the lock costs
// about 145 instructions a request (docs/performance.md).
#include "host/call_guard.h"

#if defined(_WIN32)
#include <windows.h>

// The running call's thread is recorded beside the lock. Only that thread
// writes its own identifier there, so finding it there means this thread is
// inside a call; any other value means it must wait. Windows never gives a
// thread the identifier 0.
static SRWLOCK call_lock = SRWLOCK_INIT;
static volatile LONG running_thread = 0;

bool call_guard_enter() {
    LONG me = static_cast<LONG>(GetCurrentThreadId());
    if (InterlockedCompareExchange(&running_thread, 0, 0) == me) return false;
    AcquireSRWLockExclusive(&call_lock);
    InterlockedExchange(&running_thread, me);
    return true;
}

void call_guard_leave() {
    InterlockedExchange(&running_thread, 0);
    ReleaseSRWLockExclusive(&call_lock);
}
#else
#include <errno.h>
#include <pthread.h>

// An error-checking lock tells the thread that holds it, when it asks for
// it again, with EDEADLK instead of waiting: that is a nested call.
static pthread_mutex_t call_lock = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;

bool call_guard_enter() { return pthread_mutex_lock(&call_lock) != EDEADLK; }

void call_guard_leave() { pthread_mutex_unlock(&call_lock); }
#endif
