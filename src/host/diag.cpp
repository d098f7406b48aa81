// diag.cpp - capture of ODBC diagnostics into the status block, and
// OP_GETERROR, which hands the message text of the record that the slot's
// last failed call left to the caller.
#include "host/diag.h"

#include "conn/slots.h"
#include "host/copy_bounded.h"
#include "host/handlers.h"
#include "host/request.h"

struct chosen_handle {
    SQLSMALLINT type;
    SQLHANDLE handle; // null: there is none
};

// Where OP_GETERROR looks: the handle of the slot's last failed call; else
// the slot's statement, its connection, or the environment.
static chosen_handle geterror_handle(const request &rq) {
    if (rq.slot != nullptr) {
        if (rq.slot->diag_handle != nullptr) return {rq.slot->diag_type, rq.slot->diag_handle};
        if (rq.slot->stmt != nullptr) return {SQL_HANDLE_STMT, rq.slot->stmt};
        if (rq.slot->dbc != nullptr) return {SQL_HANDLE_DBC, rq.slot->dbc};
    }
    return {SQL_HANDLE_ENV, env_handle};
}

static SQLRETURN read_record(request &rq, chosen_handle h, SQLINTEGER *native, char *message) {
    SQLSMALLINT text_len = 0;
    *native = 0;
    message[0] = '\0';
    return SQLGetDiagRec(h.type, h.handle, 1, reinterpret_cast<SQLCHAR *>(sqlstate_field(rq)), native,
                         reinterpret_cast<SQLCHAR *>(message), DIAG_MESSAGE_SIZE, &text_len);
}

static void mark_unreadable(request &rq) {
    char *state = sqlstate_field(rq);
    state[0] = '?';
    state[1] = '\0';
}

// Makes h the handle that OP_GETERROR reads for the request's slot.
static void remember_failed_handle(request &rq, chosen_handle h) {
    if (rq.slot == nullptr) return;
    rq.slot->diag_type = h.type;
    rq.slot->diag_handle = h.handle;
}

void diag_step(request &rq, SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle) {
    if (rc == SQL_SUCCESS) return;
    chosen_handle h = {handle_type, handle};
    if (h.handle != nullptr) {
        remember_failed_handle(rq, h);
        SQLINTEGER native;
        char message[DIAG_MESSAGE_SIZE];
        if (sql_ok(read_record(rq, h, &native, message))) {
            set_native(rq, native);
            // A valid answer in argument 3 is only replaced for a failed item.
            if (rq.opcode == OP_INFO && arg_count(rq) > 2 && get_status(rq) != ST_OK && arg_size(rq, 3) > 0)
                copy_bounded(reinterpret_cast<char *>(arg_data(rq, 3)), message,
                             static_cast<size_t>(arg_size(rq, 3)));
        } else {
            mark_unreadable(rq);
        }
    }
    if (rd_i32(rq.status, SS_NATIVE) == 0) set_native(rq, rc);
}

void diag_on_stmt(request &rq, SQLRETURN rc) { diag_step(rq, rc, SQL_HANDLE_STMT, rq.slot->stmt); }
void diag_on_dbc(request &rq, SQLRETURN rc) { diag_step(rq, rc, SQL_HANDLE_DBC, rq.slot->dbc); }
void diag_on_env(request &rq, SQLRETURN rc) { diag_step(rq, rc, SQL_HANDLE_ENV, env_handle); }

SQLRETURN diag_read_stmt_state(request &rq, SQLHSTMT stmt) {
    SQLINTEGER native;
    char message[DIAG_MESSAGE_SIZE];
    remember_failed_handle(rq, {SQL_HANDLE_STMT, stmt});
    return read_record(rq, {SQL_HANDLE_STMT, stmt}, &native, message);
}

void diag_no_record(request &rq, SQLRETURN code) {
    mark_unreadable(rq);
    set_native(rq, code);
}

void op_geterror(request &rq) {
    SQLINTEGER native;
    char message[DIAG_MESSAGE_SIZE];
    set_status(rq, ST_SQLERROR);
    if (!sql_ok(read_record(rq, geterror_handle(rq), &native, message))) {
        mark_unreadable(rq);
        return;
    }
    set_native(rq, native);
    host_puttext(rq, 3, message);
}
