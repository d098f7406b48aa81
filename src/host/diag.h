// diag.h - the diagnostics step that ends most handlers which call ODBC.
#ifndef RORI_DIAG_H
#define RORI_DIAG_H

#include "host/odbc.h"

struct request;

// Size of a diagnostic message buffer, NUL included.
#define DIAG_MESSAGE_SIZE 240

// When rc is not SQL_SUCCESS, copies the SQLSTATE and native error of the
// first record of the given handle (the one whose call returned rc) into
// the status block, the return code standing in for a native error of 0,
// and keeps that handle in the request's slot for OP_GETERROR. A null
// handle reads no record. Never changes +18.
void diag_step(request &rq, SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle);

// The step on the request slot's statement, on its connection, or on the
// environment.
void diag_on_stmt(request &rq, SQLRETURN rc);
void diag_on_dbc(request &rq, SQLRETURN rc);
void diag_on_env(request &rq, SQLRETURN rc);

// Reads record 1 of the statement into the SQLSTATE field and makes the
// statement the handle that OP_GETERROR reads; used by the fetch for a
// column that could not be read. Returns SQLGetDiagRec's result.
SQLRETURN diag_read_stmt_state(request &rq, SQLHSTMT stmt);

// Ends a request whose outcome has no record to read: "?" at +36, as when a
// record cannot be read, and `code` at +20 where a return code would stand.
void diag_no_record(request &rq, SQLRETURN code);

#endif
