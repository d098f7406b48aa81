// threads.h - several threads that send requests on slots of their own
// with no lock of the host's, as a multi-threaded host that forgot its lock
// does: each takes and connects a slot, then round after round runs a query
// whose answer it knows (a number and a long text, both its own) and
// fetches it, and finally gives the slot back.
#ifndef RORI_TEST_THREADS_H
#define RORI_TEST_THREADS_H

// Runs `threads` threads of `rounds` rounds each and returns the number of
// requests that answered wrongly (a status, a value or a guard byte); 0 is
// the only right count. The library must be initialised, with "demo" as a
// data source. RORI_THREAD_ROUNDS in the environment overrides `rounds`.
int wrong_answers_from_threads(int threads, int rounds);

#endif
