// bench_odbc.h - the benchmark's own side of ODBC: its private
// configuration (driver and data sources on a temporary database file), a
// plain ODBC connection that makes the tables, and the raw fetch loop that
// is the floor the library is measured against.
#ifndef RORI_BENCH_ODBC_H
#define RORI_BENCH_ODBC_H

#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

// The data source of the library and the raw loop (32-bit driver).
#define BENCH_DSN "bench"
// The same database through the 64-bit driver, for the 64-bit tools.
#define BENCH_DSN64 "bench64"

// Writes odbcinst.ini and the user odbc.ini and points the driver manager
// at them. Linux: a fresh temporary folder, removed at exit unless
// RORI_KEEP_TEST_DIR is set (then its settings are printed, for child runs
// under a profiler). Windows (under Wine): the folder and user file that
// ODBCSYSINI and ODBCINI name, which scripts/wine-run.sh makes and removes.
// Returns the folder.
std::string write_bench_config();

// A connection of its own, outside the library; any failure ends the
// program with the driver's message.
class odbc_connection {
  public:
    explicit odbc_connection(const char *dsn);
    ~odbc_connection();
    odbc_connection(const odbc_connection &) = delete;
    odbc_connection &operator=(const odbc_connection &) = delete;

    void exec(const std::string &sql); // runs a statement and closes its cursor
    SQLHSTMT stmt() const { return stmt_; }

  private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// Prints the first diagnostic record of the handle and ends the program.
[[noreturn]] void odbc_die(SQLSMALLINT handle_type, SQLHANDLE handle, const char *what);

// The raw loop: SQLExecDirect, then every row with SQLFetchScroll and each
// column k with SQLGetData as c_types[k - 1] into `buffer` (reused for every
// value), then the cursor closed. Returns the number of rows.
long raw_fetch(odbc_connection &c, const std::string &sql, const std::vector<SQLSMALLINT> &c_types,
               std::vector<char> &buffer);

#endif
