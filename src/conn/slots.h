// slots.h - the process-wide ODBC environment and the table of ten
// connection slots.
#ifndef RORI_SLOTS_H
#define RORI_SLOTS_H

#include <cstddef>
#include <cstdint>

#include "host/diag_keep.h"
#include "host/odbc.h"

#define SLOT_COUNT 10
#define FIELD_CAP 32

struct conn_slot {
    SQLHDBC dbc;        // null: the slot is free
    SQLHSTMT stmt;      // the slot's one statement, or null
    uint8_t *field_buf; // field_cap field records of 224 bytes
    int32_t field_cap;
    // The column count of the statement's current result, as read at its
    // first fetch; -1 until then. The count of a result does not change
    // while it is open, so later fetches need not ask the driver again.
    SQLSMALLINT result_columns;
    // The handle that OP_GETERROR reads: the one on which the slot's last
    // request with an outcome other than SQL_SUCCESS was judged (its
    // statement, its connection or the environment), whether or not a
    // record could be read from it then; for a column that a fetch could not
    // read, the statement. Null before any such outcome, and once that
    // handle has been freed.
    SQLSMALLINT diag_type;
    SQLHANDLE diag_handle;
    // The records that explain the outcome of the slot's last request that
    // called ODBC, until its next such request (host/diag_keep.h).
    kept_diag kept;
    // The statement last prepared for values on `stmt` (stmt/params.cpp):
    // a heap copy of its text, its length, its marker count and the row of
    // the driver table its driver matched. A request with the same text
    // executes it again without preparing it anew. Null when there is none.
    char *prepared_text;
    size_t prepared_len;
    SQLSMALLINT prepared_markers;
    uint8_t prepared_driver;
};

extern SQLHENV env_handle;
// The copy kept for requests that name no slot.
extern kept_diag env_kept;

// The slot numbered 1..SLOT_COUNT, or null for any other number.
conn_slot *slot_by_number(int number);

// Allocates the slot's statement on its connection when it has none.
SQLRETURN slot_ensure_stmt(conn_slot *slot);

// Frees the slot's statement handle, if it has one; either way the slot no
// longer holds a statement. One that the driver manager refuses to free is
// left to its connection, whose end frees it.
void slot_free_stmt(conn_slot *slot);

// In a child made by fork: forgets the environment, the slots' handles and
// the handles kept for OP_SHUTDOWN without an ODBC call. They are the
// parent's, and so are the sockets of its connections: a disconnect from
// here would end the parent's sessions. OP_INIT then starts the child's own.
void slots_forget_parent();

// Forgets the slot's prepared statement text: the statement was replaced,
// changed or freed, so the next request with values prepares anew.
void slot_forget_prepared(conn_slot *slot);

#endif
