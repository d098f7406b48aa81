// bench_library.h - the library as a host program reaches it: its one
// export (linked in on Linux, loaded from roridorezu.dll on Windows),
// requests built and served by the stand-in host, the fetch loop in each
// of the three forms, and the connect and describe requests that the
// benchmark times.
#ifndef RORI_BENCH_LIBRARY_H
#define RORI_BENCH_LIBRARY_H

#include <cstdint>
#include <string>
#include <vector>

#include "host.h"

// The library's heap requests so far (src/host/heap.h), or -1 where the
// count cannot be read: the Windows DLL exports vizori alone.
long library_heap_requests();

// OP_INIT on construction, OP_SHUTDOWN on destruction; requests that must
// succeed end the program with their status and SQLSTATE otherwise.
class library_session {
  public:
    library_session();
    ~library_session();
    library_session(const library_session &) = delete;
    library_session &operator=(const library_session &) = delete;

    host_var status_block(int slot) const; // 48 zero bytes naming the slot
    int send(int opcode, host_var &status, std::vector<host_var *> operands = {});
    void must(int opcode, host_var &status, std::vector<host_var *> operands = {});

    int take_slot();                                       // OP_NEWCONN
    int connect(const std::string &connect_text);          // OP_NEWCONN + OP_CONNECT; the slot
    void disconnect(int slot);                             // OP_DISCONNECT
    double timed_connect(const std::string &connect_text); // seconds of the OP_CONNECT alone
};

// How the variable form reads a column: the host variable it gets.
enum column_read {
    READ_INTEGER, // HV_INTEGER
    READ_REAL,    // HV_FLOAT
    READ_TEXT,    // HV_TEXT of longest + 1 bytes
    READ_BYTES,   // raw variable (type 0, the value's bytes) of longest bytes
};
struct column_shape {
    column_read read;
    int32_t longest; // bytes of the longest value (text and bytes)
};

enum fetch_form { FORM_VARIABLES, FORM_LINE, FORM_ARRAY_FIXED, FORM_ARRAY_DYNAMIC };

struct fetch_outcome {
    long rows;
    long heap_requests; // during the OP_FETCH loop; -1: not countable here
};

// OP_QUERY of sql on the slot, OP_FETCH in the form until the end of data,
// then OP_FREESTMT (close). Variables: per column as `columns` says; line:
// a dynamic text variable of 1 byte that grows once; fixed array: one
// element per column, each with room for the longest value and a NUL;
// dynamic array: a dynamic array variable.
fetch_outcome library_fetch(library_session &lib, int slot, const std::string &sql, fetch_form form,
                            const std::vector<column_shape> &columns);

// OP_QUERY of a statement, then OP_FREESTMT (close).
void library_exec(library_session &lib, int slot, const std::string &sql);

// OP_QUERY of sql, then `times` OP_DESCRIBE requests with room for 31
// records, timed together; then OP_FREESTMT. Returns seconds per request.
double timed_describe(library_session &lib, int slot, const std::string &sql, int times);

#endif
