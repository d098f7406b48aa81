// diag.h - the diagnostics step that ends most handlers which call ODBC.
#ifndef RORI_DIAG_H
#define RORI_DIAG_H

#include "host/odbc.h"

struct request;

// Size of a diagnostic message buffer, NUL included.
#define DIAG_MESSAGE_SIZE 240

// When rc is not SQL_SUCCESS, copies the SQLSTATE and native error of the
// first record of the request's most specific handle into the status block
// (the return code stands in for a native error of 0). Never changes +18.
void diag_step(request &rq, SQLRETURN rc);

// The same step reading the given handle instead: for a call whose
// diagnostics the driver manager records on a handle the slot does not hold.
void diag_step_on(request &rq, SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle);

// Reads record 1 of the statement into the SQLSTATE field; used by the fetch
// for a column that could not be read. Returns SQLGetDiagRec's result.
SQLRETURN diag_read_stmt_state(request &rq, SQLHSTMT stmt);

#endif
