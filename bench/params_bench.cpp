// params_bench.cpp - inserting rows of an integer, a 32-character text and
// a double through OP_QUERY with values, against a raw ODBC loop doing the
// same, on any data source of the driver manager. One mode per run, so
// that callgrind can count each alone:
//
//   params_bench MODE DSN USER PASSWORD ROWS
//
//   lib-single  one OP_QUERY per row with values (the statement reused)
//   raw-single  SQLPrepare once, SQLBindParameter and SQLExecute per row
//   lib-array   OP_QUERY with arrays of 1,000 rows
//   raw-array   parameter arrays of 1,000 rows (SQL_ATTR_PARAMSET_SIZE)
//   lib-pasted  one OP_QUERY per row with the values pasted into the text
//
// All rows go into one transaction, committed at the end. Prints the mode,
// the rows, the seconds and the largest resident size.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_library.h"
#include "bench_odbc.h"

#define TABLE "params_bench"
#define INSERT "INSERT INTO " TABLE " VALUES (?, ?, ?)"
#define ARRAY_ROWS 1000
#define TEXT_SIZE 33

static void text_of_row(long i, char out[TEXT_SIZE]) { std::snprintf(out, TEXT_SIZE, "row %028ld", i); }

static void check(SQLRETURN rc, SQLHSTMT stmt, const char *what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) odbc_die(SQL_HANDLE_STMT, stmt, what);
}

struct raw_connection {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
};

static raw_connection raw_connect(const char *dsn, const char *user, const char *pw) {
    raw_connection c{};
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &c.env);
    SQLSetEnvAttr(c.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, c.env, &c.dbc);
    if (!SQL_SUCCEEDED(SQLConnect(c.dbc, (SQLCHAR *)dsn, SQL_NTS, (SQLCHAR *)user, SQL_NTS, (SQLCHAR *)pw, SQL_NTS)))
        odbc_die(SQL_HANDLE_DBC, c.dbc, "SQLConnect");
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &c.stmt);
    return c;
}

static void raw_exec(raw_connection &c, const char *sql) {
    SQLExecDirect(c.stmt, (SQLCHAR *)sql, SQL_NTS);
    SQLFreeStmt(c.stmt, SQL_CLOSE);
}

static void raw_single(raw_connection &c, long rows) {
    check(SQLPrepare(c.stmt, (SQLCHAR *)INSERT, SQL_NTS), c.stmt, "SQLPrepare");
    SQLINTEGER i = 0;
    char text[TEXT_SIZE];
    double d = 0;
    SQLLEN text_len = 32;
    for (long r = 1; r <= rows; ++r) {
        i = static_cast<SQLINTEGER>(r);
        text_of_row(r, text);
        d = r / 4.0;
        SQLBindParameter(c.stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &i, 0, nullptr);
        SQLBindParameter(c.stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, text, TEXT_SIZE, &text_len);
        SQLBindParameter(c.stmt, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &d, 0, nullptr);
        check(SQLExecute(c.stmt), c.stmt, "SQLExecute");
    }
}

static void raw_array(raw_connection &c, long rows) {
    static SQLINTEGER ints[ARRAY_ROWS];
    static char texts[ARRAY_ROWS][TEXT_SIZE];
    static double reals[ARRAY_ROWS];
    static SQLLEN lens[ARRAY_ROWS];
    check(SQLPrepare(c.stmt, (SQLCHAR *)INSERT, SQL_NTS), c.stmt, "SQLPrepare");
    for (long base = 0; base < rows; base += ARRAY_ROWS) {
        long n = rows - base < ARRAY_ROWS ? rows - base : ARRAY_ROWS;
        for (long k = 0; k < n; ++k) {
            ints[k] = static_cast<SQLINTEGER>(base + k + 1);
            text_of_row(base + k + 1, texts[k]);
            lens[k] = 32;
            reals[k] = (base + k + 1) / 4.0;
        }
        SQLSetStmtAttr(c.stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(n), 0);
        SQLBindParameter(c.stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, ints, 0, nullptr);
        SQLBindParameter(c.stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0, texts, TEXT_SIZE, lens);
        SQLBindParameter(c.stmt, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, reals, 0, nullptr);
        check(SQLExecute(c.stmt), c.stmt, "SQLExecute");
        while (SQLMoreResults(c.stmt) == SQL_SUCCESS) {
        }
    }
}

static void lib_single(library_session &lib, int slot, long rows) {
    host_var sql = host_var::text(INSERT);
    host_var i = host_var::integer(0), text = host_var::text("", TEXT_SIZE), d = host_var::real(0);
    char t[TEXT_SIZE];
    for (long r = 1; r <= rows; ++r) {
        i.set_int(r);
        text_of_row(r, t);
        text.set_text(t);
        double x = r / 4.0;
        std::memcpy(d.area.data(), &x, sizeof x);
        host_var st = lib.status_block(slot);
        lib.must(OP_QUERY, st, {&sql, &i, &text, &d});
    }
}

static void lib_array(library_session &lib, int slot, long rows) {
    host_var sql = host_var::text(INSERT);
    host_var ints = host_var::int_array(ARRAY_ROWS), texts = host_var::array(TEXT_SIZE, ARRAY_ROWS);
    host_var reals(HV_FLOAT | ARG_ARRAY, sizeof(double) * ARRAY_ROWS);
    reals.declared_size = sizeof(double);
    char t[TEXT_SIZE];
    for (long base = 0; base < rows; base += ARRAY_ROWS) {
        long n = rows - base < ARRAY_ROWS ? rows - base : ARRAY_ROWS;
        for (long k = 1; k <= n; ++k) {
            ints.set_element_int(static_cast<size_t>(k), base + k);
            text_of_row(base + k, t);
            texts.set_element(static_cast<size_t>(k), t);
            double x = (base + k) / 4.0;
            std::memcpy(reals.area.data() + (k - 1) * sizeof x, &x, sizeof x);
        }
        host_var st = lib.status_block(slot);
        status_view{st}.set_param_swapped(static_cast<int32_t>(n));
        lib.must(OP_QUERY, st, {&sql, &ints, &texts, &reals});
    }
}

static void lib_pasted(library_session &lib, int slot, long rows) {
    char t[TEXT_SIZE], sql[200];
    for (long r = 1; r <= rows; ++r) {
        text_of_row(r, t);
        std::snprintf(sql, sizeof sql, "INSERT INTO " TABLE " VALUES (%ld, '%s', %.17g)", r, t, r / 4.0);
        host_var text = host_var::text(sql);
        host_var st = lib.status_block(slot);
        lib.must(OP_QUERY, st, {&text});
    }
}

static void lib_autocommit(library_session &lib, int slot, int on) {
    host_var st = lib.status_block(slot);
    status_view{st}.set_param_plain(SQL_ATTR_AUTOCOMMIT);
    host_var v = host_var::integer(on);
    lib.must(OP_SETCONNATTR, st, {&v});
}

int main(int argc, char **argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: params_bench MODE DSN USER PASSWORD ROWS\n");
        return 2;
    }
    std::string mode = argv[1];
    long rows = std::atol(argv[5]);
    raw_connection c = raw_connect(argv[2], argv[3], argv[4]);
    raw_exec(c, "DROP TABLE " TABLE);
    raw_exec(c, "CREATE TABLE " TABLE " (i INTEGER, s VARCHAR(40), d DOUBLE PRECISION)");
    auto started = std::chrono::steady_clock::now();
    if (mode.compare(0, 4, "raw-") == 0) {
        SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
        if (mode == "raw-single") raw_single(c, rows);
        else raw_array(c, rows);
        SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT);
    } else {
        library_session lib;
        int slot = lib.connect("-host=" + std::string(argv[2]) + " -user=" + argv[3] + " -pw=" + argv[4]);
        lib_autocommit(lib, slot, 0);
        if (mode == "lib-single") lib_single(lib, slot, rows);
        else if (mode == "lib-array") lib_array(lib, slot, rows);
        else lib_pasted(lib, slot, rows);
        lib_autocommit(lib, slot, 1);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    std::printf("%s\t%ld\t%.3f s\t%ld KB\n", mode.c_str(), rows, seconds, ru.ru_maxrss);
    raw_exec(c, "DROP TABLE " TABLE);
    return 0;
}
