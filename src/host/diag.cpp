// diag.cpp - capture of ODBC diagnostics into the status block and into the
// copy the request's slot keeps (host/diag_keep.h), and OP_GETERROR, which
// hands the messages of that copy to the caller.
#include "host/diag.h"

#include "conn/slots.h"
#include "host/diag_keep.h"
#include "host/handlers.h"
#include "host/request.h"
#include "host/text_cut.h"

struct chosen_handle {
    SQLSMALLINT type;
    SQLHANDLE handle; // null: there is none
};

// The copy of the request's slot; a request without one uses the
// environment's.
static kept_diag &copy_of(request &rq) { return rq.slot != nullptr ? rq.slot->kept : env_kept; }

// Where OP_GETERROR looks when there is no copy: the handle of the slot's
// last failed call; else the slot's statement, its connection, or the
// environment.
static chosen_handle geterror_handle(const request &rq) {
    if (rq.slot != nullptr) {
        if (rq.slot->diag_handle != nullptr) return {rq.slot->diag_type, rq.slot->diag_handle};
        if (rq.slot->stmt != nullptr) return {SQL_HANDLE_STMT, rq.slot->stmt};
        if (rq.slot->dbc != nullptr) return {SQL_HANDLE_DBC, rq.slot->dbc};
    }
    return {SQL_HANDLE_ENV, env_handle};
}

// SQL_NO_DATA ends data, and SQL_SUCCESS_WITH_INFO succeeds: neither is a
// failure whose explanation hides behind informational records.
static bool is_failure(SQLRETURN rc) { return !sql_ok(rc) && rc != SQL_NO_DATA; }

static void mark_unreadable(request &rq) {
    char *state = sqlstate_field(rq);
    state[0] = '?';
    state[1] = '\0';
}

static void put_state(request &rq, const kept_record &r) {
    char *state = sqlstate_field(rq);
    for (int i = 0; i < 6; ++i) state[i] = r.state[i];
}

// Makes h the handle that OP_GETERROR reads for the request's slot.
static void remember_failed_handle(request &rq, chosen_handle h) {
    if (rq.slot == nullptr) return;
    rq.slot->diag_type = h.type;
    rq.slot->diag_handle = h.handle;
}

// A failed information item gets the explaining message in argument 3,
// bounded by that argument's size; a valid answer there is left alone.
static void copy_message_for_info(request &rq, const kept_diag &k) {
    if (rq.opcode != OP_INFO || arg_count(rq) <= 2 || get_status(rq) == ST_OK || arg_size(rq, 3) <= 0) return;
    const kept_record &r = diag_keep_explaining(k);
    copy_whole_chars(reinterpret_cast<char *>(arg_data(rq, 3)), diag_keep_messages(k) + r.offset,
                     static_cast<size_t>(r.length), static_cast<size_t>(arg_size(rq, 3)));
}

void diag_step(request &rq, SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle) {
    if (rc == SQL_SUCCESS) return;
    if (handle != nullptr) {
        remember_failed_handle(rq, {handle_type, handle});
        kept_diag &k = copy_of(rq);
        if (sql_ok(diag_keep_read(k, handle_type, handle, is_failure(rc)))) {
            const kept_record &r = diag_keep_explaining(k);
            put_state(rq, r);
            set_native(rq, r.native);
            copy_message_for_info(rq, k);
        } else {
            mark_unreadable(rq);
        }
    }
    if (rd_i32(rq.status, SS_NATIVE) == 0) set_native(rq, rc);
}

void diag_on_stmt(request &rq, SQLRETURN rc) { diag_step(rq, rc, SQL_HANDLE_STMT, rq.slot->stmt); }
void diag_on_dbc(request &rq, SQLRETURN rc) { diag_step(rq, rc, SQL_HANDLE_DBC, rq.slot->dbc); }
void diag_on_env(request &rq, SQLRETURN rc) { diag_step(rq, rc, SQL_HANDLE_ENV, env_handle); }

SQLRETURN diag_keep_column(request &rq, SQLHSTMT stmt) {
    remember_failed_handle(rq, {SQL_HANDLE_STMT, stmt});
    kept_diag &k = copy_of(rq);
    SQLRETURN rc = diag_keep_read(k, SQL_HANDLE_STMT, stmt, true);
    if (sql_ok(rc))
        put_state(rq, diag_keep_explaining(k));
    else
        mark_unreadable(rq);
    return rc;
}

void diag_no_record(request &rq, SQLRETURN code) {
    mark_unreadable(rq);
    set_native(rq, code);
}

void diag_request_begins(request &rq) {
    if (rq.opcode != OP_GETERROR) diag_keep_forget(copy_of(rq));
}

// Without a copy the handle is read as it stands, and nothing is kept: the
// next request on it may change its records.
void op_geterror(request &rq) {
    set_status(rq, ST_SQLERROR);
    kept_diag &k = copy_of(rq);
    bool kept = k.count > 0;
    if (!kept) {
        chosen_handle h = geterror_handle(rq);
        if (!sql_ok(diag_keep_read(k, h.type, h.handle, k.failure))) {
            mark_unreadable(rq);
            return;
        }
    }
    const kept_record &r = diag_keep_explaining(k);
    put_state(rq, r);
    set_native(rq, r.native);
    host_puttext(rq, 3, diag_keep_messages(k));
    if (!kept) diag_keep_forget(k);
}
