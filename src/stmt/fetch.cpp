// fetch.cpp - OP_FETCH: moves the slot's statement to the next or to a
// numbered row, keeps the caller's row counter, describes the result when
// no description is present, and hands the row to one of the three forms.
//
// What a caller sees:
// - +8 = 0.0 fetches the next row and adds 1.0 to +28; any other value
//   fetches that row (truncated toward zero) and stores +8 at +28. After the
//   last row the status is ST_OK, +28 is 0.0 and +20 holds 100 (the return
//   code SQL_NO_DATA); a fetch that fails is ST_SQLERROR and leaves +28.
// - +2 chooses the form: FETCH_ARRAY (element k of argument 3 gets column
//   k), FETCH_LINE (argument 3 gets one line of fixed-width fields), or
//   neither (argument k + 2 gets column k, converted to its type).
// - A NULL value: an empty element, blanks in the line; in the variable
//   form HV_INTEGER and HV_BINARY variables receive 0, while HV_TEXT,
//   HV_FLOAT and raw variables are left as they were, so a program that
//   needs to tell NULL apart fills its variables before the fetch.
// - A column that cannot be read makes the status ST_SQLERROR with the
//   column's number at +20 and the statement's SQLSTATE at +36, and the
//   other columns are still delivered; the records of the last column that
//   failed are kept for OP_GETERROR, since reading a later column clears
//   them in the driver. A value cut for want of memory makes it ST_NOMEM.
#include "conn/slots.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/request.h"
#include "stmt/fetch_forms.h"
#include "stmt/fields.h"
#include "stmt/getdata.h"
#include "stmt/stmt_checks.h"

SQLRETURN report_column(request &rq, int32_t k, SQLRETURN rc) {
    SQLRETURN last = rc;
    if (rc != SQL_SUCCESS) {
        set_status(rq, ST_SQLERROR);
        set_native(rq, k);
        last = diag_keep_column(rq, rq.slot->stmt);
    }
    if (getdata_cut) set_status(rq, ST_NOMEM);
    return last;
}

// +8 truncated toward zero; values beyond 32 bits, and NaN, are held at the
// nearest 32-bit bound.
static SQLLEN row_number(double position) {
    if (position >= 2147483648.0) return INT32_MAX;
    if (position > -2147483649.0) return static_cast<SQLLEN>(position);
    return INT32_MIN;
}

static SQLRETURN fetch_row(SQLHSTMT stmt, double position) {
    if (position == 0.0) return SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
    return SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, row_number(position));
}

// The column count of the current result: asked of the driver at the
// result's first fetch, then kept in the slot (and reported as SQL_SUCCESS,
// which is what the driver answers for a result it has already counted).
// A failed count is not kept, so the next fetch asks again.
static SQLSMALLINT result_column_count(conn_slot *slot, SQLRETURN *rc) {
    if (slot->result_columns >= 0) {
        *rc = SQL_SUCCESS;
        return slot->result_columns;
    }
    SQLSMALLINT n = 0;
    *rc = SQLNumResultCols(slot->stmt, &n);
    if (!sql_ok(*rc)) return 0;
    if (n >= 0) slot->result_columns = n;
    return n;
}

static bool is_described(const conn_slot *slot) { return slot->field_buf[0] != 0; }

static void count_row(request &rq, double position) {
    set_rowcount(rq, position == 0.0 ? rd_f64(rq.status, SS_ROWCOUNT) + 1.0 : position);
}

static SQLRETURN deliver_row(request &rq, int32_t n, SQLRETURN last) {
    uint16_t form = static_cast<uint16_t>(status_subcode(rq));
    if (form & FETCH_ARRAY) return fetch_into_array(rq, n, last);
    if (form & FETCH_LINE) return fetch_into_line(rq, n, last);
    return fetch_into_variables(rq, n, last);
}

void op_fetch(request &rq) {
    if (!has_args_and_statement(rq)) return;
    conn_slot *slot = rq.slot;
    double position = rd_f64(rq.status, SS_ROWPOS);
    SQLRETURN rc = fetch_row(slot->stmt, position);
    if (rc == SQL_NO_DATA) {
        set_rowcount(rq, 0.0);
        diag_on_stmt(rq, rc);
        return;
    }
    if (!sql_ok(rc)) {
        set_status(rq, ST_SQLERROR);
        diag_on_stmt(rq, rc);
        return;
    }
    SQLSMALLINT n = result_column_count(slot, &rc);
    // The description is read once per result: later fetches use the
    // records as they stand, including records the caller supplied.
    if (!is_described(slot) && describe_columns(slot, nullptr, slot->field_cap) != n) {
        set_status(rq, ST_FIELDS);
        diag_on_stmt(rq, rc);
        return;
    }
    count_row(rq, position);
    diag_on_stmt(rq, deliver_row(rq, n, rc));
}
