// call_guard.cpp - the process-wide lock around every request, and the
// test for a request made from inside a running one on the same thread.
// Both locks need no set-up and hold no resource, so loading and unloading
// the library leave nothing behind.
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
#include <pthread.h>

// A recursive lock lets the thread that holds it in again, which is how a
// nested call on that thread is told apart: it finds a call running. The
// flag is read and written only while the lock is held.
static pthread_mutex_t call_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
static bool call_running = false;

bool call_guard_enter() {
    pthread_mutex_lock(&call_lock);
    if (call_running) {
        pthread_mutex_unlock(&call_lock);
        return false;
    }
    call_running = true;
    return true;
}

void call_guard_leave() {
    call_running = false;
    pthread_mutex_unlock(&call_lock);
}
#endif
