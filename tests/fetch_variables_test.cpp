// The variable form of OP_FETCH: conversions by variable type, NULLs,
// argument and column counts, and the dynamic sizing of variables.
#include <cstring>

#include "support/result_fixture.h"

namespace {

class variables_test : public result_test {
protected:
    int fetch(std::vector<host_var *> vars) {
        refill_block(st);
        return send(OP_FETCH, st, vars);
    }
    host_var st = status_block();
};

TEST_F(variables_test, each_type_gets_its_conversion) {
    open("SELECT -5, -1, 2.25, 'text', x'00010200ff', 42");
    host_var i = host_var::integer(7);
    host_var b = host_var::raw(8, HV_BINARY);
    host_var f = host_var::raw(16, HV_FLOAT);
    f.fill(0xEE);
    host_var t = host_var::text("XXXXXXXX", 9);
    host_var raw = host_var::raw(8);
    raw.fill(0xEE);
    host_var text_of_int = host_var::text("", 8);
    EXPECT_EQ(fetch({&i, &b, &f, &t, &raw, &text_of_int}), ST_OK);
    EXPECT_EQ(i.putnums, std::vector<int64_t>{-5});
    EXPECT_EQ(b.putnums, std::vector<int64_t>{-1}) << "4294967295 as 32 bits, sign-extended";
    double d;
    std::memcpy(&d, f.area.data(), 8);
    EXPECT_EQ(d, 2.25);
    EXPECT_EQ(f.bytes(16).substr(8), std::string(8, '\xEE')) << "a double writes 8 bytes";
    EXPECT_EQ(t.bytes(9), std::string("text\0XXX\0", 9)) << "the bytes after the NUL are kept";
    EXPECT_EQ(raw.bytes(8), std::string("\x00\x01\x02\x00\xff\xEE\xEE\xEE", 8)) << "binary bytes as they are";
    EXPECT_EQ(text_of_int.text_value(), "42");
    EXPECT_EQ(status_view{st}.result(), 6);
}

TEST_F(variables_test, null_gives_0_to_integers_and_leaves_the_others) {
    open("SELECT NULL, NULL, NULL, NULL, NULL");
    host_var i = host_var::integer(7);
    host_var b = host_var::raw(8, HV_BINARY);
    host_var f = host_var::real(9.5);
    host_var t = host_var::text("keep", 8);
    host_var raw = host_var::raw(4);
    raw.fill(0xEE);
    EXPECT_EQ(fetch({&i, &b, &f, &t, &raw}), ST_OK);
    EXPECT_EQ(i.putnums, std::vector<int64_t>{0});
    EXPECT_EQ(b.putnums, std::vector<int64_t>{0});
    EXPECT_EQ(f.real_value(), 9.5);
    EXPECT_EQ(t.text_value(), "keep");
    EXPECT_EQ(raw.bytes(4), std::string(4, '\xEE'));
    EXPECT_EQ(status_view{st}.result(), 5);
}

TEST_F(variables_test, values_are_cut_to_the_variables_size) {
    open("SELECT 'abcdefghijkl', 1.5");
    host_var t = host_var::text("", 8);
    host_var small_float = host_var::raw(4, HV_FLOAT);
    EXPECT_EQ(fetch({&t, &small_float}), ST_OK); // guards checked: nothing beyond 4 bytes
    EXPECT_EQ(t.bytes(8), "abcdefgh");
    double d = 1.5;
    EXPECT_EQ(small_float.bytes(4), std::string(reinterpret_cast<const char *>(&d), 4))
        << "a float variable smaller than a double gets its first bytes";
}

TEST_F(variables_test, arguments_and_columns_are_paired_up_to_the_fewer) {
    open("SELECT 1, 2");
    host_var a = host_var::integer(0), b = host_var::integer(0), c = host_var::integer(-3);
    EXPECT_EQ(fetch({&a, &b, &c}), ST_OK);
    EXPECT_EQ(a.int_value(), 1);
    EXPECT_EQ(b.int_value(), 2);
    EXPECT_TRUE(c.putnums.empty());
    EXPECT_EQ(status_view{st}.result(), 2);
    close_result();
    open("SELECT 1, 2, 3, 4");
    EXPECT_EQ(fetch({&a}), ST_OK);
    EXPECT_EQ(status_view{st}.result(), 1);
}

// --- dynamic sizing ------------------------------------------------------------

TEST_F(variables_test, dynamic_variable_up_to_width_255_grows_to_the_width) {
    open_table("v VARCHAR(40), w VARCHAR(40)", "('abc', 'abc')");
    host_var small = host_var::text("", 10, true);
    host_var large = host_var::text("", 50, true);
    EXPECT_EQ(fetch({&small, &large}), ST_OK);
    EXPECT_EQ(small.resizes, std::vector<size_t>{41});
    EXPECT_EQ(small.text_value(), "abc");
    EXPECT_TRUE(large.resizes.empty()) << "a variable larger than the width keeps its size";
}

TEST_F(variables_test, dynamic_variable_of_a_wide_column_grows_to_twice_the_value) {
    open_table("v VARCHAR(1000), w VARCHAR(300)", "('" + std::string(30, 'a') + "', '" + std::string(400, 'b') + "')");
    host_var v = host_var::text("", 10, true);
    host_var w = host_var::text("", 10, true);
    EXPECT_EQ(fetch({&v, &w}), ST_OK);
    EXPECT_EQ(v.resizes, std::vector<size_t>{61});
    EXPECT_EQ(v.text_value(), std::string(30, 'a'));
    EXPECT_EQ(w.resizes, (std::vector<size_t>{301, 401})) << "to the width, then to the value";
    EXPECT_EQ(w.text_value(), std::string(400, 'b'));
}

TEST_F(variables_test, dynamic_variable_receiving_null_is_not_resized) {
    open_table("v VARCHAR(1000), w VARCHAR(40)", "(NULL, NULL)");
    host_var v = host_var::text("keep", 10, true);
    host_var w = host_var::text("keep", 10, true);
    EXPECT_EQ(fetch({&v, &w}), ST_OK);
    EXPECT_TRUE(v.resizes.empty());
    EXPECT_TRUE(w.resizes.empty());
    EXPECT_EQ(v.text_value(), "keep");
    EXPECT_EQ(status_view{st}.result(), 2);
}

TEST_F(variables_test, refused_growth_cuts_the_value_to_the_variable) {
    open_table("v VARCHAR(40)", "('abcdefghijklmnop')");
    host_var v = host_var::text("", 10, true);
    v.resize_result = 1;
    EXPECT_EQ(fetch({&v}), ST_OK);
    EXPECT_EQ(v.resizes, (std::vector<size_t>{41, 17}));
    EXPECT_EQ(v.bytes(10), "abcdefghij");
}

TEST_F(variables_test, dynamic_sizing_of_long_text_reaches_the_whole_value) {
    // A TEXT column is 65536 wide for SQLite.
    exec("CREATE TABLE t (v TEXT)");
    exec("INSERT INTO t " + repeated_text_query(10000, 'q'));
    exec("INSERT INTO t " + repeated_text_query(1000000, 'r'));
    open("SELECT v FROM t");
    host_var v = host_var::text("", 1, true);
    EXPECT_EQ(fetch({&v}), ST_OK);
    EXPECT_EQ(v.resizes, std::vector<size_t>{20001});
    EXPECT_TRUE(v.text_value() == std::string(10000, 'q'));
    host_var w = host_var::text("", 1, true);
    EXPECT_EQ(fetch({&w}), ST_OK);
    EXPECT_EQ(w.resizes, (std::vector<size_t>{65537, 1000001}));
    EXPECT_TRUE(w.text_value() == std::string(1000000, 'r'));
}

TEST_F(variables_test, dynamic_integer_is_sized_and_stored_through_the_host) {
    open_table("v INTEGER", "(-77)");
    host_var v(HV_INTEGER | ARG_DYNAMIC, 8);
    EXPECT_EQ(fetch({&v}), ST_OK);
    EXPECT_EQ(v.resizes, std::vector<size_t>{11}) << "INTEGER is 10 wide";
    EXPECT_EQ(v.putnums, std::vector<int64_t>{-77});
}

} // namespace
