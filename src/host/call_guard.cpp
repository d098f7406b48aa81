// call_guard.cpp - the process-wide lock around every request, the test
// for a request made from inside a running one on the same thread, and (on
// Linux) the state of both in a child made by fork. The locks need no
// set-up and hold no resource, so loading and unloading the library leave
// nothing behind. Taking and giving back the lock costs about 145
// instructions a request (docs/performance.md).
#include "host/call_guard.h"

#if defined(_WIN32)
#include <windows.h>

// The running call's thread is recorded beside the lock. Only that thread
// writes its own identifier there, so finding it there means this thread is
// inside a call; any other value means it must wait. Windows never gives a
// thread the identifier 0.
static SRWLOCK call_lock = SRWLOCK_INIT;
static volatile LONG running_thread = 0;

call_entry call_guard_enter() {
    LONG me = static_cast<LONG>(GetCurrentThreadId());
    if (InterlockedCompareExchange(&running_thread, 0, 0) == me) return CALL_REFUSED;
    AcquireSRWLockExclusive(&call_lock);
    InterlockedExchange(&running_thread, me);
    return CALL_ENTERED; // Windows has no fork
}

void call_guard_leave() {
    InterlockedExchange(&running_thread, 0);
    ReleaseSRWLockExclusive(&call_lock);
}
#else
#include <errno.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

// An error-checking lock tells the thread that holds it, when it asks for
// it again, with EDEADLK instead of waiting: that is a nested call.
static pthread_mutex_t call_lock = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;

// Set in a child of fork: the next call let in forgets the parent's state.
// The call in which this thread forked (if it did inside a service) is not
// that call: it finishes on the parent's handles.
static bool forked = false;

// Whether the thread that is forking holds the lock, noted just before the
// fork from the lock's owner (glibc's error-checking lock records the
// kernel thread number, which the child's thread does not share).
static bool fork_inside_call = false;

call_entry call_guard_enter() {
    if (pthread_mutex_lock(&call_lock) == EDEADLK) return CALL_REFUSED;
    if (!forked) return CALL_ENTERED;
    forked = false;
    return CALL_FIRST_AFTER_FORK;
}

void call_guard_leave() { pthread_mutex_unlock(&call_lock); }

static void note_lock_before_fork() {
    fork_inside_call = call_lock.__data.__owner == static_cast<int>(syscall(SYS_gettid));
}

// In the child only this thread lives. The lock is made anew: held by this
// thread when it forked inside a call (which goes on and gives it back),
// free otherwise, whatever thread of the parent held it.
static void reset_lock_in_child() {
    pthread_mutex_t fresh = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;
    call_lock = fresh;
    if (fork_inside_call) pthread_mutex_lock(&call_lock);
    forked = true;
}

// Registered at load; glibc drops the handlers again when the library is
// unloaded.
__attribute__((constructor)) static void register_fork_handlers() {
    pthread_atfork(note_lock_before_fork, nullptr, reset_lock_in_child);
}
#endif
