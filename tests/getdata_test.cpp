// Column values through the scratch buffer: its first allocation and its
// growth to the longest value, long and binary values arriving whole, and
// what a caller receives when memory cannot be had.
#include <cstring>

#include "host/heap.h"
#include "stmt/getdata.h"
#include "support/result_fixture.h"

namespace {

bool all_of(const std::string &s, size_t n, char c) { return s.size() == n && s.find_first_not_of(c) == std::string::npos; }

class getdata_test : public result_test {
protected:
    void TearDown() override {
        heap_fail_after(-1);
        result_test::TearDown();
    }
    // A table `t` of one TEXT column holding the given lengths of 'x', in order.
    void texts_of_lengths(std::vector<int> lengths) {
        exec("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
        for (int n : lengths) exec("INSERT INTO t (v) " + repeated_text_query(n));
        open("SELECT v FROM t ORDER BY id");
    }
    // The next row's first column through a dynamic array (HS_PUTSTR with
    // the value's length).
    std::string next_through_array(int expect_status = ST_OK) {
        host_var arr = host_var::dynamic_array();
        refill_block(st, 0.0, FETCH_ARRAY, 1);
        EXPECT_EQ(send(OP_FETCH, st, {&arr}), expect_status);
        return arr.element(1);
    }
    host_var st = status_block();
};

TEST_F(getdata_test, buffer_starts_at_4096_and_grows_once_per_new_longest_value) {
    texts_of_lengths({4095, 4096, 10000, 5, 10000});
    release_scratch_buffer();
    unsigned long requests = heap_request_count();
    EXPECT_TRUE(all_of(next_through_array(), 4095, 'x'));
    EXPECT_EQ(getdata_size, 4096);
    EXPECT_EQ(heap_request_count() - requests, 1u) << "the first allocation, and a 4095-character value fits";
    EXPECT_TRUE(all_of(next_through_array(), 4096, 'x'));
    EXPECT_EQ(getdata_size, 4097);
    EXPECT_TRUE(all_of(next_through_array(), 10000, 'x'));
    EXPECT_EQ(getdata_size, 10001);
    EXPECT_EQ(heap_request_count() - requests, 3u);
    EXPECT_EQ(next_through_array(), "xxxxx");
    EXPECT_TRUE(all_of(next_through_array(), 10000, 'x'));
    EXPECT_EQ(getdata_size, 10001) << "the buffer never shrinks";
    EXPECT_EQ(heap_request_count() - requests, 3u);
}

TEST_F(getdata_test, a_million_characters_arrive_whole_in_every_form) {
    texts_of_lengths({1000000});
    EXPECT_TRUE(all_of(next_through_array(), 1000000, 'x'));
    host_var line = host_var::text("", 1, true);
    host_var line_st = fetch_block(1.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, line_st, {&line}), ST_OK);
    EXPECT_TRUE(all_of(line.text_value(), 65536, 'x')) << "the line holds the column's width";
    host_var fixed = host_var::text("", 1000001);
    host_var var_st = fetch_block(1.0);
    EXPECT_EQ(send(OP_FETCH, var_st, {&fixed}), ST_OK);
    EXPECT_TRUE(all_of(fixed.text_value(), 1000000, 'x'));
}

TEST_F(getdata_test, binary_values_with_nul_bytes_arrive_whole) {
    std::string blob, hex;
    for (int i = 0; i < 6000; ++i) {
        blob += static_cast<char>(i % 7);
        hex += "0" + std::to_string(i % 7);
    }
    exec("CREATE TABLE b (v BLOB)");
    exec("INSERT INTO b VALUES (x'" + hex + "')");
    open("SELECT v FROM b");
    host_var raw = host_var::raw(6010);
    raw.fill(0xEE);
    EXPECT_EQ(fetch_into({&raw}), ST_OK);
    EXPECT_TRUE(raw.bytes(6000) == blob);
    EXPECT_EQ(raw.bytes(6010).substr(6000), std::string(10, '\xEE'));
}

TEST_F(getdata_test, values_longer_than_an_element_fill_it_without_terminator) {
    open("SELECT 'abcdefghijklmnopqrst', 'uv'");
    host_var arr = host_var::array(8, 3);
    arr.fill(0xEE);
    host_var ast = fetch_block(0.0, FETCH_ARRAY, 2);
    EXPECT_EQ(send(OP_FETCH, ast, {&arr}), ST_OK);
    EXPECT_EQ(arr.bytes(24), std::string("abcdefghuv\0\0\0\0\0\0", 16) + std::string(8, '\xEE'));
}

// --- memory that cannot be had ---------------------------------------------------

TEST_F(getdata_test, failed_growth_hands_over_what_is_held_as_nomem) {
    texts_of_lengths({10000, 10000});
    next_through_array(); // the buffer now holds 10001 bytes
    release_scratch_buffer();
    heap_fail_nth(2); // the first allocation succeeds, the growth fails
    EXPECT_TRUE(all_of(next_through_array(ST_NOMEM), 4095, 'x'));
    EXPECT_EQ(getdata_size, 4096);
    EXPECT_EQ(status_view{st}.native(), 1) << "the column's number";
    EXPECT_EQ(status_view{st}.sqlstate(), "01004") << "the driver's truncation warning";
    EXPECT_EQ(status_view{st}.result(), 1);
    close_result();

    open("SELECT v FROM t ORDER BY id");
    heap_fail_nth(1);
    host_var text = host_var::text("", 6000);
    text.fill('y');
    EXPECT_EQ(fetch_into({&text}), ST_NOMEM);
    EXPECT_TRUE(all_of(text.text_value(), 4095, 'x')) << "the held part and its NUL";
    EXPECT_TRUE(all_of(text.bytes(6000).substr(4096), 6000 - 4096, 'y'));
    EXPECT_TRUE(all_of(next_through_array(), 10000, 'x')) << "the next value grows the buffer";
}

TEST_F(getdata_test, without_a_scratch_buffer_values_go_straight_to_their_destinations) {
    open("SELECT 'abcdefghijkl', 42, 'ok'");
    release_scratch_buffer();
    heap_fail_after(0);
    host_var text = host_var::text("", 8);
    host_var number = host_var::integer(0);
    host_var arr = host_var::array(3, 1);
    host_var vst = fetch_block();
    EXPECT_EQ(send(OP_FETCH, vst, {&text, &number, &arr}), ST_NOMEM) << "the text lost a character";
    EXPECT_EQ(text.bytes(8), std::string("abcdefg\0", 8)) << "the driver cuts it and ends it with a NUL";
    EXPECT_EQ(status_view{vst}.native(), 1);
    EXPECT_EQ(status_view{vst}.sqlstate(), "01004");
    EXPECT_EQ(number.putnums, std::vector<int64_t>{42});
    EXPECT_EQ(arr.bytes(3), std::string("ok\0", 3));
    EXPECT_EQ(getdata_buf, nullptr);
    heap_fail_after(-1);
    close_result();
    open("SELECT 'a'");
    EXPECT_EQ(next_through_array(), "a");
    EXPECT_EQ(getdata_size, 4096) << "the next read allocates it";
}

TEST_F(getdata_test, without_a_scratch_buffer_a_dynamic_array_gets_empty_texts_as_nomem) {
    open("SELECT 'abc', 'def'");
    release_scratch_buffer();
    heap_fail_after(0);
    host_var arr = host_var::dynamic_array();
    arr.elements = {"old", "old"};
    host_var ast = fetch_block(0.0, FETCH_ARRAY, 2);
    EXPECT_EQ(send(OP_FETCH, ast, {&arr}), ST_NOMEM);
    EXPECT_EQ(arr.elements, (std::vector<std::string>{"", ""}));
    EXPECT_EQ(status_view{ast}.native(), 2) << "the last column that could not be read";
    EXPECT_EQ(status_view{ast}.sqlstate().size(), 5u);
    EXPECT_EQ(status_view{ast}.result(), 2);
}

TEST_F(getdata_test, variable_whose_column_fails_is_counted_when_its_record_is_read) {
    open_table("a INTEGER, b VARCHAR(40), c INTEGER", "(1, 'two', 3)");
    release_scratch_buffer();
    heap_fail_after(0);
    host_var a = host_var::integer(0), c = host_var::integer(0);
    host_var b = host_var::text("keep", 10, true); // its sizing needs the value in the scratch buffer
    host_var vst = fetch_block();
    EXPECT_EQ(send(OP_FETCH, vst, {&a, &b, &c}), ST_NOMEM);
    EXPECT_EQ(status_view{vst}.native(), 2);
    EXPECT_EQ(status_view{vst}.sqlstate().size(), 5u);
    EXPECT_EQ(status_view{vst}.result(), 3) << "the driver left a record for column 2";
    EXPECT_EQ(a.putnums, std::vector<int64_t>{1});
    EXPECT_EQ(c.putnums, std::vector<int64_t>{3});
    EXPECT_TRUE(b.resizes.empty());
    EXPECT_EQ(b.text_value(), "keep");
}

} // namespace
