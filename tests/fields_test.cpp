// Field records: the type code table, OP_DESCRIBE and OP_SETFIELDS, and
// how the records they leave are used by the next fetch.
#include <cstdio>
#include <cstring>

#include "host/odbc.h"
#include "stmt/fields.h"
#include "support/result_fixture.h"

namespace {

int32_t i32_at(const std::string &rec, int off) {
    int32_t v;
    std::memcpy(&v, rec.data() + off, sizeof v);
    return v;
}
int16_t i16_at(const std::string &rec, int off) {
    int16_t v;
    std::memcpy(&v, rec.data() + off, sizeof v);
    return v;
}
// A text field padded with NULs to its width.
std::string padded(const std::string &text, size_t width) { return text + std::string(width - text.size(), '\0'); }

// Record k (from 0) of an argument holding field records.
std::string record_of(const host_var &v, int k) { return v.bytes(static_cast<size_t>(FIELD_REC_SIZE * (k + 1))).substr(FIELD_REC_SIZE * k); }

TEST(field_type_code, follows_the_table_by_the_low_8_bits) {
    const struct {
        int sql_type;
        int32_t code;
    } table[] = {
        {SQL_CHAR, 254},          {SQL_NUMERIC, 0},       {SQL_DECIMAL, 0},        {SQL_INTEGER, 3},
        {SQL_SMALLINT, 2},        {SQL_FLOAT, 4},         {SQL_REAL, 5},           {SQL_DOUBLE, 5},
        {SQL_DATETIME, 12},       {SQL_INTERVAL, 11},     {SQL_TIMESTAMP, 7},      {SQL_VARCHAR, 15},
        {SQL_TYPE_DATE, 10},      {SQL_TYPE_TIME, 11},    {SQL_TYPE_TIMESTAMP, 7}, {SQL_WLONGVARCHAR, 252},
        {SQL_WVARCHAR, 253},      {SQL_WCHAR, 254},       {SQL_BIT, 16},           {SQL_BIGINT, 8},
        {SQL_LONGVARBINARY, 252}, {SQL_VARBINARY, 252},   {SQL_LONGVARCHAR, 15},   {SQL_UNKNOWN_TYPE, 1},
        {SQL_TINYINT, 1},         {SQL_BINARY, 1},        {SQL_GUID, 1},           {-150, 1},
        {256 + SQL_BIGINT, 8},    {0x1000 + SQL_CHAR, 254},
    };
    for (const auto &e : table) EXPECT_EQ(field_type_code(e.sql_type), e.code) << e.sql_type;
}

class fields_test : public result_test {
protected:
    // OP_DESCRIBE into an argument of `size` bytes filled with 0xEE.
    host_var describe(size_t size, int expect_count) {
        host_var recs = host_var::raw(size);
        recs.fill(0xEE);
        host_var st = status_block(slot);
        EXPECT_EQ(send(OP_DESCRIBE, st, {&recs}), ST_OK);
        EXPECT_EQ(status_view{st}.result(), expect_count);
        EXPECT_EQ(status_view{st}.sqlstate(), "");
        return recs;
    }
    // A line-form fetch of the next row into a 64-byte text variable.
    std::string fetch_line() {
        host_var line = host_var::text("", 64);
        host_var st = fetch_block(0.0, FETCH_LINE);
        EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_OK);
        return line.text_value();
    }
};

TEST_F(fields_test, records_of_sqlite_columns) {
    exec("CREATE TABLE items (id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, code VARCHAR(8) NOT NULL, "
         "note TEXT, data BLOB, big BIGINT, tiny TINYINT, price DOUBLE, born DATE, at TIME, stamp TIMESTAMP, "
         "flag BIT, raw VARBINARY(6), wide VARCHAR(70000))");
    open("SELECT * FROM items");
    // What the SQLite driver reports, through the record's fields.
    const struct {
        const char *name;
        int32_t width;
        uint32_t flags;
        int32_t type_code;
        int16_t precision;
    } expect[] = {
        {"id", 10, 0x201, 3, 10},  {"code", 8, 0x1, 15, 8}, {"note", 65536, 0, 15, 0}, {"data", 255, 0x80, 1, 0},
        {"big", 20, 0, 8, 19},     {"tiny", 4, 0, 1, 3},    {"price", 54, 0, 5, 15},   {"born", 10, 0, 10, 0},
        {"at", 8, 0, 11, 0},       {"stamp", 32, 0, 7, 3},  {"flag", 1, 0, 16, 1},     {"raw", 6, 0x80, 252, 6},
        {"wide", 70000, 0, 15, static_cast<int16_t>(70000 & 0xFFFF)},
    };
    const int n = sizeof expect / sizeof expect[0];
    host_var recs = describe(FIELD_REC_SIZE * n, n);
    for (int k = 0; k < n; ++k) {
        std::string rec = record_of(recs, k);
        SCOPED_TRACE(expect[k].name);
        EXPECT_EQ(rec.substr(FR_NAME, 32), padded(expect[k].name, 32));
        EXPECT_EQ(rec.substr(FR_SOURCE_NAME, 32), padded(expect[k].name, 32));
        EXPECT_EQ(rec.substr(FR_TABLE_NAME, 32), padded("items", 32));
        EXPECT_EQ(rec.substr(FR_SOURCE_TABLE, 32), padded("items", 32));
        EXPECT_EQ(rec.substr(FR_SCHEMA_NAME, 32), padded("", 32));
        EXPECT_EQ(rec.substr(FR_CATALOG_NAME, 12), padded("main", 12));
        EXPECT_EQ(rec.substr(FR_DEFAULT_VALUE, 32), padded("", 32));
        EXPECT_EQ(i32_at(rec, FR_LENGTH), expect[k].width);
        EXPECT_EQ(i32_at(rec, FR_WIDTH), expect[k].width);
        EXPECT_EQ(static_cast<uint32_t>(i32_at(rec, FR_FLAGS)), expect[k].flags);
        EXPECT_EQ(i32_at(rec, FR_TYPE_CODE), expect[k].type_code);
        EXPECT_EQ(i16_at(rec, FR_PRECISION), expect[k].precision);
        EXPECT_EQ(i16_at(rec, FR_RESERVED), 0);
        EXPECT_EQ(rec, field_record(k + 1)) << "the caller gets the slot's own record";
    }
    EXPECT_EQ(field_record(0), padded("bookmarks", FIELD_REC_SIZE));
}

TEST_F(fields_test, names_and_catalogs_are_cut_to_their_fields_without_nul) {
    const std::string name32(32, 'n'), name40 = std::string(32, 'm') + "12345678";
    exec("ATTACH DATABASE '" + test_odbc_env().dir + "/cat.db' AS catalog_long_name");
    exec("CREATE TABLE catalog_long_name.t (x INTEGER)");
    open("SELECT x AS " + name32 + ", x AS " + name40 + ", x AS short FROM catalog_long_name.t");
    host_var recs = describe(FIELD_REC_SIZE * 3, 3);
    EXPECT_EQ(record_of(recs, 0).substr(FR_NAME, 32), name32);
    EXPECT_EQ(record_of(recs, 0).substr(FR_SOURCE_NAME, 32), name32);
    EXPECT_EQ(record_of(recs, 1).substr(FR_NAME, 32), name40.substr(0, 32));
    EXPECT_EQ(record_of(recs, 2).substr(FR_NAME, 32), padded("short", 32));
    EXPECT_EQ(record_of(recs, 2).substr(FR_CATALOG_NAME, 12), "catalog_long") << "12 bytes, no NUL";
    EXPECT_EQ(record_of(recs, 2).substr(FR_DEFAULT_VALUE, 32), padded("", 32)) << "the catalog stays in its field";
}

TEST_F(fields_test, describe_with_less_room_than_columns_still_describes_every_column) {
    open("SELECT 'a' AS c1, 'b' AS c2, 'c' AS c3, 'dddd' AS c4, 'eeeee' AS c5");
    host_var recs = describe(FIELD_REC_SIZE * 3 + 100, 5);
    EXPECT_EQ(record_of(recs, 2).substr(FR_NAME, 3), std::string("c3\0", 3));
    EXPECT_EQ(recs.bytes(recs.area.size()).substr(FIELD_REC_SIZE * 3), std::string(100, '\xEE'))
        << "the rest of the argument is not touched";
    EXPECT_EQ(field_record(5).substr(FR_NAME, 3), std::string("c5\0", 3));
    // The line uses the widths of all five columns (255 each for SQLite
    // expressions), so the fifth value is at 4 * 255.
    host_var line = host_var::text("", 5 * 255 + 1);
    host_var st = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_OK);
    EXPECT_EQ(line.text_value().substr(4 * 255, 5), "eeeee");
}

TEST_F(fields_test, describe_of_a_statement_without_result_marks_the_buffer_only) {
    exec("CREATE TABLE t (x INTEGER)");
    open("UPDATE t SET x = 1");
    host_var recs = describe(FIELD_REC_SIZE * 2, 0);
    EXPECT_EQ(recs.bytes(FIELD_REC_SIZE * 2), std::string(FIELD_REC_SIZE * 2, '\xEE'));
    EXPECT_EQ(field_record(0).substr(0, 10), std::string("bookmarks\0", 10));
    EXPECT_EQ(field_record(1), std::string(FIELD_REC_SIZE, '\0'));
}

TEST_F(fields_test, argument_smaller_than_one_record_gets_nothing_but_the_count) {
    open("SELECT 1 AS a, 2 AS b");
    host_var recs = describe(FIELD_REC_SIZE - 1, 2);
    EXPECT_EQ(recs.bytes(FIELD_REC_SIZE - 1), std::string(FIELD_REC_SIZE - 1, '\xEE'));
    EXPECT_EQ(field_record(0).substr(0, 10), std::string("bookmarks\0", 10));
    EXPECT_EQ(field_record(2).substr(FR_NAME, 2), std::string("b\0", 2));
}

// A negative size gives the argument no room: nothing of it is written or
// read, however large its area.
TEST_F(fields_test, negative_sizes_give_no_room_to_describe_or_set) {
    open("SELECT 1 AS a, 2 AS b");
    for (int op : {OP_DESCRIBE, OP_SETFIELDS}) {
        host_var recs = host_var::raw(16);
        recs.fill(0xEE);
        recs.declared_size = -1;
        host_var st = status_block(slot);
        EXPECT_EQ(send(op, st, {&recs}), ST_OK) << op;
        EXPECT_EQ(status_view{st}.result(), op == OP_DESCRIBE ? 2 : 0) << op;
        EXPECT_EQ(recs.bytes(16), std::string(16, '\xEE')) << op;
    }
    EXPECT_EQ(field_record(2).substr(FR_NAME, 2), std::string("b\0", 2)) << "the records stay as described";
}

TEST_F(fields_test, more_than_31_columns_describe_31_and_count_all) {
    std::string sql = "SELECT 1 AS c1";
    for (int k = 2; k <= 33; ++k) sql += ", " + std::to_string(k) + " AS c" + std::to_string(k);
    open(sql);
    host_var recs = describe(FIELD_REC_SIZE * 40, 33);
    EXPECT_EQ(record_of(recs, 30).substr(FR_NAME, 4), std::string("c31\0", 4));
    EXPECT_EQ(recs.bytes(recs.area.size()).substr(FIELD_REC_SIZE * 31), std::string(FIELD_REC_SIZE * 9, '\xEE'));
    EXPECT_EQ(field_record(31).substr(FR_NAME, 4), std::string("c31\0", 4));
}

TEST_F(fields_test, argument_and_statement_checks) {
    host_var recs = host_var::raw(FIELD_REC_SIZE);
    for (int op : {OP_DESCRIBE, OP_SETFIELDS}) {
        host_var st = status_block(slot);
        EXPECT_EQ(send(op, st, {&recs}), ST_NOSTMT) << op << ": no statement yet";
    }
    open("SELECT 1");
    for (int op : {OP_DESCRIBE, OP_SETFIELDS}) {
        host_var st = status_block(slot);
        EXPECT_EQ(send(op, st, {&recs}, 2), ST_ARGS) << op;
    }
}

// Two columns of widths 5 and 3 with values filling them.
class setfields_test : public fields_test {
protected:
    void SetUp() override {
        fields_test::SetUp();
        open_table("a VARCHAR(5), b VARCHAR(3)", "('abcde', 'xyz'), ('fghij', 'uvw')");
    }
    // Records for both columns with the given widths.
    host_var records_with_widths(int32_t w1, int32_t w2) {
        host_var recs = host_var::raw(FIELD_REC_SIZE * 2);
        std::memcpy(recs.area.data() + FR_WIDTH, &w1, 4);
        std::memcpy(recs.area.data() + FIELD_REC_SIZE + FR_WIDTH, &w2, 4);
        return recs;
    }
    void set_fields(host_var &recs) {
        host_var st = status_block(slot);
        status_view{st}.set_native_raw(0x12345678);
        EXPECT_EQ(send(OP_SETFIELDS, st, {&recs}), ST_OK);
        EXPECT_EQ(status_view{st}.result(), 0);
    }
};

TEST_F(setfields_test, records_set_after_a_description_are_used) {
    describe(FIELD_REC_SIZE * 2, 2);
    host_var recs = records_with_widths(2, 2);
    set_fields(recs);
    EXPECT_EQ(field_record(0).substr(0, 9), "bookmarks") << "the buffer stays described";
    EXPECT_EQ(fetch_line(), "abxy");
    EXPECT_EQ(fetch_line(), "fguv") << "the records stand for the whole result";
}

TEST_F(setfields_test, records_set_before_any_description_give_way_to_the_fetch) {
    host_var recs = records_with_widths(2, 2);
    set_fields(recs);
    EXPECT_EQ(field_record(0)[0], '\0') << "caller-filled, not described";
    EXPECT_EQ(fetch_line(), "abcdexyz");
}

TEST_F(setfields_test, at_most_31_records_are_taken_and_record_0_is_kept) {
    describe(FIELD_REC_SIZE * 2, 2);
    host_var recs = host_var::raw(FIELD_REC_SIZE * 40);
    for (int k = 0; k < 40; ++k) std::snprintf(reinterpret_cast<char *>(recs.area.data()) + FIELD_REC_SIZE * k, 8, "r%d", k + 1);
    set_fields(recs);
    EXPECT_EQ(field_record(1).substr(0, 3), std::string("r1\0", 3));
    EXPECT_EQ(field_record(31).substr(0, 4), std::string("r31\0", 4));
    EXPECT_EQ(field_record(0).substr(0, 10), std::string("bookmarks\0", 10));
}

TEST_F(setfields_test, the_next_query_clears_the_records) {
    describe(FIELD_REC_SIZE * 2, 2);
    close_result();
    open("SELECT 1");
    EXPECT_EQ(field_record(0), std::string(FIELD_REC_SIZE, '\0'));
    EXPECT_EQ(field_record(1), std::string(FIELD_REC_SIZE, '\0'));
}

} // namespace
