// The data-dependent cases against every data source: SQLite, PostgreSQL and
// MariaDB (sources.h). Statement execution and row counts, the translated
// listing commands, field records of each source's types, the three fetch
// forms with NULLs and long values, information items, attributes, the data
// source list, authentication and transactions.
#include "sources.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

using rows_t = std::vector<std::vector<std::string>>;

std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string dump(const rows_t &rows) {
    std::string s;
    for (const auto &r : rows) {
        s += "|";
        for (const auto &c : r) s += c + "|";
        s += "\n";
    }
    return s.empty() ? "(no rows)" : s;
}

// One information item: its text (argument 3) and its number (+24).
int info(int slot, int item, std::string *text, int32_t *number = nullptr) {
    host_var st = status_block(slot);
    status_view{st}.set_subcode(static_cast<int16_t>(item));
    host_var out = host_var::text("", 240);
    int rc = send(OP_INFO, st, {&out});
    *text = out.text_value();
    if (number) *number = status_view{st}.result();
    return rc;
}

int set_connattr(int slot, int32_t attr, int64_t value) {
    host_var st = status_block(slot);
    status_view{st}.set_param_plain(attr);
    host_var v = host_var::integer(value);
    int rc = send(OP_SETCONNATTR, st, {&v});
    EXPECT_EQ(rc, ST_OK) << "attribute " << attr << " := " << value << ": " << status_view{st}.sqlstate();
    return rc;
}

int64_t get_connattr(int slot, int32_t attr) {
    host_var st = status_block(slot);
    status_view{st}.set_param_plain(attr);
    host_var v = host_var::integer(12345);
    EXPECT_EQ(send(OP_GETCONNATTR, st, {&v}), ST_OK) << "attribute " << attr << ": " << status_view{st}.sqlstate();
    EXPECT_EQ(v.putnums.size(), 1u);
    return v.int_value();
}

// Sets a statement attribute; the SQLSTATE left by the set.
std::string set_stmtattr(int slot, int16_t attr, int64_t value) {
    host_var st = status_block(slot);
    status_view{st}.set_subcode(attr);
    host_var v = host_var::integer(value);
    int rc = send(OP_SETSTMTATTR, st, {&v});
    EXPECT_EQ(rc, ST_OK) << "statement attribute " << attr << " := " << value << ": " << status_view{st}.sqlstate();
    return status_view{st}.sqlstate();
}

int64_t get_stmtattr(int slot, int16_t attr) {
    host_var st = status_block(slot);
    status_view{st}.set_subcode(attr);
    host_var v = host_var::integer(12345);
    EXPECT_EQ(send(OP_GETSTMTATTR, st, {&v}), ST_OK) << "statement attribute " << attr << ": "
                                                       << status_view{st}.sqlstate();
    EXPECT_EQ(v.putnums.size(), 1u);
    return v.int_value();
}

// --- statements and row counts -----------------------------------------------

TEST_P(source_test, statements_and_row_counts) {
    const std::string t = table("counts");
    EXPECT_EQ(exec("CREATE TABLE " + t + " (id INTEGER PRIMARY KEY, v VARCHAR(20))"), 0.0);
    EXPECT_EQ(exec("INSERT INTO " + t + " VALUES (1, 'a'), (2, 'b'), (3, NULL)"), 3.0);
    EXPECT_EQ(exec("UPDATE " + t + " SET v = 'z' WHERE id >= 2"), 2.0);

    // Matching no row is no error, whether the driver answers SQL_NO_DATA
    // (SQLite, PostgreSQL) or SQL_SUCCESS (MariaDB).
    for (const std::string &none : {"UPDATE " + t + " SET v = 'q' WHERE id = 999", "DELETE FROM " + t + " WHERE id = 999"}) {
        host_var st = status_block(slot);
        EXPECT_EQ(query(slot, none, st), ST_OK) << none;
        EXPECT_EQ(status_view{st}.rowcount(), 0.0) << none;
        EXPECT_EQ(status_view{st}.sqlstate(), "") << none;
        close();
    }

    host_var sel = status_block(slot);
    ASSERT_EQ(query(slot, "SELECT id, v FROM " + t + " ORDER BY id", sel), ST_OK);
    EXPECT_EQ(status_view{sel}.rowcount(), src().select_row_count ? 3.0 : 0.0)
        << "the driver's SQLRowCount after a SELECT";
    EXPECT_EQ(fetch_rows(2), (rows_t{{"1", "a"}, {"2", "z"}, {"3", "z"}}));
    close();

    EXPECT_EQ(exec("DELETE FROM " + t + " WHERE id = 1"), 1.0);
    EXPECT_EQ(rows_of("SELECT id, v FROM " + t + " ORDER BY id", 2), (rows_t{{"2", "z"}, {"3", "z"}}));
}

TEST_P(source_test, failed_statement_gives_the_drivers_state_and_message) {
    const std::string missing = unique_name("no_such_table");
    host_var st = status_block(slot);
    EXPECT_EQ(query(slot, "SELECT * FROM " + missing, st), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), src().missing_table_state);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0);

    host_var err = status_block(slot);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{err}.sqlstate(), src().missing_table_state);
    EXPECT_NE(message.text_value().find(missing), std::string::npos) << message.text_value();

    EXPECT_EQ(rows_of("SELECT 7", 1), (rows_t{{"7"}})) << "the slot goes on working";
}

// --- listing commands ----------------------------------------------------------

TEST_P(source_test, listing_commands_are_translated_and_fetched) {
    const std::string t = table("listed");
    exec("CREATE TABLE " + t + " (x INTEGER)");
    for (const expected_listing &l : src().listings) {
        for (const std::string &command : {std::string(l.command), lower(l.command)}) {
            SCOPED_TRACE(command);
            open(command);
            if (HasFatalFailure()) return;
            int count = 0;
            describe(5, &count);
            EXPECT_EQ(count, 5) << "the result of a catalog call: catalog, schema, table, type, remarks";
            rows_t rows = fetch_rows(5);
            close();
            if (std::strcmp(l.command, "SHOW TABLES") == 0) {
                for (const std::vector<std::string> &r : rows)
                    EXPECT_EQ(r[0], src().tables_catalog) << "only the connected database:\n" << dump(rows);
            }
            if (l.column == 0) {
                EXPECT_TRUE(rows.empty()) << dump(rows);
                continue;
            }
            const std::string want = std::strcmp(l.name, "@table") == 0 ? t : l.name;
            bool found = std::any_of(rows.begin(), rows.end(), [&](const std::vector<std::string> &r) {
                return r[static_cast<size_t>(l.column - 1)] == want;
            });
            EXPECT_TRUE(found) << want << " not in column " << l.column << ":\n" << dump(rows);
        }
    }
}

// With SQL_ATTR_METADATA_ID on, a driver takes the catalog call's "%" as a
// name; the translation switches it off for the call and back on after it.
TEST_P(source_test, show_tables_lists_the_tables_with_metadata_id_on) {
    const std::string t = table("named");
    exec("CREATE TABLE " + t + " (x INTEGER)");
    const int16_t metadata_id = 10014; // SQL_ATTR_METADATA_ID
    set_stmtattr(slot, metadata_id, 1);
    const int64_t kept = get_stmtattr(slot, metadata_id); // 0 where a driver ignores it
    open("SHOW TABLES");
    rows_t rows = fetch_rows(5);
    close();
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const std::vector<std::string> &r) { return r[2] == t; }))
        << dump(rows);
    EXPECT_EQ(get_stmtattr(slot, metadata_id), kept) << "the caller's setting is back";
}

// --- field records -------------------------------------------------------------

TEST_P(source_test, field_records_of_the_sources_types) {
    const std::string t = table("types");
    exec("CREATE TABLE " + t + " (" + src().types_table + ")");
    EXPECT_EQ(exec(std::string("INSERT INTO ") + t + " VALUES (" + src().types_row + ")"), 1.0);
    open("SELECT * FROM " + t);
    if (HasFatalFailure()) return;
    const std::vector<expected_field> &want = src().fields;
    const int n = static_cast<int>(want.size());
    int count = 0;
    std::string recs = describe(n + 1, &count);
    ASSERT_EQ(count, n);
    for (int k = 0; k < n; ++k) {
        const expected_field &f = want[static_cast<size_t>(k)];
        SCOPED_TRACE(f.name);
        std::string rec = recs.substr(static_cast<size_t>(k) * FIELD_REC_SIZE, FIELD_REC_SIZE);
        EXPECT_EQ(record_text(rec, FR_NAME, FR_TEXT_WIDTH), f.name);
        EXPECT_EQ(record_text(rec, FR_SOURCE_NAME, FR_TEXT_WIDTH), f.name);
        EXPECT_EQ(record_text(rec, FR_TABLE_NAME, FR_TEXT_WIDTH), t);
        EXPECT_EQ(record_text(rec, FR_SOURCE_TABLE, FR_TEXT_WIDTH), t);
        EXPECT_EQ(record_text(rec, FR_SCHEMA_NAME, FR_TEXT_WIDTH), src().schema);
        EXPECT_EQ(record_text(rec, FR_CATALOG_NAME, FR_CATALOG_WIDTH), src().catalog);
        EXPECT_EQ(rec.substr(FR_DEFAULT_VALUE, 32), std::string(32, '\0'));
        EXPECT_EQ(record_int(rec, FR_TYPE_CODE), f.type_code);
        EXPECT_EQ(static_cast<uint32_t>(record_int(rec, FR_FLAGS)), f.flags);
        EXPECT_EQ(record_int(rec, FR_LENGTH), f.width);
        EXPECT_EQ(record_int(rec, FR_WIDTH), f.width);
        EXPECT_EQ(record_short(rec, FR_PRECISION), f.precision);
        EXPECT_EQ(record_short(rec, FR_RESERVED), 0);
    }
    EXPECT_EQ(recs.substr(static_cast<size_t>(n) * FIELD_REC_SIZE), std::string(FIELD_REC_SIZE, '\0'))
        << "no record beyond the columns";

    // The described row reads back in the array form; the values that every
    // driver renders alike as text.
    rows_t rows = fetch_rows(n);
    close();
    ASSERT_EQ(rows.size(), 1u);
    const std::vector<std::string> &r = rows[0];
    EXPECT_EQ(r[0], "1");
    EXPECT_EQ(r[1], "-5");
    EXPECT_EQ(r[2], "9000000000");
    EXPECT_EQ(r[4], "1.5");
    EXPECT_EQ(r[5], "2.25");
    EXPECT_EQ(r[6], "2024-02-29");
    EXPECT_EQ(r[7].substr(0, 19), "2024-02-29 13:14:15");
    EXPECT_EQ(r[8], "text");
    EXPECT_EQ(r[9], "vc");
}

// --- fetch forms ---------------------------------------------------------------

class source_fetch : public source_test {
protected:
    std::string t;
    void SetUp() override {
        source_test::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        t = table("forms");
        exec("CREATE TABLE " + t + " (id INTEGER NOT NULL, name VARCHAR(12), amount DOUBLE PRECISION, n INTEGER)");
        EXPECT_EQ(exec("INSERT INTO " + t + " VALUES (1, 'alpha', 2.5, 10), (2, NULL, NULL, NULL), "
                       "(3, 'a-long-name!', -0.125, -7)"),
                  3.0);
    }
    void open_rows() { open("SELECT id, name, amount, n FROM " + t + " ORDER BY id"); }
    // Expects the end of data on the next fetch.
    void expect_end(std::vector<host_var *> vars) {
        host_var st = status_block(slot);
        status_view{st}.set_rowcount(3.0);
        EXPECT_EQ(send(OP_FETCH, st, vars), ST_OK);
        EXPECT_EQ(status_view{st}.rowcount(), 0.0);
        EXPECT_EQ(status_view{st}.native(), 100);
        EXPECT_EQ(status_view{st}.sqlstate(), "?");
    }
};

TEST_P(source_fetch, variable_form_converts_and_leaves_nulls_as_documented) {
    open_rows();
    host_var id = host_var::integer(-1);
    host_var name = host_var::text("prefill", 20);
    host_var amount = host_var::real(99.0);
    host_var n = host_var::integer(55);
    host_var st = status_block(slot);
    for (int row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        ASSERT_EQ(send(OP_FETCH, st, {&id, &name, &amount, &n}), ST_OK) << status_view{st}.sqlstate();
        EXPECT_EQ(status_view{st}.rowcount(), static_cast<double>(row));
        EXPECT_EQ(status_view{st}.result(), 4);
        EXPECT_EQ(id.int_value(), row);
        if (row == 1) {
            EXPECT_EQ(name.text_value(), "alpha");
            EXPECT_EQ(amount.real_value(), 2.5);
            EXPECT_EQ(n.int_value(), 10);
        } else if (row == 2) { // NULLs: text and float keep their content, integers get 0
            EXPECT_EQ(name.text_value(), "alpha");
            EXPECT_EQ(amount.real_value(), 2.5);
            EXPECT_EQ(n.int_value(), 0);
        } else {
            EXPECT_EQ(name.text_value(), "a-long-name!");
            EXPECT_EQ(amount.real_value(), -0.125);
            EXPECT_EQ(n.int_value(), -7);
        }
    }
    EXPECT_EQ(n.putnums, (std::vector<int64_t>{10, 0, -7}));
    expect_end({&id, &name, &amount, &n});
    close();
}

TEST_P(source_fetch, array_form_fixed_and_dynamic) {
    open_rows();
    host_var fixed = host_var::array(8, 4);
    host_var st = status_block(slot);
    status_view v{st};
    v.set_subcode(FETCH_ARRAY);
    v.set_param_swapped(4);
    const char *names[] = {"alpha", "", "a-long-n"}; // 12 characters fill the 8 bytes, no terminator
    const char *amounts[] = {"2.5", "", "-0.125"};
    const char *ns[] = {"10", "", "-7"};
    for (int row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        fixed.fill(0xAB);
        ASSERT_EQ(send(OP_FETCH, st, {&fixed}), ST_OK) << v.sqlstate();
        EXPECT_EQ(v.result(), 4);
        std::string all = fixed.bytes(32);
        auto element = [&](int k) {
            std::string e = all.substr(static_cast<size_t>(k - 1) * 8, 8);
            size_t nul = e.find('\0');
            if (nul != std::string::npos) {
                EXPECT_EQ(e.substr(nul), std::string(8 - nul, '\0')) << "element " << k << " is zero after its text";
                e.resize(nul);
            }
            return e;
        };
        EXPECT_EQ(element(1), std::to_string(row));
        EXPECT_EQ(element(2), names[row - 1]);
        EXPECT_EQ(element(3), amounts[row - 1]);
        EXPECT_EQ(element(4), ns[row - 1]);
    }
    close();

    open_rows();
    rows_t rows = fetch_rows(4);
    close();
    EXPECT_EQ(rows, (rows_t{{"1", "alpha", "2.5", "10"}, {"2", "", "", ""}, {"3", "a-long-name!", "-0.125", "-7"}}));

    // Fewer elements than columns.
    open_rows();
    EXPECT_EQ(fetch_rows(2), (rows_t{{"1", "alpha"}, {"2", ""}, {"3", "a-long-name!"}}));
    close();
}

TEST_P(source_fetch, line_form_pads_each_column_to_its_width) {
    open_rows();
    int count = 0;
    std::string recs = describe(4, &count);
    ASSERT_EQ(count, 4);
    int width[4];
    for (int k = 0; k < 4; ++k) width[k] = record_int(recs.substr(static_cast<size_t>(k) * FIELD_REC_SIZE), FR_WIDTH);
    EXPECT_EQ(width[1], 12) << "VARCHAR(12)";
    const std::vector<std::vector<std::string>> values = {
        {"1", "alpha", "2.5", "10"}, {"2", "", "", ""}, {"3", "a-long-name!", "-0.125", "-7"}};
    host_var line = host_var::text("", 300);
    host_var st = status_block(slot);
    status_view{st}.set_subcode(FETCH_LINE);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row + 1);
        std::string want;
        for (int k = 0; k < 4; ++k) {
            std::string cell = values[static_cast<size_t>(row)][static_cast<size_t>(k)];
            ASSERT_GE(width[k], static_cast<int>(cell.size()));
            want += cell + std::string(static_cast<size_t>(width[k]) - cell.size(), ' ');
        }
        ASSERT_LT(want.size(), 300u);
        ASSERT_EQ(send(OP_FETCH, st, {&line}), ST_OK) << status_view{st}.sqlstate();
        EXPECT_EQ(status_view{st}.result(), 4);
        EXPECT_EQ(line.text_value(), want);
    }
    expect_end({&line});
    close();
}

// Variables beyond the columns, row numbers beyond the rows, and a line
// that ends inside a column: the same on every driver.
TEST_P(source_fetch, beyond_the_columns_the_rows_and_the_line) {
    open("SELECT 7");
    host_var a = host_var::integer(-1), b = host_var::integer(-2);
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_FETCH, st, {&a, &b}), ST_OK) << status_view{st}.sqlstate();
    EXPECT_EQ(status_view{st}.result(), 1);
    EXPECT_EQ(a.putnums, std::vector<int64_t>{7});
    EXPECT_TRUE(b.putnums.empty()) << "the second variable is left untouched";
    close();

    EXPECT_EQ(set_stmtattr(slot, 6, 3), "") << "a static cursor, which PostgreSQL needs to move by number";
    open_rows();
    host_var id = host_var::integer(0);
    host_var at = status_block(slot);
    status_view{at}.set_rowpos(-1.0);
    EXPECT_EQ(send(OP_FETCH, at, {&id}), ST_OK) << status_view{at}.sqlstate();
    EXPECT_EQ(id.putnums, std::vector<int64_t>{3}) << "-1.0 is the last row";
    EXPECT_EQ(status_view{at}.rowcount(), -1.0);
    for (double past : {4.0, 0.0}) { // past the end, then the next row: the end of data both times
        status_view{at}.set_rowpos(past);
        EXPECT_EQ(send(OP_FETCH, at, {&id}), ST_OK) << past;
        EXPECT_EQ(status_view{at}.rowcount(), 0.0) << past;
        EXPECT_EQ(status_view{at}.native(), 100) << past;
    }
    close();

    open_rows();
    int count = 0;
    std::string recs = describe(4, &count);
    const int32_t w1 = record_int(recs, FR_WIDTH);
    ASSERT_GT(w1, 0);
    host_var line = host_var::text("", static_cast<size_t>(w1) + 3); // room for column 1 and 2 bytes
    host_var ln = status_block(slot);
    status_view{ln}.set_subcode(FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, ln, {&line}), ST_OK) << status_view{ln}.sqlstate();
    EXPECT_EQ(line.text_value(), "1" + std::string(static_cast<size_t>(w1) - 1, ' ') + "al");
    EXPECT_EQ(status_view{ln}.result(), 2) << "the column cut by the full line counts";
    close();
}

// --- long values ---------------------------------------------------------------

TEST_P(source_test, long_text_and_binary_arrive_whole) {
    const size_t size = 1000000;
    std::string text(size, ' ');
    std::string bin(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
        bin[i] = static_cast<char>((i * 31 + i / 256) & 255);
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * size);
    for (unsigned char c : bin) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    ASSERT_NE(bin.find('\0'), std::string::npos);

    const std::string t = table("longs");
    exec("CREATE TABLE " + t + " (id INTEGER, tx " + src().long_text_type + ", bin " + src().blob_type + ")");
    EXPECT_EQ(exec("INSERT INTO " + t + " VALUES (1, '" + text + "', " + src().hex_open + hex + src().hex_close + ")"), 1.0);
    EXPECT_EQ(exec("INSERT INTO " + t + " VALUES (2, NULL, NULL)"), 1.0);

    // Variable form into fixed variables with room for the whole values.
    {
        open("SELECT tx, bin FROM " + t + " ORDER BY id");
        host_var tv(HV_TEXT, size + 1);
        host_var bv = host_var::raw(size + 16);
        bv.fill(0xEE);
        host_var st = status_block(slot);
        EXPECT_EQ(send(OP_FETCH, st, {&tv, &bv}), ST_OK) << status_view{st}.sqlstate();
        EXPECT_EQ(status_view{st}.result(), 2);
        EXPECT_TRUE(tv.text_value() == text) << "text of " << tv.text_value().size() << " characters";
        EXPECT_TRUE(bv.bytes(size) == bin) << "the binary value differs";
        EXPECT_EQ(bv.bytes(size + 16).substr(size), std::string(16, '\xEE')) << "nothing written after the value";
        // NULLs leave both variables as they were.
        tv.set_text("kept");
        bv.fill(0x11);
        EXPECT_EQ(send(OP_FETCH, st, {&tv, &bv}), ST_OK);
        EXPECT_EQ(tv.text_value(), "kept");
        EXPECT_EQ(bv.bytes(16), std::string(16, '\x11'));
        close();
    }
    // Array form with a dynamic array: the element takes the whole text.
    {
        open("SELECT tx, id FROM " + t + " ORDER BY id");
        rows_t rows = fetch_rows(2);
        close();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_TRUE(rows[0][0] == text) << "element of " << rows[0][0].size() << " characters";
        EXPECT_EQ(rows[1], (std::vector<std::string>{"", "2"}));
    }
    // Variable form with a dynamic text variable: grown to twice the
    // value's length, capped by the column's display size, then, when the
    // value is longer than that, to the value.
    {
        open("SELECT tx FROM " + t + " WHERE id = 1");
        host_var dyn = host_var::text("", 16, true);
        host_var st = status_block(slot);
        EXPECT_EQ(send(OP_FETCH, st, {&dyn}), ST_OK) << status_view{st}.sqlstate();
        const size_t width = static_cast<size_t>(src().long_text_width);
        const size_t grown = std::min(2 * size, width) + 1;
        std::vector<size_t> resizes{grown};
        if (size >= grown) resizes.push_back(size + 1);
        EXPECT_EQ(dyn.resizes, resizes);
        EXPECT_TRUE(dyn.text_value() == text) << "received " << dyn.text_value().size() << " characters";
        close();
    }
    // Line form into a fixed line: the text cut to the room.
    {
        open("SELECT tx FROM " + t + " WHERE id = 1");
        host_var line = host_var::text("", 100);
        host_var st = status_block(slot);
        status_view{st}.set_subcode(FETCH_LINE);
        EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_OK) << status_view{st}.sqlstate();
        EXPECT_EQ(status_view{st}.result(), 1);
        EXPECT_EQ(line.text_value(), text.substr(0, 99));
        close();
    }
}

// --- information items -----------------------------------------------------------

TEST_P(source_test, information_items) {
    std::string text;
    int32_t number = -1;
    EXPECT_EQ(info(slot, 1, &text, &number), ST_OK);
    EXPECT_EQ(text, src().driver_file);
    EXPECT_EQ(number, expected_version_number(text));

    EXPECT_EQ(info(slot, 2, &text, &number), ST_OK);
    EXPECT_EQ(number, expected_version_number(text)) << text;
    rows_t version = rows_of(src().version_sql, 1);
    ASSERT_EQ(version.size(), 1u);
    EXPECT_GT(std::atoi(text.c_str()), 0) << text;
    EXPECT_EQ(std::atoi(text.c_str()), std::atoi(version[0][0].c_str()))
        << "the driver's server version " << text << " and the server's own " << version[0][0];

    EXPECT_EQ(info(slot, 3, &text, &number), ST_OK);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(number, expected_version_number(text)) << text;

    const std::string t = table("info");
    exec("CREATE TABLE " + t + " (a INTEGER, b INTEGER)");
    exec("INSERT INTO " + t + " VALUES (1, 1), (2, 2), (3, 3)");
    host_var q = status_block(slot);
    ASSERT_EQ(query(slot, "UPDATE " + t + " SET b = 0 WHERE a < 3", q), ST_OK);
    for (int item : {6, 10}) {
        host_var s = status_block(slot);
        status_view{s}.set_subcode(static_cast<int16_t>(item));
        EXPECT_EQ(send(OP_INFO, s, {}, 2), ST_OK) << item;
        EXPECT_EQ(status_view{s}.rowcount(), 2.0) << item;
    }
    close();

    open("SELECT a, b FROM " + t + " ORDER BY a");
    host_var cols = status_block(slot);
    status_view{cols}.set_subcode(5);
    EXPECT_EQ(send(OP_INFO, cols, {}, 2), ST_OK);
    EXPECT_EQ(status_view{cols}.result(), 2);
    host_var rows = status_block(slot);
    status_view{rows}.set_subcode(6);
    EXPECT_EQ(send(OP_INFO, rows, {}, 2), ST_OK);
    EXPECT_EQ(status_view{rows}.rowcount(), src().select_row_count ? 3.0 : 0.0);
    close();

    // The library's own items do not depend on the driver.
    EXPECT_EQ(info(slot, 7, &text), ST_OK);
    EXPECT_EQ(text, "RORIDOREZU");
    EXPECT_EQ(info(slot, 8, &text, &number), ST_OK);
    EXPECT_EQ(text, "1.4.109.0");
    EXPECT_EQ(number, 1401090);
    EXPECT_EQ(info(slot, 9, &text), ST_OK);
    EXPECT_EQ(text, "ODBC");
}

// --- attributes ------------------------------------------------------------------

TEST_P(source_test, connection_and_statement_attributes) {
    EXPECT_EQ(get_connattr(slot, 102), 1) << "autocommit is on after connecting";
    set_connattr(slot, 102, 0);
    EXPECT_EQ(get_connattr(slot, 102), 0);
    set_connattr(slot, 102, 1);
    EXPECT_EQ(get_connattr(slot, 102), 1);

    // A text attribute reads as -99.
    EXPECT_EQ(get_connattr(slot, 109), -99);

    const std::string t = table("attrs");
    exec("CREATE TABLE " + t + " (a INTEGER)");
    exec("INSERT INTO " + t + " VALUES (1), (2), (3)");

    // A query timeout, as far as the driver keeps it.
    EXPECT_EQ(set_stmtattr(slot, 0, 30), src().timeout_state);
    EXPECT_EQ(get_stmtattr(slot, 0), src().timeout_kept);
    // A row limit cuts the result; set back to 0 it is lifted.
    EXPECT_EQ(set_stmtattr(slot, 1, 2), "");
    EXPECT_EQ(get_stmtattr(slot, 1), 2);
    EXPECT_EQ(rows_of("SELECT a FROM " + t + " ORDER BY a", 1), (rows_t{{"1"}, {"2"}}));
    EXPECT_EQ(set_stmtattr(slot, 1, 0), "");
    EXPECT_EQ(get_stmtattr(slot, 1), 0);
    EXPECT_EQ(rows_of("SELECT a FROM " + t + " ORDER BY a", 1), (rows_t{{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(get_stmtattr(slot, 0), src().timeout_kept) << "the timeout stays with the statement";
}

// --- data sources ----------------------------------------------------------------

TEST_P(source_test, data_source_list_names_the_source_with_its_driver) {
    std::vector<std::pair<std::string, std::string>> seen;
    host_var st = status_block(slot);
    status_view v{st};
    int16_t direction = 2; // SQL_FETCH_FIRST
    for (int n = 0; n < 100; ++n) {
        v.set_subcode(direction);
        direction = 1; // SQL_FETCH_NEXT
        host_var name = host_var::text("", 64);
        host_var desc = host_var::text("", 256);
        int rc = send(OP_DATASOURCES, st, {&name, &desc});
        if (rc == ST_SQLERROR && v.native() == 100) {
            EXPECT_EQ(v.sqlstate(), "");
            break;
        }
        ASSERT_EQ(rc, ST_OK) << v.sqlstate();
        seen.emplace_back(name.text_value(), desc.text_value());
    }
    auto it = std::find_if(seen.begin(), seen.end(), [&](const auto &p) { return p.first == src().dsn; });
    ASSERT_NE(it, seen.end()) << src().dsn << " not listed";
    EXPECT_EQ(it->second, src().driver_section);
}

// --- transactions ----------------------------------------------------------------

TEST_P(source_test, rollback_discards_and_commit_keeps_with_autocommit_off) {
    const std::string t = table("txn");
    exec("CREATE TABLE " + t + " (id INTEGER, v VARCHAR(10))");
    exec("INSERT INTO " + t + " VALUES (1, 'kept')");
    int other = connect_slot(connect_text(src()));
    ASSERT_NE(other, 0);
    const std::string select = "SELECT id, v FROM " + t + " ORDER BY id";

    ASSERT_EQ(set_connattr(slot, 102, 0), ST_OK);
    EXPECT_EQ(get_connattr(slot, 102), 0);
    exec("INSERT INTO " + t + " VALUES (2, 'gone')");
    exec("UPDATE " + t + " SET v = 'changed' WHERE id = 1");
    EXPECT_EQ(rows_of(select, 2), (rows_t{{"1", "changed"}, {"2", "gone"}})) << "the transaction sees its work";
    EXPECT_EQ(rows_of(select, 2, other), (rows_t{{"1", "kept"}})) << "another connection does not";
    exec("ROLLBACK");
    if (*src().after_rollback) exec(src().after_rollback);
    EXPECT_EQ(rows_of(select, 2), (rows_t{{"1", "kept"}}));
    EXPECT_EQ(rows_of(select, 2, other), (rows_t{{"1", "kept"}}));

    // Still no autocommit: the next change waits for the commit, which
    // turning autocommit on again makes.
    exec("INSERT INTO " + t + " VALUES (3, 'committed')");
    EXPECT_EQ(rows_of(select, 2, other), (rows_t{{"1", "kept"}}));
    set_connattr(slot, 102, 1);
    EXPECT_EQ(get_connattr(slot, 102), 1);
    EXPECT_EQ(rows_of(select, 2, other), (rows_t{{"1", "kept"}, {"3", "committed"}}));
    exec("INSERT INTO " + t + " VALUES (4, 'auto')");
    EXPECT_EQ(rows_of(select, 2, other), (rows_t{{"1", "kept"}, {"3", "committed"}, {"4", "auto"}}));
}

// --- authentication (servers) ------------------------------------------------------

class source_auth : public source_test {};

TEST_P(source_auth, scrambled_password_connects_and_a_wrong_one_is_refused) {
    // SetUp connected with the form-3 password: the server knows the user.
    rows_t who = rows_of(src().user_sql, 1);
    ASSERT_EQ(who.size(), 1u);
    EXPECT_EQ(who[0][0].substr(0, server_user().size()), server_user()) << who[0][0];

    int s = take_slot();
    const std::string wrong = "not-" + server_password();
    host_var st = status_block(s);
    host_var text = host_var::text(connect_text(src(), &wrong), 512);
    EXPECT_EQ(send(OP_CONNECT, st, {&text}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), src().wrong_password_state);
    EXPECT_EQ(status_view{st}.native(), src().wrong_password_native);
    host_var err = status_block(s);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{err}.sqlstate(), src().wrong_password_state);
    EXPECT_NE(message.text_value().find(server_user()), std::string::npos) << message.text_value();
    EXPECT_NE(lower(message.text_value()).find("password"), std::string::npos) << message.text_value();

    // A form-3 value made for another user decodes to "<bad decryption>".
    char scrambled[SCRAMBLE_FORM3_SIZE];
    const std::string pw = server_password();
    ASSERT_EQ(scramble_value(3, pw.c_str(), pw.size(), "somebody_else", scrambled, sizeof scrambled), SCRAMBLE_OK);
    host_var other_key = host_var::text(std::string("-host=") + src().dsn + " -user=" + server_user() + " -pw=" + scrambled, 512);
    host_var st2 = status_block(s);
    EXPECT_EQ(send(OP_CONNECT, st2, {&other_key}), ST_SQLERROR);
    EXPECT_EQ(status_view{st2}.sqlstate(), src().wrong_password_state);

    // The same slot connects with the right password.
    host_var right = host_var::text(connect_text(src()), 512);
    host_var st3 = status_block(s);
    EXPECT_EQ(send(OP_CONNECT, st3, {&right}), ST_OK) << status_view{st3}.sqlstate();
    EXPECT_EQ(rows_of("SELECT 1", 1, s), (rows_t{{"1"}}));
}

INSTANTIATE_TEST_SUITE_P(sources, source_test, ::testing::ValuesIn(all_sources()), source_name());
INSTANTIATE_TEST_SUITE_P(sources, source_fetch, ::testing::ValuesIn(all_sources()), source_name());
INSTANTIATE_TEST_SUITE_P(sources, source_auth, ::testing::ValuesIn(server_sources()), source_name());

} // namespace
