// slots.cpp - the process-wide environment, the ten connection slots, the
// handles that the driver manager refused to free (kept for the next
// OP_SHUTDOWN), and the requests that bring them up and down: OP_INIT,
// OP_SHUTDOWN, OP_NEWCONN and OP_DISCONNECT.
#include "conn/slots.h"

#include <cstring>

#include "conn/driver_manager_hold.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/heap.h"
#include "host/request.h"
#include "stmt/getdata.h"
#include "stmt/param_values.h"

#define FIELD_BUF_SIZE (FIELD_CAP * FIELD_REC_SIZE)

SQLHENV env_handle = nullptr;
kept_diag env_kept;
static conn_slot slot_table[SLOT_COUNT];

conn_slot *slot_by_number(int number) {
    if (number < 1 || number > SLOT_COUNT) return nullptr;
    return &slot_table[number - 1];
}

SQLRETURN slot_ensure_stmt(conn_slot *slot) {
    if (slot->stmt != nullptr) return SQL_SUCCESS;
    SQLHSTMT stmt = nullptr;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, slot->dbc, &stmt);
    slot->stmt = sql_ok(rc) ? stmt : nullptr;
    return rc;
}

// Connection and environment handles that the driver manager refused to
// free, kept so that OP_SHUTDOWN can try again instead of forgetting a
// connection that is still open (and may hold a database lock). A handle
// that finds the table full is forgotten.
struct leftover {
    SQLSMALLINT type;
    SQLHANDLE handle; // null: the entry is unused
};
#define LEFTOVER_CAP 32
static leftover leftover_table[LEFTOVER_CAP];

static void keep_leftover(SQLSMALLINT type, SQLHANDLE handle) {
    for (leftover &l : leftover_table)
        if (l.handle == nullptr) {
            l = {type, handle};
            return;
        }
}

// A driver refuses to disconnect while work is not committed: that work is
// rolled back and the disconnect tried again, as closing a connection does.
static void end_connection(SQLHDBC dbc) {
    if (sql_ok(SQLDisconnect(dbc))) return;
    SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    SQLDisconnect(dbc);
}

// True when the handle is gone: freed, or no longer known to the driver
// manager (so nothing is left to keep).
static bool handle_freed(SQLSMALLINT type, SQLHANDLE handle) {
    SQLRETURN rc = SQLFreeHandle(type, handle);
    return sql_ok(rc) || rc == SQL_INVALID_HANDLE;
}

// Ends a connection first.
static bool free_handle(SQLSMALLINT type, SQLHANDLE handle) {
    if (type == SQL_HANDLE_DBC) end_connection(handle);
    return handle_freed(type, handle);
}

static void free_or_keep(SQLSMALLINT type, SQLHANDLE handle) {
    if (!free_handle(type, handle)) keep_leftover(type, handle);
}

// For a handle that was never connected, so nothing is ended first.
static void free_unused_or_keep(SQLSMALLINT type, SQLHANDLE handle) {
    if (!handle_freed(type, handle)) keep_leftover(type, handle);
}

// Connections before environments: an environment with a connection left
// cannot be freed.
static void release_leftovers() {
    static const SQLSMALLINT release_order[] = {SQL_HANDLE_DBC, SQL_HANDLE_ENV};
    for (SQLSMALLINT type : release_order)
        for (leftover &l : leftover_table)
            if (l.handle != nullptr && l.type == type && free_handle(type, l.handle)) l.handle = nullptr;
}

// A statement that the driver manager refuses to free is not kept: ending
// its connection frees it, and by the next OP_SHUTDOWN the handle would
// name nothing.
void slot_forget_prepared(conn_slot *slot) {
    heap_free(slot->prepared_text);
    slot->prepared_text = nullptr;
    slot->prepared_len = 0;
}

void slot_free_stmt(conn_slot *slot) {
    slot_forget_prepared(slot);
    if (slot->stmt == nullptr) return;
    SQLFreeHandle(SQL_HANDLE_STMT, slot->stmt);
    if (slot->diag_handle == slot->stmt) slot->diag_handle = nullptr;
    slot->stmt = nullptr;
}

// Frees the slot's statement, ends and frees its connection (or keeps it
// for OP_SHUTDOWN); the slot is free afterwards.
static void release_slot(conn_slot *slot) {
    slot_free_stmt(slot);
    if (slot->dbc != nullptr) free_or_keep(SQL_HANDLE_DBC, slot->dbc);
    slot->dbc = nullptr;
    slot->diag_handle = nullptr;
    diag_keep_release(slot->kept);
}

// Gives back a half-made environment, so that the next OP_INIT tries again.
static void discard_env() {
    if (env_handle != nullptr) free_unused_or_keep(SQL_HANDLE_ENV, env_handle);
    env_handle = nullptr;
}

static void forget_slot_handles() {
    for (conn_slot &s : slot_table) {
        s.dbc = nullptr;
        s.stmt = nullptr;
        s.diag_handle = nullptr;
    }
}

void slots_forget_parent() {
    forget_slot_handles();
    // The parent's messages are the parent's: the child starts without them.
    for (conn_slot &s : slot_table) diag_keep_release(s.kept);
    diag_keep_release(env_kept);
    for (leftover &l : leftover_table) l.handle = nullptr;
    env_handle = nullptr;
}

void op_init(request &rq) {
    if (env_handle != nullptr) return;
    forget_slot_handles();
    SQLHENV env = nullptr;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    env_handle = env; // as the driver manager left it, so the diagnostics can read it
    if (!sql_ok(rc)) {
        set_status(rq, ST_SQLERROR);
        diag_on_env(rq, rc);
        discard_env();
        return;
    }
    rc = SQLSetEnvAttr(env_handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!sql_ok(rc)) {
        // Without the version the environment is useless: give it back so
        // that the next OP_INIT tries again.
        set_status(rq, ST_SQLERROR);
        diag_on_env(rq, rc);
        discard_env();
        return;
    }
    driver_manager_hold();
    diag_on_env(rq, rc);
}

void op_shutdown(request &rq) {
    (void)rq;
    // Every slot is released, not only the one named: connections left open
    // would make the driver manager refuse to free the environment. Field
    // buffers go too (between OP_DISCONNECT and OP_SHUTDOWN a slot keeps its
    // buffer for its next OP_NEWCONN), and so does the scratch buffer: after
    // OP_SHUTDOWN the library holds no memory, so a host may unload it.
    for (conn_slot &s : slot_table) {
        release_slot(&s);
        heap_free(s.field_buf);
        s.field_buf = nullptr;
    }
    getdata_release();
    diag_keep_release(env_kept);
    param_values_release();
    // Handles kept by earlier teardowns go before the environment: one of
    // their connections may belong to it.
    release_leftovers();
    if (env_handle != nullptr) free_or_keep(SQL_HANDLE_ENV, env_handle);
    env_handle = nullptr;
    driver_manager_release();
}

void op_newconn(request &rq) {
    rq.status[SS_SLOT] = 0;
    int number = 0;
    for (int i = 1; i <= SLOT_COUNT && number == 0; ++i)
        if (slot_table[i - 1].dbc == nullptr) number = i;
    if (number == 0) {
        set_status(rq, ST_NOSLOT);
        return;
    }
    conn_slot *slot = &slot_table[number - 1];
    SQLHDBC dbc = nullptr;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, env_handle, &dbc);
    if (!sql_ok(rc)) {
        set_status(rq, ST_SQLERROR);
        diag_on_env(rq, rc);
        return;
    }
    slot->stmt = nullptr;
    slot->diag_handle = nullptr;
    slot->result_columns = -1;
    slot->field_cap = FIELD_CAP;
    if (slot->field_buf == nullptr) slot->field_buf = static_cast<uint8_t *>(heap_alloc(FIELD_BUF_SIZE));
    if (slot->field_buf == nullptr) {
        free_unused_or_keep(SQL_HANDLE_DBC, dbc);
        set_status(rq, ST_NOMEM);
        diag_on_env(rq, rc);
        return;
    }
    std::memset(slot->field_buf, 0, FIELD_BUF_SIZE);
    rq.status[SS_SLOT] = static_cast<uint8_t>(number);
    slot->dbc = dbc;
    diag_on_env(rq, rc);
}

void op_disconnect(request &rq) { release_slot(rq.slot); }
