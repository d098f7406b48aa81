// unload.h - a host that loads the library for one job and unloads it
// afterwards, over and over: each cycle loads its own copy of the library
// (not the one the other tests use), connects a slot to "demo", fetches a
// value of 100 KB, ends with OP_SHUTDOWN and unloads the library.
#ifndef RORI_TEST_UNLOAD_H
#define RORI_TEST_UNLOAD_H

struct unload_cycles {
    int failed;      // cycles whose load, job or unload went wrong
    long growth_kib; // resident memory gained from the end of the first tenth of the cycles to the end
};

// RORI_UNLOAD_CYCLES in the environment overrides `cycles`.
unload_cycles run_unload_cycles(int cycles);

#endif
