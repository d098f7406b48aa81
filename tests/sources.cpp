// sources.cpp - the data sources of the integration tests and their fixture.
//
// The expected field records below are what each driver answers through
// SQLColAttribute for the types table (SQL_DESC_TYPE, SQL_DESC_DISPLAY_SIZE,
// SQL_DESC_NULLABLE, SQL_DESC_AUTO_UNIQUE_VALUE, SQL_DESC_PRECISION), passed
// through the field type codes of the field record (SQL type in the comment).
#include "sources.h"

#include <cstdio>
#include <cstring>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

std::vector<data_source> make_sources() {
    std::vector<data_source> v;

    data_source sqlite{};
    sqlite.name = "sqlite";
    sqlite.dsn = "demo";
    sqlite.server = false;
    sqlite.driver_file = "sqlite3odbc.so";
    sqlite.driver_section = "SQLite3";
    sqlite.select_row_count = false;
    sqlite.missing_table_state = "HY000";
    sqlite.version_sql = "SELECT sqlite_version()";
    sqlite.types_table = "k INTEGER PRIMARY KEY AUTOINCREMENT, i INTEGER NOT NULL, b BIGINT, d DECIMAL(12,3), "
                         "r REAL, f DOUBLE, dt DATE, ts TIMESTAMP, tx TEXT, vc VARCHAR(40), bin BLOB";
    sqlite.types_row = "1, -5, 9000000000, 1234.5, 1.5, 2.25, '2024-02-29', '2024-02-29 13:14:15', 'text', "
                       "'vc', X'00FF41'";
    sqlite.fields = {
        {"k", 3, FR_FLAG_AUTO_UNIQUE, 10, 10}, // SQL_INTEGER; the driver calls it nullable
        {"i", 3, FR_FLAG_NOT_NULL, 10, 10},    // SQL_INTEGER
        {"b", 8, 0, 20, 19},                   // SQL_BIGINT
        {"d", 15, 0, 12, 3},                   // DECIMAL(12,3) is SQL_VARCHAR here
        {"r", 5, 0, 54, 15},                   // SQL_DOUBLE
        {"f", 5, 0, 54, 15},                   // SQL_DOUBLE
        {"dt", 10, 0, 10, 0},                  // SQL_TYPE_DATE: the driver gives the concise type
        {"ts", 7, 0, 32, 3},                   // SQL_TYPE_TIMESTAMP
        {"tx", 15, 0, 65536, 0},               // SQL_LONGVARCHAR
        {"vc", 15, 0, 40, 40},                 // SQL_VARCHAR
        {"bin", 1, FR_FLAG_BINARY, 255, 0},    // SQL_BINARY: no field type of its own
    };
    sqlite.catalog = "main";
    sqlite.schema = "";
    sqlite.long_text_type = "TEXT";
    sqlite.long_text_width = 65536;
    sqlite.blob_type = "BLOB";
    sqlite.hex_open = "X'";
    sqlite.hex_close = "'";
    // The driver lists tables whatever the catalog and schema arguments say.
    sqlite.listings = {{"SHOW TABLES", 3, "@table"},
                       {"SHOW DATABASES", 3, "@table"},
                       {"SHOW SCHEMAS", 3, "@table"},
                       {"SHOW CATALOGS", 3, "@table"}};
    sqlite.tables_catalog = "";
    sqlite.timeout_state = ""; // taken without a word, and not kept
    sqlite.timeout_kept = 0;
    // The driver opens its transaction with BEGIN and does not see a
    // ROLLBACK statement end it: the next statement would run outside.
    sqlite.after_rollback = "BEGIN";
    sqlite.wrong_password_state = "";
    sqlite.wrong_password_native = 0;
    sqlite.user_sql = "";
    sqlite.nowhere_dsn = "";
    sqlite.refused_state = "";
    sqlite.refused_native = 0;
    v.push_back(sqlite);

    data_source pg{};
    pg.name = "pg";
    pg.dsn = "pg";
    pg.server = true;
    pg.driver_file = "psqlodbcw.so";
    pg.driver_section = "PostgreSQL";
    pg.select_row_count = true;
    pg.missing_table_state = "42P01";
    pg.version_sql = "SHOW server_version";
    pg.types_table = "k serial PRIMARY KEY, i integer NOT NULL, b bigint, d numeric(12,3), r real, "
                     "f double precision, dt date, ts timestamp, tx text, vc varchar(40), bin bytea";
    pg.types_row = "1, -5, 9000000000, 1234.5, 1.5, 2.25, '2024-02-29', '2024-02-29 13:14:15', 'text', 'vc', "
                   "'\\x00ff41'";
    pg.fields = {
        {"k", 3, FR_FLAG_NOT_NULL | FR_FLAG_AUTO_UNIQUE, 11, 0}, // SQL_INTEGER, serial
        {"i", 3, FR_FLAG_NOT_NULL, 11, 0},                       // SQL_INTEGER
        {"b", 8, 0, 20, 0},                                      // SQL_BIGINT
        {"d", 0, 0, 14, 12},                                     // SQL_NUMERIC
        {"r", 5, 0, 15, 0},                                      // real is SQL_REAL
        {"f", 4, 0, 24, 0},                                      // double precision is SQL_FLOAT
        {"dt", 12, 0, 10, 0},                                    // SQL_DATETIME (verbose type)
        {"ts", 12, 0, 26, 6},                                    // SQL_DATETIME
        {"tx", 15, 0, 8190, 0},                                  // SQL_LONGVARCHAR, MaxLongVarcharSize
        {"vc", 15, 0, 40, 0},                                    // SQL_VARCHAR
        {"bin", 252, FR_FLAG_BINARY, -4, 0},                     // SQL_LONGVARBINARY, size SQL_NO_TOTAL
    };
    pg.catalog = "roridb";
    pg.schema = "public";
    pg.long_text_type = "text";
    pg.long_text_width = 8190;
    pg.blob_type = "bytea";
    pg.hex_open = "'\\x";
    pg.hex_close = "'";
    pg.listings = {{"SHOW TABLES", 3, "@table"},
                   {"SHOW DATABASES", 2, "public"},
                   {"SHOW SCHEMAS", 2, "public"},
                   {"SHOW CATALOGS", 1, "roridb"}};
    pg.tables_catalog = "roridb";
    pg.timeout_state = "";
    pg.timeout_kept = 30;
    pg.after_rollback = "";
    pg.wrong_password_state = "08001";
    pg.wrong_password_native = 101;
    pg.user_sql = "SELECT current_user";
    pg.nowhere_dsn = "pg_nowhere";
    pg.refused_state = "08001";
    pg.refused_native = 101;
    v.push_back(pg);

    data_source ma{};
    ma.name = "maria";
    ma.dsn = "maria";
    ma.server = true;
    ma.driver_file = "libmaodbc.so";
    ma.driver_section = "MariaDB";
    ma.select_row_count = true;
    ma.missing_table_state = "42S02";
    ma.version_sql = "SELECT VERSION()";
    ma.types_table = "k INT AUTO_INCREMENT PRIMARY KEY, i INT NOT NULL, b BIGINT, d DECIMAL(12,3), r FLOAT, "
                     "f DOUBLE, dt DATE, ts DATETIME, tx MEDIUMTEXT, vc VARCHAR(40), bin MEDIUMBLOB";
    ma.types_row = "1, -5, 9000000000, 1234.5, 1.5, 2.25, '2024-02-29', '2024-02-29 13:14:15', 'text', 'vc', "
                   "X'00FF41'";
    ma.fields = {
        {"k", 3, FR_FLAG_AUTO_UNIQUE, 11, 0}, // SQL_INTEGER; the driver calls it nullable
        {"i", 3, FR_FLAG_NOT_NULL, 11, 0},    // SQL_INTEGER
        {"b", 8, 0, 20, 0},                   // SQL_BIGINT
        {"d", 0, 0, 14, 12},                  // SQL_DECIMAL
        {"r", 5, 0, 7, 10},                   // FLOAT is SQL_REAL
        {"f", 5, 0, 15, 0},                   // SQL_DOUBLE
        {"dt", 12, 0, 10, 0},                 // SQL_DATETIME (verbose type)
        {"ts", 12, 0, 19, 0},                 // SQL_DATETIME
        {"tx", 15, 0, 16777215, 0},           // SQL_LONGVARCHAR
        {"vc", 15, 0, 40, 0},                 // SQL_VARCHAR
        {"bin", 252, FR_FLAG_BINARY, 33554430, 0}, // SQL_LONGVARBINARY, twice the bytes in hexadecimal
    };
    ma.catalog = "roridb";
    ma.schema = "";
    ma.long_text_type = "MEDIUMTEXT";
    ma.long_text_width = 16777215;
    ma.blob_type = "MEDIUMBLOB";
    ma.hex_open = "X'";
    ma.hex_close = "'";
    // MariaDB has catalogs (its databases) and no schemas: databases and
    // schemas are listed as its catalogs.
    ma.listings = {{"SHOW TABLES", 3, "@table"},
                   {"SHOW DATABASES", 1, "information_schema"},
                   {"SHOW SCHEMAS", 1, "roridb"},
                   {"SHOW CATALOGS", 1, "roridb"}};
    ma.tables_catalog = "roridb";
    ma.timeout_state = "01S02"; // "option value changed to default (no timeout)"
    ma.timeout_kept = 0;
    ma.after_rollback = "";
    ma.wrong_password_state = "28000";
    ma.wrong_password_native = 1045;
    ma.user_sql = "SELECT CURRENT_USER()";
    ma.nowhere_dsn = "maria_nowhere";
    ma.refused_state = "HY000";
    ma.refused_native = 2002;
    v.push_back(ma);
    return v;
}

const std::map<std::string, std::string> &facts() { return test_odbc_env().servers; }

std::string fact(const char *key) {
    auto it = facts().find(key);
    return it == facts().end() ? std::string() : it->second;
}

} // namespace

const std::vector<data_source> &all_sources() {
    static const std::vector<data_source> v = make_sources();
    return v;
}

const std::vector<data_source> &server_sources() {
    static const std::vector<data_source> v = [] {
        std::vector<data_source> s;
        for (const data_source &d : all_sources())
            if (d.server) s.push_back(d);
        return s;
    }();
    return v;
}

bool servers_available() { return !facts().empty(); }
std::string server_user() { return fact("RORI_DB_USER"); }
std::string server_password() { return fact("RORI_DB_PASSWORD"); }

std::string servers_missing_message() {
    return "the database servers are not running: start them with scripts/servers.sh start FILE and run "
           "with RORI_SERVERS_ENV=FILE (the test command does both)";
}

std::string connect_text(const data_source &s, const std::string *password, const char *dsn) {
    const char *name = dsn ? dsn : s.dsn;
    if (!s.server) return std::string("-host=") + name;
    const std::string user = server_user();
    const std::string pw = password ? *password : server_password();
    connect_setting settings[] = {{"host", name, 0}, {"user", user.c_str(), 0}, {"pw", pw.c_str(), 3}};
    char text[512];
    if (scramble_connect(settings, 3, text, sizeof text) != SCRAMBLE_OK) {
        ADD_FAILURE() << "the password cannot be scrambled";
        return "";
    }
    return text;
}

std::string unique_name(const std::string &base) {
#if defined(_WIN32)
    return base;
#else
    return base + "_" + std::to_string(static_cast<long>(getpid()));
#endif
}

int32_t expected_version_number(const std::string &t) {
    if (t.size() < 3 || t[2] != '.') return 0;
    auto num = [&](size_t at) { return at < t.size() ? std::atoi(t.c_str() + at) : 0; };
    return num(0) * 1000000 + num(3) * 100 + num(6);
}

std::string record_text(const std::string &rec, int offset, int width) {
    std::string s = rec.substr(offset, width);
    size_t nul = s.find('\0');
    return nul == std::string::npos ? s : s.substr(0, nul);
}

int32_t record_int(const std::string &rec, int offset) {
    int32_t v;
    std::memcpy(&v, rec.data() + offset, 4);
    return v;
}

int16_t record_short(const std::string &rec, int offset) {
    int16_t v;
    std::memcpy(&v, rec.data() + offset, 2);
    return v;
}

// --- the fixture --------------------------------------------------------------

void source_test::SetUp() {
    library_test::SetUp();
    if (src().server && !servers_available()) GTEST_SKIP() << servers_missing_message();
    slot = connect_slot(connect_text(src()));
    ASSERT_NE(slot, 0);
}

void source_test::TearDown() {
    // Tables of the shared servers outlive the process; drop them on a slot
    // of its own, whatever state the test left its slots in.
    if (!tables.empty()) {
        host_var st = status_block();
        if (send(OP_NEWCONN, st) == ST_OK) {
            int s = status_view{st}.slot();
            host_var c = status_block(s);
            host_var text = host_var::text(connect_text(src()), 512);
            if (send(OP_CONNECT, c, {&text}) == ST_OK) {
                for (const std::string &t : tables) {
                    host_var q = status_block(s);
                    host_var sql = host_var::text("DROP TABLE " + t);
                    send(OP_QUERY, q, {&sql});
                    host_var f = status_block(s);
                    send(OP_FREESTMT, f);
                }
            }
        }
    }
    library_test::TearDown();
}

std::string source_test::table(const std::string &base) {
    std::string name = unique_name(base);
    tables.push_back(name);
    return name;
}

int source_test::query(int on_slot, const std::string &sql, host_var &st) {
    status_view{st}.set_slot(static_cast<uint8_t>(on_slot));
    host_var text = host_var::text(sql);
    return send(OP_QUERY, st, {&text});
}

double source_test::exec(const std::string &sql, int on_slot) {
    int s = on_slot ? on_slot : slot;
    host_var st = status_block(s);
    int rc = query(s, sql, st);
    EXPECT_EQ(rc, ST_OK) << sql.substr(0, 200) << ": " << status_view{st}.sqlstate();
    host_var f = status_block(s);
    send(OP_FREESTMT, f);
    return status_view{st}.rowcount();
}

void source_test::open(const std::string &sql, int on_slot) {
    int s = on_slot ? on_slot : slot;
    host_var st = status_block(s);
    ASSERT_EQ(query(s, sql, st), ST_OK) << sql.substr(0, 200) << ": " << status_view{st}.sqlstate();
}

void source_test::close(int on_slot) {
    host_var f = status_block(on_slot ? on_slot : slot);
    EXPECT_EQ(send(OP_FREESTMT, f), ST_OK);
}

std::vector<std::vector<std::string>> source_test::fetch_rows(int columns, int on_slot, int limit) {
    int s = on_slot ? on_slot : slot;
    std::vector<std::vector<std::string>> rows;
    host_var st = status_block(s);
    for (int n = 0; n < limit; ++n) {
        status_view v{st};
        v.set_rowpos(0.0);
        v.set_subcode(FETCH_ARRAY);
        v.set_param_swapped(columns);
        host_var arr = host_var::dynamic_array();
        int rc = send(OP_FETCH, st, {&arr});
        EXPECT_EQ(rc, ST_OK) << "row " << n + 1 << ": " << v.sqlstate();
        if (rc != ST_OK) break;
        if (v.rowcount() == 0.0) { // end of data
            EXPECT_EQ(v.native(), 100);
            return rows;
        }
        EXPECT_EQ(v.rowcount(), n + 1.0);
        EXPECT_EQ(v.result(), columns);
        std::vector<std::string> row;
        for (int k = 1; k <= columns; ++k) row.push_back(arr.element(k));
        rows.push_back(row);
    }
    ADD_FAILURE() << "no end of data within " << limit << " rows";
    return rows;
}

std::vector<std::vector<std::string>> source_test::rows_of(const std::string &sql, int columns, int on_slot) {
    open(sql, on_slot);
    if (HasFatalFailure()) return {};
    auto rows = fetch_rows(columns, on_slot);
    close(on_slot);
    return rows;
}

std::string source_test::describe(int records, int *count, int on_slot) {
    host_var st = status_block(on_slot ? on_slot : slot);
    host_var recs = host_var::raw(static_cast<size_t>(records) * FIELD_REC_SIZE);
    EXPECT_EQ(send(OP_DESCRIBE, st, {&recs}), ST_OK);
    *count = status_view{st}.result();
    return recs.bytes(static_cast<size_t>(records) * FIELD_REC_SIZE);
}
