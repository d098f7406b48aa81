// params.cpp - OP_QUERY with values: the statement is prepared (or the
// slot's prepared statement reused for the same text), its markers counted
// by the driver, and executed once, or once per row of fixed arrays, with
// the values bound; the rows applied, the row count and a failed row are
// reported, and the statement is left with no parameters bound.
#include "stmt/params.h"

#include <cstring>

#include "conn/slots.h"
#include "host/diag.h"
#include "host/heap.h"
#include "host/request.h"
#include "stmt/param_values.h"

// A text longer than this is executed but not kept for reuse.
#define PREPARED_TEXT_LIMIT 65536

// The SQL types each driver is given, by the start of its driver name
// (SQL_DRIVER_NAME); the last row serves every other driver.
struct driver_params {
    const char *name_prefix;
    value_sql_types types;
};
static const driver_params driver_table[] = {
    {"psqlodbc", {SQL_VARCHAR, SQL_VARBINARY}},
    {"", {SQL_VARCHAR, SQL_VARBINARY}},
};
static const size_t driver_rows = sizeof driver_table / sizeof driver_table[0];

static uint8_t driver_row_of(SQLHDBC dbc) {
    char name[240] = "";
    SQLSMALLINT len = 0;
    if (!sql_ok(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &len))) name[0] = '\0';
    name[sizeof name - 1] = '\0';
    for (size_t i = 0; i + 1 < driver_rows; ++i) {
        size_t n = std::strlen(driver_table[i].name_prefix);
        if (std::strncmp(name, driver_table[i].name_prefix, n) == 0) return static_cast<uint8_t>(i);
    }
    return static_cast<uint8_t>(driver_rows - 1);
}

static bool is_prepared(const conn_slot *slot, const char *text, size_t len) {
    return slot->prepared_text != nullptr && slot->prepared_len == len &&
           std::memcmp(slot->prepared_text, text, len) == 0;
}

// Keeps a copy of the text; without memory the statement is simply not
// reused.
static void keep_prepared_text(conn_slot *slot, const char *text, size_t len) {
    if (len > PREPARED_TEXT_LIMIT) return;
    char *copy = static_cast<char *>(heap_alloc(len + 1));
    if (copy == nullptr) return;
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    slot->prepared_text = copy;
    slot->prepared_len = len;
}

// Prepares the text and counts its markers, unless the slot's statement is
// that text, prepared already. On failure the status and diagnostics are
// set and false returned.
static bool prepare_once(request &rq, conn_slot *slot, const char *text, size_t len) {
    if (is_prepared(slot, text, len)) return true;
    slot_forget_prepared(slot);
    SQLRETURN rc = SQLPrepare(slot->stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(text)),
                              static_cast<SQLINTEGER>(len));
    SQLSMALLINT markers = 0;
    if (sql_ok(rc)) rc = SQLNumParams(slot->stmt, &markers);
    if (!sql_ok(rc)) {
        set_status(rq, ST_SQLERROR);
        diag_on_stmt(rq, rc);
        return false;
    }
    slot->prepared_markers = markers;
    slot->prepared_driver = driver_row_of(slot->dbc);
    keep_prepared_text(slot, text, len);
    return true;
}

static bool returns_result(SQLHSTMT stmt) {
    SQLSMALLINT columns = 0;
    return sql_ok(SQLNumResultCols(stmt, &columns)) && columns > 0;
}

// The sum of the rows' counts, or -1 once one row's count is unknown.
struct row_tally {
    int32_t applied;
    double count;
};

static void add_row_count(row_tally &t, SQLHSTMT stmt) {
    SQLLEN n = -1;
    if (SQLRowCount(stmt, &n) != SQL_SUCCESS || n < 0 || t.count < 0) {
        t.count = -1;
        return;
    }
    t.count += static_cast<double>(n);
}

// A failed row of an array request: its number at +20, as the fetch names
// a failed column there, and its SQLSTATE at +36. A request without arrays
// reports as any failed statement does.
static void report_failed_row(request &rq, SQLHSTMT stmt, SQLRETURN rc, int32_t row, bool arrays) {
    set_status(rq, ST_SQLERROR);
    if (!arrays) {
        diag_on_stmt(rq, rc);
        return;
    }
    set_native(rq, row);
    diag_keep_column(rq, stmt); // +20 keeps the row number, as it keeps a column's
}

// Executes rows 1..rows one after another, stopping at the first that
// fails. A searched UPDATE or DELETE that matched no row answers
// SQL_NO_DATA: a success with a count of 0.
static row_tally execute_rows(request &rq, SQLHSTMT stmt, int bound, int32_t rows, bool arrays,
                              const value_sql_types &types) {
    row_tally t = {0, 0.0};
    for (int32_t row = 1; row <= rows; ++row) {
        SQLRETURN rc = bind_row(rq, stmt, bound, row, types);
        if (sql_ok(rc)) rc = SQLExecute(stmt);
        if (!sql_ok(rc) && rc != SQL_NO_DATA) {
            report_failed_row(rq, stmt, rc, row, arrays);
            break;
        }
        t.applied++;
        if (arrays) add_row_count(t, stmt);
    }
    return t;
}

// Checks what the rows need before anything executes: room for the
// values, and no array on a statement that returns a result. The number of
// rows, or 0 with the status set when nothing is to run.
static int32_t rows_to_run(request &rq, SQLHSTMT stmt, int bound, bool arrays) {
    if (!reserve_value_cells(bound)) {
        set_status(rq, ST_NOMEM);
        return 0;
    }
    if (!arrays) return 1;
    int32_t rows = rd_swapped(rq.status, SS_PARAM);
    if (rows > 0 && returns_result(stmt)) {
        set_status(rq, ST_UNSUPPORTED);
        return 0;
    }
    return rows;
}

void query_with_values(request &rq, const char *text, size_t len) {
    conn_slot *slot = rq.slot;
    int16_t st = check_value_args(rq);
    if (st != ST_OK) {
        set_status(rq, st);
        return;
    }
    if (!prepare_once(rq, slot, text, len)) return;
    int bound = bound_value_count(rq, slot->prepared_markers);
    bool arrays = binds_array(rq, bound);
    int32_t rows = rows_to_run(rq, slot->stmt, bound, arrays);
    if (rows <= 0) return;
    row_tally t = execute_rows(rq, slot->stmt, bound, rows, arrays, driver_table[slot->prepared_driver].types);
    // Unbinding clears the statement's diagnostics: a failure was read
    // before it.
    SQLFreeStmt(slot->stmt, SQL_RESET_PARAMS);
    set_result(rq, t.applied);
    if (arrays)
        set_rowcount(rq, t.count); // the rows applied before a failed one count too
    else if (get_status(rq) == ST_OK)
        report_row_count(rq, slot->stmt);
}
