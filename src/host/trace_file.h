// trace_file.h - what the support trace needs from the system: its
// settings from the environment, the file it appends to, the time of day,
// a clock for durations and the calling thread's number.
#ifndef RORI_TRACE_FILE_H
#define RORI_TRACE_FILE_H

#include <cstddef>
#include <cstdint>

// The environment variable's value copied into buf (cut to size - 1), or
// null when it is not set or empty. On Windows the process's Windows
// environment.
const char *trace_setting(const char *name, char *buf, size_t size);

// Opens path for appending, creating it readable and writable by its owner
// only; closes the file opened before, if any. False when it cannot be
// opened (no trace then).
bool trace_file_open(const char *path);
void trace_file_close();
bool trace_file_is_open();

// Writes one whole line straight to the file (no buffer of ours to flush);
// a failed write is dropped.
void trace_file_write(const char *line, size_t len);

// The time of day in UTC, as 2026-12-08T13:55:01.123456Z; returns its length.
int trace_utc_time(char *buf, size_t size);

// Microseconds on a clock that never goes back.
uint64_t trace_clock_us();

// The calling thread's number as the system shows it (a Linux tid, a
// Windows thread id).
unsigned long trace_thread_id();

#endif
