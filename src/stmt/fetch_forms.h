// fetch_forms.h - the three shapes in which OP_FETCH delivers the current
// row (array elements, one fixed-width line, separate variables), and the
// check that each of them makes after reading a column.
#ifndef RORI_FETCH_FORMS_H
#define RORI_FETCH_FORMS_H

#include <cstdint>

#include "host/odbc.h"
#include "stmt/getdata.h"

struct request;

// Each form delivers columns 1..n of the slot's current row and returns the
// request's last ODBC result, for the diagnostics step; `last` is the last
// result before it.
SQLRETURN fetch_into_array(request &rq, int32_t n, SQLRETURN last);
SQLRETURN fetch_into_line(request &rq, int32_t n, SQLRETURN last);
SQLRETURN fetch_into_variables(request &rq, int32_t n, SQLRETURN last);

// Reports a column that was not read cleanly; see check_column.
SQLRETURN report_column(request &rq, int32_t k, SQLRETURN rc);

// After column k was read with result rc: any result but SQL_SUCCESS makes
// the request ST_SQLERROR with k at +20 and the statement's SQLSTATE at +36;
// a value cut for want of memory makes it ST_NOMEM. Returns the new last
// result: rc, or that of the diagnostic read. Inline, as it runs for every
// column of every row and nearly always finds nothing to report.
inline SQLRETURN check_column(request &rq, int32_t k, SQLRETURN rc) {
    if (rc == SQL_SUCCESS && !getdata_cut) return rc;
    return report_column(rq, k, rc);
}

#endif
