// vizori.cpp - the library's one entry point: reads the opcode, checks and
// resets the status block, runs the checks every request passes, and
// dispatches to the opcode's handler through the opcode table; one request
// at a time (host/call_guard.h).
#include "conn/slots.h"
#include "host/call_guard.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/request.h"

#if defined(_WIN32)
#define RORI_EXPORT extern "C"
#else
#define RORI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

typedef void (*handler_fn)(request &);

// Index: opcode. Null entries (0, 5, 19..24) are not implemented.
static const handler_fn opcode_table[OP_LAST + 1] = {
    nullptr,        // 0
    op_init,        // 1 OP_INIT
    op_shutdown,    // 2 OP_SHUTDOWN
    op_geterror,    // 3 OP_GETERROR
    op_newconn,     // 4 OP_NEWCONN
    nullptr,        // 5
    op_connect,     // 6 OP_CONNECT
    op_disconnect,  // 7 OP_DISCONNECT
    op_info,        // 8 OP_INFO
    op_query,       // 9 OP_QUERY
    op_fields,      // 10 OP_DESCRIBE
    op_fields,      // 11 OP_SETFIELDS
    op_fetch,       // 12 OP_FETCH
    op_freestmt,    // 13 OP_FREESTMT
    op_connattr,    // 14 OP_GETCONNATTR
    op_connattr,    // 15 OP_SETCONNATTR
    op_stmtattr,    // 16 OP_GETSTMTATTR
    op_stmtattr,    // 17 OP_SETSTMTATTR
    op_datasources, // 18 OP_DATASOURCES
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, // 19..24
};

static void reset_status_block(uint8_t *st, int32_t opcode) {
    wr_i16(st, SS_OPCODE, static_cast<int16_t>(opcode));
    wr_i16(st, SS_STATUS, ST_OK);
    wr_i32(st, SS_RESULT, 0);
    if (opcode != OP_FETCH) wr_f64(st, SS_ROWCOUNT, 0.0);
    st[SS_SQLSTATE] = 0;
    if (opcode != OP_GETERROR) wr_i32(st, SS_NATIVE, 0);
}

// Runs the checks that precede every handler; returns false when one of
// them has set the status. Fills in the request's slot.
static bool pass_preamble(request &rq) {
    uint32_t op = static_cast<uint32_t>(rq.opcode);
    if (op > OP_LAST) {
        set_status(rq, ST_BADOP);
        return false;
    }
    if (op == OP_INIT) return true; // no environment test, no slot
    if (env_handle == nullptr) {
        set_status(rq, ST_NOINIT);
        return false;
    }
    // Opcodes 0, 2, 3 and 4 do not range-test the slot number: a number
    // outside 1..10 names no slot, so 2, 3 and 4 run without one and 0 ends
    // with ST_BADCONN below. Nothing outside the slot table is reached.
    conn_slot *slot = slot_by_number(rq.status[SS_SLOT]);
    if (op > OP_NEWCONN && slot == nullptr) {
        set_status(rq, ST_BADCONN);
        return false;
    }
    if (op != OP_GETERROR && op != OP_SHUTDOWN && op != OP_NEWCONN && (slot == nullptr || slot->dbc == nullptr)) {
        set_status(rq, ST_BADCONN);
        return false;
    }
    rq.slot = slot;
    return true;
}

static int run_request(void *p, host_callback cb) {
    request rq{};
    rq.params = static_cast<uint8_t *>(p);
    rq.cb = cb;
    rq.opcode = host_getnum(rq, 1);
    if (static_cast<uint32_t>(arg_size(rq, 2)) < SQL_STATUS_MIN) return ST_BADARG;
    rq.status = arg_data(rq, 2);
    reset_status_block(rq.status, rq.opcode);
    if (pass_preamble(rq)) {
        diag_request_begins(rq);
        handler_fn handler = opcode_table[rq.opcode];
        if (handler != nullptr)
            handler(rq);
        else
            set_status(rq, ST_BADOP);
    }
    return get_status(rq);
}

// A call made from inside a host service of a running call on the same
// thread gets ST_BUSY and nothing else: no host service, no ODBC call, not
// a byte written, since its status block may well be the running call's.
RORI_EXPORT int RORI_CDECL vizori(void *p, host_callback cb) {
    if (!call_guard_enter()) return ST_BUSY;
    int status = run_request(p, cb);
    call_guard_leave();
    return status;
}
