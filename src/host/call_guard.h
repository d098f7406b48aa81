// call_guard.h - one request at a time in the whole process. The slot
// table, the scratch buffer and the password buffer are shared by every
// call, so a call from another thread waits until the running one has
// ended, and a call made on the thread whose call is running (from inside
// a host service) is refused before it touches anything.
#ifndef RORI_CALL_GUARD_H
#define RORI_CALL_GUARD_H

enum call_entry {
    CALL_REFUSED,        // this thread's own call is running already
    CALL_ENTERED,
    CALL_FIRST_AFTER_FORK // entered, in a child of fork, as its first call
                          // that did not itself fork: the environment and
                          // the connections are the parent's
};

// Waits for the running call of another thread to end, then marks this
// thread's call as running. Refuses, having waited for nothing and changed
// nothing, when this thread's own call is running already.
call_entry call_guard_enter();

// Ends the call that call_guard_enter let in.
void call_guard_leave();

#endif
