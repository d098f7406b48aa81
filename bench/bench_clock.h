// bench_clock.h - the benchmark's clocks: monotonic wall-clock seconds, and
// the processor time of this process, which a busy machine disturbs less.
#ifndef RORI_BENCH_CLOCK_H
#define RORI_BENCH_CLOCK_H

#include <chrono>
#include <ctime>

inline double clock_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor seconds of the process, or a negative number where no clock
// fine enough is at hand (Windows, where the process times advance in
// scheduler ticks).
inline double cpu_seconds() {
#if defined(_WIN32)
    return -1.0;
#else
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
#endif
}

#endif
