// OP_FETCH: the row counter over sequential and absolute fetches, the end
// of data, failed fetches, and the array and line forms.
#include <cstring>

#include "host/heap.h"
#include "support/result_fixture.h"

namespace {

class fetch_test : public result_test {
protected:
    // Rows 1..10 with id and its text.
    void ten_rows() {
        exec("CREATE TABLE nums (id INTEGER, name VARCHAR(10))");
        exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10) "
             "INSERT INTO nums SELECT i, 'row' || i FROM n");
        open("SELECT id, name FROM nums ORDER BY id");
    }
    // Fetches with status block st into one integer variable; returns the id read.
    int64_t fetch_id(host_var &st) {
        host_var id = host_var::integer(-99);
        host_var name = host_var::text("", 16);
        EXPECT_EQ(send(OP_FETCH, st, {&id, &name}), ST_OK) << status_view{st}.sqlstate();
        return id.int_value();
    }
};

TEST_F(fetch_test, sequential_fetches_count_up_from_the_callers_counter) {
    ten_rows();
    host_var st = fetch_block();
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(fetch_id(st), row);
        EXPECT_EQ(status_view{st}.rowcount(), row);
        EXPECT_EQ(status_view{st}.result(), 2);
    }
    status_view{st}.set_rowcount(41.0);
    EXPECT_EQ(fetch_id(st), 4);
    EXPECT_EQ(status_view{st}.rowcount(), 42.0) << "the counter is the caller's";
}

TEST_F(fetch_test, absolute_fetch_truncates_the_row_and_keeps_the_callers_number) {
    ten_rows();
    host_var st = fetch_block(7.9);
    EXPECT_EQ(fetch_id(st), 7);
    EXPECT_EQ(status_view{st}.rowcount(), 7.9);
    status_view{st}.set_rowpos(0.0);
    EXPECT_EQ(fetch_id(st), 8);
    EXPECT_EQ(status_view{st}.rowcount(), 8.9);
    status_view{st}.set_rowpos(2.0);
    EXPECT_EQ(fetch_id(st), 2) << "backwards";
    EXPECT_EQ(status_view{st}.rowcount(), 2.0);
}

TEST_F(fetch_test, end_of_data_is_ok_with_counter_0_and_code_100) {
    ten_rows();
    host_var st = fetch_block(10.0);
    EXPECT_EQ(fetch_id(st), 10);
    status_view{st}.set_rowpos(0.0);
    host_var id = host_var::integer(-99);
    EXPECT_EQ(send(OP_FETCH, st, {&id}), ST_OK);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0);
    EXPECT_EQ(status_view{st}.native(), 100);
    EXPECT_EQ(st.bytes(SS_NATIVE + 4).substr(SS_NATIVE), std::string("\0\0\x64\0", 4));
    EXPECT_EQ(status_view{st}.sqlstate(), "?");
    EXPECT_EQ(status_view{st}.result(), 0);
    EXPECT_EQ(id.int_value(), -99) << "no row, nothing delivered";
    EXPECT_TRUE(id.putnums.empty());

    host_var far = fetch_block(99.0);
    status_view{far}.set_rowcount(5.0);
    EXPECT_EQ(send(OP_FETCH, far, {&id}), ST_OK) << "an absolute row past the end";
    EXPECT_EQ(status_view{far}.rowcount(), 0.0);
    EXPECT_EQ(status_view{far}.native(), 100);
}

TEST_F(fetch_test, fetch_without_a_result_fails_and_keeps_the_counter) {
    exec("CREATE TABLE t (x INTEGER)");
    open("INSERT INTO t VALUES (1)");
    host_var st = fetch_block();
    status_view{st}.set_rowcount(4.0);
    host_var x = host_var::integer(-99);
    EXPECT_EQ(send(OP_FETCH, st, {&x}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.rowcount(), 4.0);
    // The SQLite driver leaves no diagnostic record here: "?" and SQL_ERROR.
    EXPECT_FALSE(status_view{st}.sqlstate().empty());
    EXPECT_NE(status_view{st}.native(), 0);
    EXPECT_EQ(x.int_value(), -99);
}

TEST_F(fetch_test, argument_and_statement_checks) {
    host_var x = host_var::integer(0);
    host_var st = fetch_block();
    EXPECT_EQ(send(OP_FETCH, st, {&x}), ST_NOSTMT) << "no statement yet";
    open("SELECT 1");
    EXPECT_EQ(send(OP_FETCH, st, {&x}, 2), ST_ARGS);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0);
    EXPECT_EQ(send(OP_FETCH, st, {&x}), ST_OK) << "the row is still there";
    EXPECT_EQ(x.putnums, std::vector<int64_t>{1});
}

TEST_F(fetch_test, no_heap_use_per_row_in_any_form) {
    ten_rows();
    host_var first = fetch_block();
    EXPECT_EQ(fetch_id(first), 1);
    unsigned long before = heap_request_count();
    host_var st = fetch_block();
    fetch_id(st);
    host_var line = host_var::text("", 8, true);
    host_var line_st = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, line_st, {&line}), ST_OK);
    host_var arr = host_var::dynamic_array();
    host_var arr_st = fetch_block(0.0, FETCH_ARRAY, 2);
    EXPECT_EQ(send(OP_FETCH, arr_st, {&arr}), ST_OK);
    EXPECT_EQ(arr.element(2), "row4");
    EXPECT_EQ(heap_request_count(), before);
}

// --- array form --------------------------------------------------------------

class array_fetch_test : public result_test {
protected:
    void SetUp() override {
        result_test::SetUp();
        open("SELECT 'abcd', 'abcdefghijkl', NULL, '', 'e'");
    }
    // Nine elements of 10 bytes, all 0xEE.
    static host_var marked_array() {
        host_var arr = host_var::array(10, 9);
        arr.fill(0xEE);
        return arr;
    }
};

TEST_F(array_fetch_test, element_count_is_the_smaller_of_columns_and_plus4) {
    host_var arr = marked_array();
    host_var st = fetch_block(0.0, FETCH_ARRAY, 3);
    EXPECT_EQ(send(OP_FETCH, st, {&arr}), ST_OK);
    EXPECT_EQ(status_view{st}.result(), 3);
    EXPECT_EQ(arr.bytes(30), std::string("abcd\0\0\0\0\0\0abcdefghij", 20) + std::string(10, '\0'));
    EXPECT_EQ(arr.bytes(90).substr(30), std::string(60, '\xEE')) << "elements beyond +4 untouched";
}

TEST_F(array_fetch_test, plus4_of_0_fills_nothing_and_more_than_columns_fills_all) {
    host_var arr = marked_array();
    host_var none = fetch_block(1.0, FETCH_ARRAY, 0);
    EXPECT_EQ(send(OP_FETCH, none, {&arr}), ST_OK);
    EXPECT_EQ(status_view{none}.result(), 0);
    EXPECT_EQ(arr.bytes(90), std::string(90, '\xEE'));
    host_var all = fetch_block(1.0, FETCH_ARRAY, 9);
    EXPECT_EQ(send(OP_FETCH, all, {&arr}), ST_OK);
    EXPECT_EQ(status_view{all}.result(), 5);
    EXPECT_EQ(arr.element(5), "e");
    EXPECT_EQ(arr.bytes(90).substr(50), std::string(40, '\xEE'));
}

TEST_F(array_fetch_test, dynamic_array_gets_each_value_with_null_and_empty_as_empty_text) {
    host_var arr = host_var::dynamic_array();
    arr.elements = {"old", "old", "old", "old", "old"};
    host_var st = fetch_block(0.0, FETCH_ARRAY, 5);
    EXPECT_EQ(send(OP_FETCH, st, {&arr}), ST_OK);
    EXPECT_EQ(arr.elements, (std::vector<std::string>{"abcd", "abcdefghijkl", "", "", "e"}));
    EXPECT_EQ(status_view{st}.result(), 5);
}

TEST_F(array_fetch_test, argument_that_is_no_array_is_refused_after_the_row_is_fetched) {
    host_var text = host_var::text("keep", 10);
    host_var st = fetch_block(0.0, FETCH_ARRAY, 5);
    EXPECT_EQ(send(OP_FETCH, st, {&text}), ST_BADARG);
    EXPECT_EQ(status_view{st}.rowcount(), 1.0);
    EXPECT_EQ(status_view{st}.result(), 0);
    EXPECT_EQ(text.text_value(), "keep");
}

TEST_F(array_fetch_test, refused_store_is_nomem_and_the_other_columns_are_still_offered) {
    host_var arr = host_var::dynamic_array();
    arr.putstr_result = 1;
    host_var st = fetch_block(0.0, FETCH_ARRAY, 5);
    sent s = send_traced(OP_FETCH, st, {&arr});
    EXPECT_EQ(s.rc, ST_NOMEM);
    EXPECT_EQ(s.service_calls[HS_PUTSTR], 5);
    EXPECT_EQ(status_view{st}.result(), 5);
}

// --- line form ---------------------------------------------------------------

class line_fetch_test : public result_test {
protected:
    // A line-form fetch of row 1 into `line`; returns the status.
    int fetch_line(host_var &line, int16_t flags = FETCH_LINE) {
        refill_block(st, 1.0, flags);
        return send(OP_FETCH, st, {&line});
    }
    host_var st = status_block();
};

TEST_F(line_fetch_test, values_are_padded_and_cut_to_their_widths) {
    open_table("a VARCHAR(5), b VARCHAR(3), c VARCHAR(2)", "('ab', 'wxyz', NULL)");
    host_var line = host_var::text("", 20);
    line.fill(0xEE);
    EXPECT_EQ(fetch_line(line), ST_OK);
    EXPECT_EQ(line.bytes(11), std::string("ab   wxy  \0", 11));
    EXPECT_EQ(line.bytes(20).substr(11), std::string(9, '\0')) << "the rest of the variable is cleared";
    EXPECT_EQ(status_view{st}.result(), 3);
}

TEST_F(line_fetch_test, line_ends_when_the_room_is_used) {
    open_table("a VARCHAR(4), b VARCHAR(4), c VARCHAR(4)", "('abcd', 'efgh', 'ijkl')");
    host_var line = host_var::text("", 6);
    EXPECT_EQ(fetch_line(line), ST_OK);
    EXPECT_EQ(line.bytes(6), std::string("abcde\0", 6));
    EXPECT_EQ(status_view{st}.result(), 2);
    host_var one = host_var::text("zz", 1);
    EXPECT_EQ(fetch_line(one), ST_OK);
    EXPECT_EQ(one.bytes(1), std::string("\0", 1));
    EXPECT_EQ(status_view{st}.result(), 1);
}

TEST_F(line_fetch_test, empty_variable_receives_nothing) {
    open("SELECT 'abc'");
    host_var none = host_var::raw(0, HV_TEXT);
    EXPECT_EQ(fetch_line(none), ST_OK); // the guard bytes on both sides are checked
    EXPECT_EQ(status_view{st}.result(), 0);
}

TEST_F(line_fetch_test, dynamic_line_grows_once_to_the_sum_of_widths_and_one) {
    open_table("a VARCHAR(4), b VARCHAR(4)", "('abcd', 'ef')");
    host_var line = host_var::text("", 6, true);
    EXPECT_EQ(fetch_line(line), ST_OK);
    EXPECT_EQ(line.resizes, std::vector<size_t>{9});
    EXPECT_EQ(line.bytes(9), std::string("abcdef  \0", 9));
    EXPECT_EQ(status_view{st}.result(), 2);
    host_var roomy = host_var::text("", 9, true);
    EXPECT_EQ(fetch_line(roomy), ST_OK);
    EXPECT_TRUE(roomy.resizes.empty()) << "a line that fits is not grown";
}

TEST_F(line_fetch_test, refused_growth_cuts_the_line_to_the_old_area) {
    open_table("a VARCHAR(4), b VARCHAR(4)", "('abcd', 'efgh')");
    host_var line = host_var::text("", 6, true);
    line.resize_result = 1;
    EXPECT_EQ(fetch_line(line), ST_OK);
    EXPECT_EQ(line.bytes(6), std::string("abcde\0", 6));
}

TEST_F(line_fetch_test, flags_4_and_8_are_refused_after_clearing_the_line) {
    open("SELECT 'abc'");
    for (int16_t flags : {FETCH_LINE | 4, FETCH_LINE | 8}) {
        host_var line = host_var::text("leftover", 12);
        EXPECT_EQ(fetch_line(line, flags), ST_UNSUPPORTED) << flags;
        EXPECT_EQ(line.bytes(12), std::string(12, '\0'));
        EXPECT_EQ(status_view{st}.rowcount(), 1.0);
        EXPECT_EQ(status_view{st}.result(), 0);
    }
}

TEST_F(line_fetch_test, columns_beyond_the_records_take_no_room) {
    std::string sql = "SELECT 'a'";
    for (int k = 2; k <= 33; ++k) sql += ", '" + std::string(1, static_cast<char>('a' + (k - 1) % 26)) + "'";
    open(sql);
    // Expressions are 255 wide for SQLite; records 1..31 give the line.
    host_var line = host_var::text("", 31 * 255 + 100);
    EXPECT_EQ(fetch_line(line), ST_OK);
    EXPECT_EQ(line.text_value().size(), 31u * 255u);
    EXPECT_EQ(line.text_value().substr(30 * 255, 2), "e ");
    EXPECT_EQ(status_view{st}.result(), 33);
}

} // namespace
