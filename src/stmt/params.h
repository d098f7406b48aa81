// params.h - OP_QUERY with values for the statement's markers.
#ifndef RORI_PARAMS_H
#define RORI_PARAMS_H

#include <cstddef>

#include "host/odbc.h"

struct request;

// Runs the statement text (len bytes, the slot's statement allocated) with
// arguments 4..n as the values of its markers, once or for every row of
// fixed arrays; reuses the slot's prepared statement for the same text.
void query_with_values(request &rq, const char *text, size_t len);

// The driver's row count at +28, as every OP_QUERY reports it
// (stmt/query.cpp).
void report_row_count(request &rq, SQLHSTMT stmt);

#endif
