// trace.h - the support trace: with RORIDOREZU_TRACE naming a file at
// OP_INIT, every request appends one tab-separated line to it (time,
// thread, slot, opcode, operands in short, the outcome in the status block,
// duration). Off, it costs the entry one test of trace_on per request.
#ifndef RORI_TRACE_H
#define RORI_TRACE_H

#include <cstddef>
#include <cstdint>

struct request;

// True while a trace file is open. Read by the entry for every request.
extern bool trace_on;
// True while the trace is on and RORIDOREZU_TRACE_VALUES is 1.
extern bool trace_values_on;

// At OP_INIT, before it runs: reads the settings anew and opens the file
// they name (closing one opened before), or turns the trace off.
void trace_configure();

// Around one request whose opcode has been read: trace_begin notes the
// start and the operands (before the handler may change them), trace_end
// writes the line, and after OP_SHUTDOWN closes the file.
void trace_begin(const request &rq);
void trace_end(const request &rq, int status);

// The line of a call refused with ST_BUSY: it reads nothing through the
// host, so it names no opcode. p is the refused call's parameter block.
void trace_refused_call(void *p);

// A parameter value bound to a statement of the running request, for its
// line: row and marker counted from 1, data null for a NULL. Written only
// with RORIDOREZU_TRACE_VALUES=1: the first 3 rows, at most 20 values per
// request, each cut at 100 bytes with its length noted.
void trace_value_record(int32_t row, int marker, const void *data, size_t len);
inline void trace_value(int32_t row, int marker, const void *data, size_t len) {
    if (trace_values_on) trace_value_record(row, marker, data, len);
}

#endif
