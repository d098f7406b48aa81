// sources.h - the three data sources of the integration tests and what the
// tests need to run the same cases against each: SQLite through the demo
// DSN, and PostgreSQL and MariaDB through their ODBC drivers on the servers
// of scripts/servers.sh.
//
// Where the drivers differ, the difference is a field of data_source, and a
// test asserts the exact value for each source; no case is loosened to fit
// all three. Without the servers (RORI_SERVERS_ENV not set, or its file
// missing) the server cases are skipped with a message saying how to run them.
#ifndef RORI_TEST_SOURCES_H
#define RORI_TEST_SOURCES_H

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "scramble.h"
#include "support/lib.h"

// The column record a source's driver gives for one column of the types
// table, as the library's field record must show it.
struct expected_field {
    const char *name;
    int32_t type_code; // field type code (after the library's mapping)
    uint32_t flags;    // FR_FLAG_NOT_NULL, FR_FLAG_AUTO_UNIQUE
    int32_t width;     // display size; the same in `length`
    int16_t precision;
};

// What a translated listing command yields on a source: the rows, with the
// name looked for in column `column` (1 to 5); "@table" stands for the test's
// own table. column 0: the driver lists nothing.
struct expected_listing {
    const char *command;
    int column;
    const char *name;
};


struct data_source {
    const char *name;            // test name suffix
    const char *dsn;             // the shared data source
    bool server;                 // on the servers of scripts/servers.sh
    const char *driver_file;     // OP_INFO item 1
    const char *driver_section;  // the driver's name in odbcinst.ini, which SQLDataSources gives as description
    bool select_row_count;       // SQLRowCount after a SELECT gives its row count (else 0)
    const char *missing_table_state;
    const char *version_sql;     // the server's version as the server itself tells it
    // Field records.
    const char *types_table;     // column definitions of the types table
    const char *types_row;       // one row of values for it, all non-NULL
    std::vector<expected_field> fields;
    const char *catalog;         // SQL_DESC_CATALOG_NAME of a table column
    const char *schema;          // SQL_DESC_SCHEMA_NAME of a table column
    // Long values.
    const char *long_text_type;
    int32_t long_text_width;     // its display size, which the first growth of a dynamic variable keeps to
    const char *blob_type;
    const char *hex_open, *hex_close; // a binary literal: open + hex digits + close
    std::vector<expected_listing> listings;
    const char *tables_catalog;  // the catalog of every table SHOW TABLES lists
    // Attributes: a query timeout of 30 set on a statement, as the driver
    // answers (SQLSTATE of the set, value read back).
    const char *timeout_state;
    int64_t timeout_kept;
    // Transactions: a statement that must follow a ROLLBACK statement so that
    // the driver's own idea of the open transaction holds again ("" none).
    const char *after_rollback;
    // Authentication and faults (servers only).
    const char *wrong_password_state;
    int32_t wrong_password_native;
    const char *user_sql;        // the connected user's name
    const char *nowhere_dsn;     // the source's driver on a port where nothing listens
    const char *refused_state;
    int32_t refused_native;
};

const std::vector<data_source> &all_sources();
const std::vector<data_source> &server_sources();

// The connect text of the source's shared DSN: for the servers the user and
// a form-3 scrambled password (keyed by the user name, as a host program
// would hold it); `password` replaces the right one, `dsn` the shared DSN.
std::string connect_text(const data_source &s, const std::string *password = nullptr,
                         const char *dsn = nullptr);

// The servers' user and password; empty without servers.
std::string server_user();
std::string server_password();
bool servers_available();
std::string servers_missing_message();

// A name unique to this test process, for tables on the shared servers,
// which several test processes use at once.
std::string unique_name(const std::string &base);

// version_number of the library's information items, computed here on its
// own for comparison: "03.51.0012" gives 3005112; 0 unless the third
// character is a point.
int32_t expected_version_number(const std::string &t);

// gtest prints a source by its name.
inline void PrintTo(const data_source &s, std::ostream *os) { *os << s.name; }

// gtest names the parametrised cases after the source.
struct source_name {
    std::string operator()(const ::testing::TestParamInfo<data_source> &i) const { return i.param.name; }
};

// A slot connected to a source, with the requests the tests repeat.
class source_test : public library_test, public ::testing::WithParamInterface<data_source> {
protected:
    int slot = 0;
    std::vector<std::string> tables; // dropped at the end

    void SetUp() override;
    void TearDown() override;
    const data_source &src() const { return GetParam(); }

    // A table of this process: its unique name, dropped in TearDown.
    std::string table(const std::string &base);

    // OP_QUERY on a slot; the status block is left for inspection.
    int query(int on_slot, const std::string &sql, host_var &st);
    // A statement that must succeed; its cursor is closed; the row count.
    double exec(const std::string &sql, int on_slot = 0);
    // A query that must succeed, its result left open.
    void open(const std::string &sql, int on_slot = 0);
    void close(int on_slot = 0);
    // All rows of the open result through the array form with a dynamic
    // array (NULL as empty text), then end of data checked; `columns` per row.
    std::vector<std::vector<std::string>> fetch_rows(int columns, int on_slot = 0, int limit = 10000);
    // The rows of a query.
    std::vector<std::vector<std::string>> rows_of(const std::string &sql, int columns, int on_slot = 0);
    // The records of the open result through OP_DESCRIBE; the column count in `count`.
    std::string describe(int records, int *count, int on_slot = 0);
};

// Field record accessors on a record string of 224 bytes.
std::string record_text(const std::string &rec, int offset, int width);
int32_t record_int(const std::string &rec, int offset);
int16_t record_short(const std::string &rec, int offset);

#endif
