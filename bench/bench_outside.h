// bench_outside.h - what the benchmark reads from outside its own process
// (Linux only): the peak resident memory of a process, the output of this
// program run again as a child, the instructions of such a child's fetch
// counted by callgrind, and the same fetch done by the tools users pick
// instead of the library: unixODBC's isql and Python's pyodbc.
#ifndef RORI_BENCH_OUTSIDE_H
#define RORI_BENCH_OUTSIDE_H

#include <string>

// VmHWM of this process in KiB (/proc/self/status); 0 when unknown.
long peak_resident_kib();

// Runs this program with `arguments` (the environment inherited) and
// returns what it printed; ends the program when the child fails.
std::string run_self(const std::string &arguments);

// Runs this program with `arguments` under callgrind, counting only the
// instructions inside the fetch loop functions (raw_fetch, library_fetch);
// without_host: not those of the stand-in host either (building the
// parameter block, serving host services), so what is left of a library
// loop is the library's work and the driver's. -1 when valgrind is missing
// or the run fails.
long long fetch_instructions(const std::string &arguments, bool without_host);

struct outside_fetch {
    bool ran; // false: the tool is missing or failed (see note)
    long rows;
    double seconds;
    std::string note; // what was timed, or why it did not run
};

// `isql -b -d, DSN` with the query on its input, its rows counted as output
// lines; the whole process is timed (start, connect, fetch, printing).
outside_fetch isql_fetch(const char *dsn, const std::string &sql);

// pyodbc (Debian's /usr/bin/python3) connecting to DSN: execute and
// iteration over every row, timed inside Python.
outside_fetch pyodbc_fetch(const char *dsn, const std::string &sql);

#endif
