// bench_odbc.cpp - the benchmark's private ODBC configuration, its own
// connection for making tables, and the raw fetch loop.
#include "bench_odbc.h"

#include <cstdio>
#include <cstdlib>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#define SQLITE_DRIVER_32 "/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so"
#define SQLITE_DRIVER_64 "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"

static void write_text(const std::string &path, const std::string &text) {
    FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr || std::fputs(text.c_str(), f) < 0 || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

static std::string config_dir, config_user_ini;

#if defined(_WIN32)
static std::string from_environment(const char *name) {
    const char *v = std::getenv(name);
    if (v == nullptr || *v == '\0') {
        std::fprintf(stderr, "%s is not set: run this program through scripts/wine-run.sh\n", name);
        std::exit(1);
    }
    return v;
}
#else
static void remove_config() {
    for (const char *f : {"/odbcinst.ini", "/bench.db"}) std::remove((config_dir + f).c_str());
    std::remove(config_user_ini.c_str());
    rmdir(config_dir.c_str());
}
#endif

std::string write_bench_config() {
#if defined(_WIN32)
    config_dir = from_environment("ODBCSYSINI");
    config_user_ini = from_environment("ODBCINI");
#else
    const char *tmp = std::getenv("TMPDIR");
    config_dir = std::string(tmp ? tmp : "/tmp") + "/rori-bench-XXXXXX";
    if (mkdtemp(&config_dir[0]) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    config_user_ini = config_dir + "/user-odbc.ini";
    setenv("ODBCSYSINI", config_dir.c_str(), 1);
    setenv("ODBCINI", config_user_ini.c_str(), 1);
    if (std::getenv("RORI_KEEP_TEST_DIR"))
        std::fprintf(stderr, "keeping %s: ODBCSYSINI=%s ODBCINI=%s\n", config_dir.c_str(), config_dir.c_str(),
                     config_user_ini.c_str());
    else
        std::atexit(remove_config);
#endif
    write_text(config_dir + "/odbcinst.ini", "[SQLite3]\nDriver=" SQLITE_DRIVER_32 "\n\n"
                                             "[SQLite3-64]\nDriver=" SQLITE_DRIVER_64 "\n");
    // StepAPI=1: the driver steps through a result row by row instead of
    // reading it whole into memory at execution.
    std::string db = config_dir + "/bench.db";
    write_text(config_user_ini, "[" BENCH_DSN "]\nDriver=SQLite3\nDatabase=" + db +
                                    "\nStepAPI=1\n\n"
                                    "[" BENCH_DSN64 "]\nDriver=SQLite3-64\nDatabase=" +
                                    db + "\nStepAPI=1\n");
    return config_dir;
}

void odbc_die(SQLSMALLINT handle_type, SQLHANDLE handle, const char *what) {
    SQLCHAR state[6] = {0}, message[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(handle_type, handle, 1, state, &native, message, sizeof message, &len);
    std::fprintf(stderr, "%s failed: [%s] %s\n", what, state, message);
    std::exit(1);
}

odbc_connection::odbc_connection(const char *dsn) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
        std::fprintf(stderr, "no ODBC environment\n");
        std::exit(1);
    }
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) odbc_die(SQL_HANDLE_ENV, env_, "SQLAllocHandle");
    SQLCHAR *name = reinterpret_cast<SQLCHAR *>(const_cast<char *>(dsn));
    if (!SQL_SUCCEEDED(SQLConnect(dbc_, name, SQL_NTS, nullptr, 0, nullptr, 0)))
        odbc_die(SQL_HANDLE_DBC, dbc_, "SQLConnect");
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_))) odbc_die(SQL_HANDLE_DBC, dbc_, "SQLAllocHandle");
}

odbc_connection::~odbc_connection() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

static void exec_direct(SQLHSTMT stmt, const std::string &sql) {
    SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sql.c_str())),
                                 static_cast<SQLINTEGER>(sql.size()));
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) odbc_die(SQL_HANDLE_STMT, stmt, sql.c_str());
}

void odbc_connection::exec(const std::string &sql) {
    exec_direct(stmt_, sql);
    SQLFreeStmt(stmt_, SQL_CLOSE);
}

long raw_fetch(odbc_connection &c, const std::string &sql, const std::vector<SQLSMALLINT> &c_types,
               std::vector<char> &buffer) {
    SQLHSTMT stmt = c.stmt();
    exec_direct(stmt, sql);
    long rows = 0;
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) != SQL_NO_DATA) {
        if (!SQL_SUCCEEDED(rc)) odbc_die(SQL_HANDLE_STMT, stmt, "SQLFetchScroll");
        for (size_t k = 0; k < c_types.size(); ++k) {
            SQLLEN indicator = 0;
            rc = SQLGetData(stmt, static_cast<SQLUSMALLINT>(k + 1), c_types[k], buffer.data(),
                            static_cast<SQLLEN>(buffer.size()), &indicator);
            if (rc != SQL_SUCCESS) odbc_die(SQL_HANDLE_STMT, stmt, "SQLGetData");
        }
        ++rows;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    return rows;
}
