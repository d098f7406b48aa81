// diag.h - the diagnostics step that ends most handlers which call ODBC.
#ifndef RORI_DIAG_H
#define RORI_DIAG_H

#include "host/odbc.h"

struct request;

// When rc is not SQL_SUCCESS, keeps a copy of the records of the given
// handle (the one whose call returned rc) in the request's slot, or in the
// environment's copy for a request without a slot, and copies the SQLSTATE
// and native error of the record that explains the outcome into the status
// block, the return code standing in for a native error of 0. On a failure
// that record is the first not of class 01, otherwise record 1. Makes that
// handle the one OP_GETERROR reads once the copy is gone. A null handle
// reads no record. Never changes +18.
void diag_step(request &rq, SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle);

// The step on the request slot's statement, on its connection, or on the
// environment.
void diag_on_stmt(request &rq, SQLRETURN rc);
void diag_on_dbc(request &rq, SQLRETURN rc);
void diag_on_env(request &rq, SQLRETURN rc);

// For a column that a fetch could not read: keeps the statement's records as
// those of a failure and puts the explaining record's SQLSTATE at +36,
// leaving +20 (the column's number) alone. Returns SQL_SUCCESS when a record
// was read, else SQLGetDiagRec's answer.
SQLRETURN diag_keep_column(request &rq, SQLHSTMT stmt);

// Ends a request whose outcome has no record to read: "?" at +36, as when a
// record cannot be read, and `code` at +20 where a return code would stand.
void diag_no_record(request &rq, SQLRETURN code);

// Run before each request's handler: any request but OP_GETERROR may call
// ODBC, which ends the copy kept for its slot (or for the environment).
void diag_request_begins(request &rq);

#endif
