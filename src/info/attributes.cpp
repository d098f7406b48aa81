// attributes.cpp - OP_GETCONNATTR and OP_SETCONNATTR on the slot's
// connection, OP_GETSTMTATTR and OP_SETSTMTATTR on the slot's statement
// (allocated when the slot has none). Owns the two tables of attribute
// numbers that the library passes on, and what kind of value each takes.
#include <cstdint>

#include "conn/slots.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/request.h"

// What a read of a text attribute stores into argument 3: the text itself
// is not handed over.
#define TEXT_ATTR_READ (-99)

enum attr_kind {
    ATTR_INTEGER,     // SQL_IS_UINTEGER, any value
    ATTR_TEXT,        // SQL_NTS; a read stores TEXT_ATTR_READ
    ATTR_POINTER,     // SQL_IS_POINTER; may be set only to 0: a number from
                      // the host is never handed on as an address
    ATTR_ONLY_ONE,    // SQL_IS_UINTEGER; may be set only to 1: a fetch
                      // delivers one row, and with no parameters bound a
                      // parameter set size of n would make the driver run
                      // each statement n times (an INSERT inserting n rows)
    ATTR_ONLY_ZERO,   // SQL_IS_UINTEGER; may be set only to 0: no request
                      // waits for a call that answers SQL_STILL_EXECUTING,
                      // and a window handle is no number a host can give
    ATTR_READ_ONLY,   // read as an integer; a set is refused
    ATTR_UNSUPPORTED, // ST_UNSUPPORTED
    ATTR_REFUSED,     // ST_BADARG, as for every number not in a table
};

struct attr_entry {
    SQLINTEGER number;
    attr_kind kind;
};

// The connection attributes a program may read and set; every other number
// is refused before any ODBC call.
static const attr_entry connection_attrs[] = {
    {SQL_ATTR_ASYNC_ENABLE, ATTR_ONLY_ZERO},     // 4
    {SQL_ATTR_ACCESS_MODE, ATTR_INTEGER},        // 101
    {SQL_ATTR_AUTOCOMMIT, ATTR_INTEGER},         // 102
    {SQL_ATTR_LOGIN_TIMEOUT, ATTR_INTEGER},      // 103
    {SQL_ATTR_TRACE, ATTR_INTEGER},              // 104
    {SQL_ATTR_TRACEFILE, ATTR_TEXT},             // 105
    {SQL_ATTR_TRANSLATE_LIB, ATTR_TEXT},         // 106
    {SQL_ATTR_TRANSLATE_OPTION, ATTR_INTEGER},   // 107
    {SQL_ATTR_TXN_ISOLATION, ATTR_INTEGER},      // 108
    {SQL_ATTR_CURRENT_CATALOG, ATTR_TEXT},       // 109
    {SQL_ATTR_ODBC_CURSORS, ATTR_INTEGER},       // 110
    {SQL_ATTR_QUIET_MODE, ATTR_ONLY_ZERO},       // 111: the parent window of the driver's dialogs
    {SQL_ATTR_PACKET_SIZE, ATTR_INTEGER},        // 112
    {SQL_ATTR_CONNECTION_TIMEOUT, ATTR_INTEGER}, // 113
    {SQL_ATTR_CONNECTION_DEAD, ATTR_INTEGER},    // 1209
    {SQL_ATTR_METADATA_ID, ATTR_INTEGER},        // 10014
};

// The statement attributes. The refused entries are there to show that
// they are refused on purpose; a number not in the table is refused too.
static const attr_entry statement_attrs[] = {
    {SQL_ATTR_CURSOR_SENSITIVITY, ATTR_INTEGER},       // -2
    {SQL_ATTR_CURSOR_SCROLLABLE, ATTR_INTEGER},        // -1
    {SQL_ATTR_QUERY_TIMEOUT, ATTR_INTEGER},            // 0
    {SQL_ATTR_MAX_ROWS, ATTR_INTEGER},                 // 1
    {SQL_ATTR_NOSCAN, ATTR_INTEGER},                   // 2
    {SQL_ATTR_MAX_LENGTH, ATTR_INTEGER},               // 3
    {SQL_ATTR_ASYNC_ENABLE, ATTR_ONLY_ZERO},           // 4
    {SQL_ATTR_ROW_BIND_TYPE, ATTR_INTEGER},            // 5
    {SQL_ATTR_CURSOR_TYPE, ATTR_INTEGER},              // 6
    {SQL_ATTR_CONCURRENCY, ATTR_INTEGER},              // 7
    {SQL_ATTR_KEYSET_SIZE, ATTR_INTEGER},              // 8
    {SQL_ROWSET_SIZE, ATTR_REFUSED},                   // 9
    {SQL_ATTR_SIMULATE_CURSOR, ATTR_INTEGER},          // 10
    {SQL_ATTR_RETRIEVE_DATA, ATTR_INTEGER},            // 11
    {SQL_ATTR_USE_BOOKMARKS, ATTR_INTEGER},            // 12
    {SQL_GET_BOOKMARK, ATTR_REFUSED},                  // 13
    {SQL_ATTR_ROW_NUMBER, ATTR_READ_ONLY},             // 14
    {SQL_ATTR_ENABLE_AUTO_IPD, ATTR_INTEGER},          // 15
    {SQL_ATTR_FETCH_BOOKMARK_PTR, ATTR_POINTER},       // 16
    {SQL_ATTR_PARAM_BIND_OFFSET_PTR, ATTR_POINTER},    // 17
    {SQL_ATTR_PARAM_BIND_TYPE, ATTR_INTEGER},          // 18
    {SQL_ATTR_PARAM_OPERATION_PTR, ATTR_UNSUPPORTED},  // 19
    {SQL_ATTR_PARAM_STATUS_PTR, ATTR_UNSUPPORTED},     // 20
    {SQL_ATTR_PARAMS_PROCESSED_PTR, ATTR_POINTER},     // 21
    {SQL_ATTR_PARAMSET_SIZE, ATTR_ONLY_ONE},           // 22
    {SQL_ATTR_ROW_BIND_OFFSET_PTR, ATTR_POINTER},      // 23
    {SQL_ATTR_ROW_OPERATION_PTR, ATTR_POINTER},        // 24
    {SQL_ATTR_ROW_STATUS_PTR, ATTR_UNSUPPORTED},       // 25
    {SQL_ATTR_ROWS_FETCHED_PTR, ATTR_REFUSED},         // 26
    {SQL_ATTR_ROW_ARRAY_SIZE, ATTR_ONLY_ONE},          // 27
    {SQL_ATTR_APP_ROW_DESC, ATTR_UNSUPPORTED},         // 10010
    {SQL_ATTR_APP_PARAM_DESC, ATTR_UNSUPPORTED},       // 10011
    {SQL_ATTR_IMP_ROW_DESC, ATTR_UNSUPPORTED},         // 10012
    {SQL_ATTR_IMP_PARAM_DESC, ATTR_UNSUPPORTED},       // 10013
    {SQL_ATTR_METADATA_ID, ATTR_INTEGER},              // 10014
};

typedef SQLRETURN(SQL_API *attr_getter)(SQLHANDLE, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *);
typedef SQLRETURN(SQL_API *attr_setter)(SQLHANDLE, SQLINTEGER, SQLPOINTER, SQLINTEGER);

// One of the two families of requests: its table, the type of handle it
// works on and its ODBC calls.
struct attr_family {
    const attr_entry *table;
    size_t count;
    SQLSMALLINT handle_type;
    attr_getter get;
    attr_setter set;
};

static const attr_family connection_family = {
    connection_attrs, sizeof connection_attrs / sizeof connection_attrs[0], SQL_HANDLE_DBC,
    SQLGetConnectAttr, SQLSetConnectAttr};
static const attr_family statement_family = {
    statement_attrs, sizeof statement_attrs / sizeof statement_attrs[0], SQL_HANDLE_STMT,
    SQLGetStmtAttr, SQLSetStmtAttr};

// One request in the making: the handle it works on and the value of
// argument 3.
struct attr_request {
    SQLHANDLE handle;
    SQLINTEGER number;
    attr_kind kind;
    bool is_set;
    int32_t value;              // an integer or pointer value
    char text[HS_GETSTR_LIMIT]; // a text value; the buffer of a text read
};

static attr_kind kind_of(const attr_family &family, SQLINTEGER number) {
    for (size_t i = 0; i < family.count; ++i)
        if (family.table[i].number == number) return family.table[i].kind;
    return ATTR_REFUSED;
}

// ST_OK when a request on an attribute of this kind may go on.
static int16_t kind_status(attr_kind kind) {
    if (kind == ATTR_REFUSED) return ST_BADARG;
    if (kind == ATTR_UNSUPPORTED) return ST_UNSUPPORTED;
    return ST_OK;
}

// ST_OK when the value may be handed to the driver by a set.
static int16_t set_value_status(attr_kind kind, int32_t value) {
    if (kind == ATTR_READ_ONLY) return ST_BADARG;
    if (kind == ATTR_POINTER && value != 0) return ST_UNSUPPORTED;
    if (kind == ATTR_ONLY_ONE && value != 1) return ST_UNSUPPORTED;
    if (kind == ATTR_ONLY_ZERO && value != 0) return ST_UNSUPPORTED;
    return ST_OK;
}

static void read_value_arg(const request &rq, attr_request &ar) {
    if (ar.kind == ATTR_TEXT)
        host_getstr(rq, 3, ar.text);
    else
        ar.value = host_getnum(rq, 3);
}

// The integer stands in the pointer argument, as ODBC prescribes for
// integer attributes.
static SQLRETURN set_attr(const attr_family &family, attr_request &ar) {
    if (ar.kind == ATTR_TEXT) return family.set(ar.handle, ar.number, ar.text, SQL_NTS);
    SQLINTEGER length_code = ar.kind == ATTR_POINTER ? SQL_IS_POINTER : SQL_IS_UINTEGER;
    return family.set(ar.handle, ar.number, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(ar.value)),
                      length_code);
}

// Reads the attribute and stores it into argument 3. The driver is given
// the size of the library's own variable, so that it cannot write past it.
static SQLRETURN get_attr(const request &rq, const attr_family &family, attr_request &ar) {
    SQLINTEGER length = 0;
    if (ar.kind == ATTR_TEXT) {
        SQLRETURN rc = family.get(ar.handle, ar.number, ar.text, sizeof ar.text, &length);
        if (sql_ok(rc)) host_putnum(rq, 3, TEXT_ATTR_READ);
        return rc;
    }
    SQLLEN value = 0;
    SQLRETURN rc = family.get(ar.handle, ar.number, &value, sizeof value, &length);
    if (sql_ok(rc)) host_putnum(rq, 3, static_cast<int64_t>(value));
    return rc;
}

// The common course of the four requests once the handle is known. An exit
// before the attribute call hands early_rc (that of a statement allocation
// on the connection, or SQL_SUCCESS) to the diagnostics step.
static void run_attr_request(request &rq, const attr_family &family, attr_request &ar, SQLRETURN early_rc) {
    int16_t st = arg_count(rq) < 3 ? static_cast<int16_t>(ST_ARGS) : kind_status(ar.kind);
    if (st == ST_OK) {
        read_value_arg(rq, ar);
        if (ar.is_set) st = set_value_status(ar.kind, ar.value);
    }
    if (st != ST_OK) {
        set_status(rq, st);
        diag_on_dbc(rq, early_rc);
        return;
    }
    SQLRETURN rc = ar.is_set ? set_attr(family, ar) : get_attr(rq, family, ar);
    if (!sql_ok(rc)) set_status(rq, ST_SQLERROR);
    diag_step(rq, rc, family.handle_type, ar.handle);
}

void op_connattr(request &rq) {
    attr_request ar{};
    ar.handle = rq.slot->dbc;
    ar.number = rd_i32(rq.status, SS_PARAM);
    ar.kind = kind_of(connection_family, ar.number);
    ar.is_set = rq.opcode == OP_SETCONNATTR;
    run_attr_request(rq, connection_family, ar, SQL_SUCCESS);
}

void op_stmtattr(request &rq) {
    SQLRETURN alloc_rc = slot_ensure_stmt(rq.slot);
    if (!sql_ok(alloc_rc)) {
        set_status(rq, ST_NOSTMT);
        diag_on_dbc(rq, alloc_rc);
        return;
    }
    attr_request ar{};
    ar.handle = rq.slot->stmt;
    ar.number = status_subcode(rq);
    ar.kind = kind_of(statement_family, ar.number);
    ar.is_set = rq.opcode == OP_SETSTMTATTR;
    if (ar.is_set) slot_forget_prepared(rq.slot); // a changed statement is prepared anew
    run_attr_request(rq, statement_family, ar, alloc_rc);
}
