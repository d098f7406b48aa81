// bench_library.cpp - requests to the library through the stand-in host,
// exactly as a host program sends them: one host_call per request shape,
// run once per request.
#include "bench_library.h"

#include <cstdio>
#include <cstdlib>

#include "bench_clock.h"

#include "entry.h"

#if !defined(_WIN32)
#include "host/heap.h"
#endif

// The entry point, found once; the program ends when there is none.
static vizori_fn library_entry_point() {
    static vizori_fn entry = nullptr;
    if (entry == nullptr) {
        std::string problem;
        entry = library_entry(&problem);
        if (entry == nullptr) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            std::exit(1);
        }
    }
    return entry;
}

long library_heap_requests() {
#if defined(_WIN32)
    return -1;
#else
    return static_cast<long>(heap_request_count());
#endif
}

[[noreturn]] static void request_failed(int opcode, int rc, host_var &status) {
    std::fprintf(stderr, "request %d failed: status %d, SQLSTATE %s\n", opcode, rc,
                 status_view{status}.sqlstate().c_str());
    std::exit(1);
}

library_session::library_session() {
    host_var st = status_block(0);
    must(OP_INIT, st);
}

library_session::~library_session() {
    host_var st = status_block(0);
    send(OP_SHUTDOWN, st);
}

host_var library_session::status_block(int slot) const {
    host_var st = host_var::raw(SQL_STATUS_MIN);
    status_view{st}.set_slot(static_cast<uint8_t>(slot));
    return st;
}

int library_session::send(int opcode, host_var &status, std::vector<host_var *> operands) {
    host_var op = host_var::integer(opcode);
    host_call call(op, status, operands);
    return call.run(library_entry_point());
}

void library_session::must(int opcode, host_var &status, std::vector<host_var *> operands) {
    int rc = send(opcode, status, operands);
    if (rc != ST_OK) request_failed(opcode, rc, status);
}

int library_session::take_slot() {
    host_var st = status_block(0);
    must(OP_NEWCONN, st);
    return status_view{st}.slot();
}

// OP_CONNECT parses its text in place, so each request gets a fresh copy.
static host_var connect_text_var(const std::string &text) { return host_var::text(text, text.size() + 1); }

int library_session::connect(const std::string &connect_text) {
    int slot = take_slot();
    host_var st = status_block(slot);
    host_var text = connect_text_var(connect_text);
    must(OP_CONNECT, st, {&text});
    return slot;
}

void library_session::disconnect(int slot) {
    host_var st = status_block(slot);
    must(OP_DISCONNECT, st);
}

double library_session::timed_connect(const std::string &connect_text) {
    int slot = take_slot();
    host_var st = status_block(slot);
    host_var text = connect_text_var(connect_text);
    host_var op = host_var::integer(OP_CONNECT);
    host_call call(op, st, {&text});
    double start = clock_seconds();
    int rc = call.run(library_entry_point());
    double elapsed = clock_seconds() - start;
    if (rc != ST_OK) request_failed(OP_CONNECT, rc, st);
    disconnect(slot);
    return elapsed;
}

// The variables that receive the rows of one fetch loop.
class fetch_target {
  public:
    fetch_target(fetch_form form, const std::vector<column_shape> &columns) {
        int32_t longest = 0;
        for (const column_shape &c : columns) longest = c.longest > longest ? c.longest : longest;
        switch (form) {
        case FORM_VARIABLES:
            for (const column_shape &c : columns) vars_.push_back(variable_for(c));
            break;
        case FORM_LINE: vars_.push_back(host_var::text("", 1, true)); break;
        case FORM_ARRAY_FIXED:
            vars_.push_back(host_var::array(static_cast<size_t>(longest) + 1, columns.size()));
            break;
        case FORM_ARRAY_DYNAMIC: vars_.push_back(host_var::dynamic_array()); break;
        }
        for (host_var &v : vars_) operands_.push_back(&v);
    }

    const std::vector<host_var *> &operands() const { return operands_; }

    // The stand-in host records every HS_PUTNUM; a real host keeps no such
    // log, so it is emptied after each row (its room is kept).
    void after_row() {
        for (host_var &v : vars_) v.putnums.clear();
    }

  private:
    static host_var variable_for(const column_shape &c) {
        switch (c.read) {
        case READ_INTEGER: return host_var::integer(0);
        case READ_REAL: return host_var::real(0.0);
        case READ_TEXT: return host_var::text("", static_cast<size_t>(c.longest) + 1);
        case READ_BYTES: break;
        }
        return host_var::raw(static_cast<size_t>(c.longest));
    }

    std::vector<host_var> vars_;
    std::vector<host_var *> operands_;
};

static int16_t form_flags(fetch_form form) {
    switch (form) {
    case FORM_LINE: return FETCH_LINE;
    case FORM_ARRAY_FIXED:
    case FORM_ARRAY_DYNAMIC: return FETCH_ARRAY;
    case FORM_VARIABLES: break;
    }
    return 0;
}

static void open_result(library_session &lib, int slot, const std::string &sql) {
    host_var st = lib.status_block(slot);
    host_var text = host_var::text(sql);
    lib.must(OP_QUERY, st, {&text});
}

static void close_result(library_session &lib, int slot) {
    host_var st = lib.status_block(slot);
    lib.must(OP_FREESTMT, st);
}

void library_exec(library_session &lib, int slot, const std::string &sql) {
    open_result(lib, slot, sql);
    close_result(lib, slot);
}

fetch_outcome library_fetch(library_session &lib, int slot, const std::string &sql, fetch_form form,
                            const std::vector<column_shape> &columns) {
    open_result(lib, slot, sql);
    fetch_target target(form, columns);
    host_var st = lib.status_block(slot);
    status_view view{st};
    view.set_subcode(form_flags(form));
    view.set_param_swapped(static_cast<int32_t>(columns.size()));
    host_var op = host_var::integer(OP_FETCH);
    host_call call(op, st, target.operands());
    vizori_fn entry = library_entry_point();

    fetch_outcome out{0, 0};
    long heap_before = library_heap_requests();
    for (;;) {
        int rc = call.run(entry);
        if (rc != ST_OK) request_failed(OP_FETCH, rc, st);
        if (view.rowcount() == 0.0) break; // the end of data
        ++out.rows;
        target.after_row();
    }
    out.heap_requests = heap_before < 0 ? -1 : library_heap_requests() - heap_before;
    close_result(lib, slot);
    return out;
}

double timed_describe(library_session &lib, int slot, const std::string &sql, int times) {
    open_result(lib, slot, sql);
    host_var records = host_var::raw(FIELD_REC_SIZE * 31);
    host_var st = lib.status_block(slot);
    host_var op = host_var::integer(OP_DESCRIBE);
    host_call call(op, st, {&records});
    vizori_fn entry = library_entry_point();
    double start = clock_seconds();
    for (int i = 0; i < times; ++i) {
        int rc = call.run(entry);
        if (rc != ST_OK) request_failed(OP_DESCRIBE, rc, st);
    }
    double elapsed = clock_seconds() - start;
    close_result(lib, slot);
    return elapsed / times;
}
