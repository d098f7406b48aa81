// OP_QUERY with values for the statement's markers, on SQLite, PostgreSQL
// and MariaDB: each host type, texts that the database converts, long and
// awkward values, markers the driver does not count, fixed arrays with a
// failed row, the statement left clean, and the checks of the descriptors.
#include "sources.h"

#include <cstring>

namespace {

// Statement attributes by their ODBC numbers.
const int16_t attr_param_bind_type = 18, attr_paramset_size = 22;

using rows_t = std::vector<std::vector<std::string>>;

class source_params : public source_test {
protected:
    // OP_QUERY with values; rows >= 0 goes to +4 for arrays.
    int run(const std::string &sql, std::vector<host_var *> values, host_var &st, int32_t rows = -1) {
        status_view{st}.set_slot(static_cast<uint8_t>(slot));
        if (rows >= 0) status_view{st}.set_param_swapped(rows);
        host_var text = host_var::text(sql);
        values.insert(values.begin(), &text);
        return send(OP_QUERY, st, values);
    }
    // A request that must succeed; its cursor closed; +24 checked.
    double apply(const std::string &sql, std::vector<host_var *> values, int32_t rows = -1, int32_t applied = 1) {
        host_var st = status_block(slot);
        EXPECT_EQ(run(sql, values, st, rows), ST_OK) << sql << ": " << status_view{st}.sqlstate();
        EXPECT_EQ(status_view{st}.result(), applied) << sql;
        close();
        return status_view{st}.rowcount();
    }
    int set_autocommit(bool on) {
        host_var st = status_block(slot);
        status_view{st}.set_param_plain(102); // SQL_ATTR_AUTOCOMMIT
        host_var v = host_var::integer(on ? 1 : 0);
        return send(OP_SETCONNATTR, st, {&v});
    }
    std::string count(const std::string &t) { return rows_of("SELECT COUNT(*) FROM " + t, 1).at(0).at(0); }
};

host_var raw_value(const std::string &bytes) {
    host_var v = host_var::raw(bytes.size());
    std::memcpy(v.area.data(), bytes.data(), bytes.size());
    return v;
}

host_var unsigned_value(int64_t x) {
    host_var v(HV_BINARY, host_var::integer_size);
    v.set_int(x);
    return v;
}

host_var text_array(const std::vector<std::string> &items, size_t element_size) {
    host_var v = host_var::array(element_size, items.size());
    for (size_t k = 1; k <= items.size(); ++k) v.set_element(k, items[k - 1]);
    return v;
}

// The value a text '\x00ff' leaves in a binary column, read back as text:
// PostgreSQL converts it to two bytes; the others keep its six characters.
std::string hex_literal_stored(const std::string &source) { return source == "pg" ? "00ff" : "\\x00ff"; }

// SQLite's driver gives every failed step the general state.
std::string duplicate_key_state(const std::string &source) {
    if (source == "sqlite") return "HY000";
    return source == "pg" ? "23505" : "23000";
}

TEST_P(source_params, each_type_and_texts_the_database_converts) {
    const std::string t = table("ptypes");
    exec("CREATE TABLE " + t + " (k INTEGER, f DOUBLE PRECISION, s VARCHAR(40), u BIGINT, r " +
         src().blob_type + ", dt DATE)");
    host_var k = host_var::integer(-7), f = host_var::real(2.5), s = host_var::text("it's; \"q\" \\", 40);
    host_var u = unsigned_value(4000000000LL), r = raw_value(std::string("a\0b", 3));
    host_var dt = host_var::text("2024-01-02");
    EXPECT_EQ(apply("INSERT INTO " + t + " VALUES (?, ?, ?, ?, ?, ?)", {&k, &f, &s, &u, &r, &dt}), 1.0);
    EXPECT_EQ(rows_of("SELECT k, f, s, u, dt FROM " + t, 5),
              (rows_t{{"-7", "2.5", "it's; \"q\" \\", "4000000000", "2024-01-02"}}));

    // Texts reach each database as an untyped literal would.
    host_var five = host_var::text("5"), hex = host_var::text("\\x00ff");
    EXPECT_EQ(apply("INSERT INTO " + t + " (k, r) VALUES (?, ?)", {&five, &hex}), 1.0);
    EXPECT_EQ(rows_of("SELECT k + 1 FROM " + t + " WHERE k = 5", 1), (rows_t{{"6"}}));
    host_var found = status_block(slot);
    ASSERT_EQ(run("SELECT r FROM " + t + " WHERE k = ?", {&five}, found), ST_OK);
    rows_t hex_rows = fetch_rows(1);
    close();
    ASSERT_EQ(hex_rows.size(), 1u);
    EXPECT_EQ(hex_rows[0][0].substr(0, hex_literal_stored(src().name).size()), hex_literal_stored(src().name));

    // A parameterised SELECT is fetched as any other; NULL is written in the text.
    host_var lo = host_var::integer(-10), blank = host_var::text("");
    EXPECT_EQ(apply("INSERT INTO " + t + " (k, s) VALUES (?, NULLIF(?, ''))", {&lo, &blank}), 1.0);
    EXPECT_EQ(rows_of("SELECT COUNT(*) FROM " + t + " WHERE s IS NULL", 1), (rows_t{{"2"}}));
}

TEST_P(source_params, long_and_awkward_values_arrive_unchanged) {
    const std::string t = table("plong");
    exec("CREATE TABLE " + t + " (k INTEGER, s " + std::string(src().long_text_type) + ", b " + src().blob_type + ")");
    std::string text(1 << 20, 'x'), bytes(1 << 20, '\0');
    for (size_t i = 0; i < text.size(); i += 97) text[i] = "';\\\"-"[i % 5];
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 256);
    host_var k = host_var::integer(1), s = host_var::text(text, text.size() + 1), b = raw_value(bytes);
    EXPECT_EQ(apply("INSERT INTO " + t + " VALUES (?, ?, ?)", {&k, &s, &b}), 1.0);
    // The database compares what it stored with the same values bound again.
    host_var st = status_block(slot);
    ASSERT_EQ(run("SELECT COUNT(*), MIN(LENGTH(s)), MIN(LENGTH(b)) FROM " + t + " WHERE s = ? AND b = ?", {&s, &b},
                  st), ST_OK) << status_view{st}.sqlstate();
    EXPECT_EQ(fetch_rows(3), (rows_t{{"1", "1048576", "1048576"}}));
    close();
    EXPECT_EQ(rows_of("SELECT SUBSTR(s, 1, 6) FROM " + t, 1), (rows_t{{"'xxxxx"}}));
}

TEST_P(source_params, markers_the_driver_counts_and_extra_or_missing_values) {
    const std::string t = table("pmark");
    exec("CREATE TABLE " + t + " (a VARCHAR(10), b VARCHAR(10))");
    host_var one = host_var::text("1"), two = host_var::text("2"), three = host_var::text("3");
    EXPECT_EQ(apply("INSERT INTO " + t + " VALUES ('?', ?)", {&one, &two}), 1.0) << "extra value ignored";
    EXPECT_EQ(apply("INSERT INTO " + t + " VALUES ('x', 'y')", {&three}), 1.0) << "no markers: runs once";
    EXPECT_EQ(rows_of("SELECT a, b FROM " + t + " ORDER BY b", 2), (rows_t{{"?", "1"}, {"x", "y"}}));

    // SQLite's driver counts a marker inside a comment, which SQLite does not.
    host_var comment = status_block(slot);
    bool sqlite = std::string(src().name) == "sqlite";
    EXPECT_EQ(run("INSERT INTO " + t + " VALUES ('c', /* ? */ ?)", {&three, &two}, comment),
              sqlite ? ST_SQLERROR : ST_OK);
    EXPECT_EQ(status_view{comment}.sqlstate(), sqlite ? "HY000" : "");
    close();
    exec("DELETE FROM " + t + " WHERE a = 'c'");

    host_var st = status_block(slot);
    EXPECT_EQ(run("INSERT INTO " + t + " VALUES (?, ?)", {&one}, st), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), std::string(src().name) == "sqlite" ? "HY000" : "07002");
    EXPECT_EQ(status_view{st}.result(), 0);
    EXPECT_EQ(count(t), "2");

    host_var show = status_block(slot);
    EXPECT_EQ(run("SHOW TABLES", {&one}, show), ST_OK) << "a listing ignores values";
    close();
}

TEST_P(source_params, arrays_apply_every_row_and_stop_at_a_failed_one) {
    const std::string t = table("parr");
    exec("CREATE TABLE " + t + " (id INTEGER PRIMARY KEY, s VARCHAR(40), f DOUBLE PRECISION, tag VARCHAR(10))");
    const std::string insert = "INSERT INTO " + t + " VALUES (?, ?, ?, ?)";
    int base = 0;
    // In one transaction: SQLite would otherwise commit each row to disk.
    ASSERT_EQ(set_autocommit(false), ST_OK);
    for (int n : {1, 1000, 100000}) {
        host_var ids = host_var::int_array(static_cast<size_t>(n));
        host_var texts = host_var::array(32, static_cast<size_t>(n));
        host_var reals(HV_FLOAT | ARG_ARRAY, sizeof(double) * static_cast<size_t>(n));
        reals.declared_size = sizeof(double);
        for (int i = 1; i <= n; ++i) {
            ids.set_element_int(static_cast<size_t>(i), base + i);
            texts.set_element(static_cast<size_t>(i), "row " + std::to_string(i) + std::string(25, 'x'));
            double d = i + 0.5;
            reals.set_element(static_cast<size_t>(i), std::string(reinterpret_cast<char *>(&d), sizeof d));
        }
        host_var tag = host_var::text("n" + std::to_string(n));
        EXPECT_EQ(apply(insert, {&ids, &texts, &reals, &tag}, n, n), static_cast<double>(n)) << n;
        base += n;
    }
    ASSERT_EQ(set_autocommit(true), ST_OK);
    EXPECT_EQ(count(t), std::to_string(base));
    EXPECT_EQ(rows_of("SELECT s, f, tag FROM " + t + " WHERE id = 1001", 3),
              (rows_t{{"row 1000" + std::string(24, 'x'), "1000.5", "n1000"}}));

    // Row 4 repeats a key: rows 1 to 3 stay, +24 counts them, +20 names row 4.
    host_var ids = host_var::int_array(6);
    for (int i = 1; i <= 6; ++i) ids.set_element_int(static_cast<size_t>(i), i == 4 ? 1 : 200000 + i);
    host_var s = host_var::text("dup"), f = host_var::real(0), tag = host_var::text("dup");
    host_var st = status_block(slot);
    EXPECT_EQ(run(insert, {&ids, &s, &f, &tag}, st, 6), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.result(), 3);
    EXPECT_EQ(status_view{st}.native(), 4);
    EXPECT_EQ(status_view{st}.sqlstate(), duplicate_key_state(src().name));
    EXPECT_EQ(status_view{st}.rowcount(), 3.0);
    EXPECT_EQ(rows_of("SELECT COUNT(*) FROM " + t + " WHERE tag = 'dup'", 1), (rows_t{{"3"}}));
}

TEST_P(source_params, geterror_after_a_failed_row_gives_its_record) {
    const std::string t = table("perr");
    exec("CREATE TABLE " + t + " (id INTEGER PRIMARY KEY)");
    host_var ids = host_var::int_array(2);
    ids.set_element_int(1, 1);
    ids.set_element_int(2, 1);
    host_var st = status_block(slot);
    ASSERT_EQ(run("INSERT INTO " + t + " VALUES (?)", {&ids}, st, 2), ST_SQLERROR);
    host_var err = status_block(slot);
    host_var message = host_var::text("", 300);
    send(OP_GETERROR, err, {&message});
    // Unbinding clears the statement's records; OP_GETERROR answers from the
    // slot's kept copy of them.
    EXPECT_EQ(status_view{err}.sqlstate(), duplicate_key_state(src().name));
    EXPECT_FALSE(message.text_value().empty());
}

TEST_P(source_params, nothing_is_left_behind_and_the_statement_is_reused) {
    const std::string t = table("pleft");
    exec("CREATE TABLE " + t + " (a INTEGER)");
    const std::string insert = "INSERT INTO " + t + " VALUES (?)";
    host_var one = host_var::integer(1), two = host_var::integer(2);
    apply(insert, {&one});
    host_var plain = status_block(slot);
    EXPECT_EQ(query(slot, insert, plain), ST_SQLERROR) << "a marker without a value fails as before";
    close();
    // Another text in between; the same text again; a SELECT with a value.
    apply("DELETE FROM " + t + " WHERE a = ?", {&two});
    apply(insert, {&two});
    apply(insert, {&two});
    host_var st = status_block(slot);
    ASSERT_EQ(run("SELECT COUNT(*) FROM " + t + " WHERE a = ?", {&two}, st), ST_OK);
    EXPECT_EQ(fetch_rows(1), (rows_t{{"2"}}));
    close();
    EXPECT_EQ(count(t), "3");

    // The host's parameter bind type stays; the parameter set size is 1.
    host_var set = status_block(slot), bind_type = host_var::integer(16);
    status_view{set}.set_subcode(attr_param_bind_type);
    ASSERT_EQ(send(OP_SETSTMTATTR, set, {&bind_type}), ST_OK);
    host_var values = host_var::int_array(3);
    for (int i = 1; i <= 3; ++i) values.set_element_int(static_cast<size_t>(i), 10 + i);
    apply(insert, {&values}, 3, 3);
    for (int16_t attr : {attr_param_bind_type, attr_paramset_size}) {
        host_var get = status_block(slot), value = host_var::integer(0);
        status_view{get}.set_subcode(attr);
        ASSERT_EQ(send(OP_GETSTMTATTR, get, {&value}), ST_OK);
        EXPECT_EQ(value.int_value(), attr == attr_paramset_size ? 1 : 16) << attr;
    }
    EXPECT_EQ(count(t), "6");
}

TEST_P(source_params, bad_descriptors_execute_nothing) {
    const std::string t = table("pbad");
    exec("CREATE TABLE " + t + " (a VARCHAR(10), f DOUBLE PRECISION)");
    const std::string insert = "INSERT INTO " + t + " VALUES (?, ?)";
    host_var text = host_var::text("a"), real = host_var::real(1);
    host_var negative = host_var::text("a");
    negative.declared_size = -1;
    host_var short_real(HV_FLOAT, 4);
    host_var float_array(HV_FLOAT | ARG_ARRAY, 8);
    float_array.declared_size = 4;
    host_var dynamic = host_var::dynamic_array();
    struct bad_case {
        std::vector<host_var *> values;
        int16_t status;
    };
    for (const bad_case &c : std::vector<bad_case>{{{&negative, &real}, ST_BADARG},
                                                   {{&text, &short_real}, ST_BADARG},
                                                   {{&text, &float_array}, ST_BADARG},
                                                   {{&dynamic, &real}, ST_UNSUPPORTED}}) {
        host_var st = status_block(slot);
        EXPECT_EQ(run(insert, c.values, st, 1), c.status);
    }
    host_var texts = text_array({"a", "b"}, 4);
    host_var none = status_block(slot);
    EXPECT_EQ(run(insert, {&texts, &real}, none, 0), ST_OK) << "no rows";
    EXPECT_EQ(status_view{none}.result(), 0);
    host_var select = status_block(slot);
    EXPECT_EQ(run("SELECT a FROM " + t + " WHERE a = ?", {&texts}, select, 2), ST_UNSUPPORTED);
    EXPECT_EQ(count(t), "0");
}

} // namespace

INSTANTIATE_TEST_SUITE_P(sources, source_params, ::testing::ValuesIn(all_sources()), source_name());
