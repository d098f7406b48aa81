// unload.h - a host that loads the library for one job and unloads it
// afterwards, over and over: each cycle loads its own copy of the library
// (not the one the other tests use), connects a slot to "demo", fetches a
// value of 100 KB, ends with OP_SHUTDOWN and unloads the library.
#ifndef RORI_TEST_UNLOAD_H
#define RORI_TEST_UNLOAD_H

#include <string>

// Runs the cycles and checks that each went right and that resident memory
// stayed flat after the first tenth of them. RORI_UNLOAD_CYCLES in the
// environment overrides `cycles`.
void expect_flat_unload_cycles(int cycles);

// One cycle on the library at path: load, the job, OP_SHUTDOWN unless
// shut_down is false, unload. True when every step answered right.
bool unload_cycle(const std::string &path, bool shut_down);

#endif
