// Through roridorezu.dll under Wine: a result described into field records
// and fetched in each of the three shapes (variable, array, line), with the
// row counter and the end of data.
#include <cstring>

#include "support/result_fixture.h"

namespace {

class wine_result : public result_test {
protected:
    void SetUp() override {
        result_test::SetUp();
        exec("CREATE TABLE items (id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, code VARCHAR(8) NOT NULL, "
             "price DOUBLE)");
        exec("INSERT INTO items (code, price) VALUES ('ann', 2.5), ('bob', NULL), ('carolina', -1.25)");
        open("SELECT id, code, price FROM items ORDER BY id");
    }
};

int32_t i32_at(const host_var &v, size_t off) {
    int32_t x;
    std::memcpy(&x, v.area.data() + off, sizeof x);
    return x;
}

TEST_F(wine_result, describe_fills_the_records_at_their_offsets) {
    host_var recs = host_var::raw(FIELD_REC_SIZE * 3);
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_DESCRIBE, st, {&recs}), ST_OK);
    EXPECT_EQ(status_view{st}.result(), 3);
    const struct {
        const char *name;
        int32_t width;
        int32_t flags;
        int32_t type_code;
    } expect[] = {{"id", 10, 0x201, 3}, {"code", 8, 0x1, 15}, {"price", 54, 0, 5}};
    for (size_t k = 0; k < 3; ++k) {
        const size_t rec = FIELD_REC_SIZE * k;
        SCOPED_TRACE(expect[k].name);
        EXPECT_EQ(recs.bytes(rec + FR_NAME + 32).substr(rec + FR_NAME),
                  std::string(expect[k].name) + std::string(32 - std::strlen(expect[k].name), '\0'));
        EXPECT_EQ(recs.bytes(rec + FR_TABLE_NAME + 6).substr(rec + FR_TABLE_NAME), std::string("items\0", 6));
        EXPECT_EQ(i32_at(recs, rec + FR_WIDTH), expect[k].width);
        EXPECT_EQ(i32_at(recs, rec + FR_FLAGS), expect[k].flags);
        EXPECT_EQ(i32_at(recs, rec + FR_TYPE_CODE), expect[k].type_code);
    }
}

// The binary flag marks the binary columns, whatever their type codes.
TEST_F(wine_result, binary_columns_carry_the_binary_flag) {
    close_result();
    exec("CREATE TABLE kinds (t TEXT, b BLOB, v VARBINARY(4), i TINYINT)");
    open("SELECT * FROM kinds");
    host_var recs = host_var::raw(FIELD_REC_SIZE * 4);
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_DESCRIBE, st, {&recs}), ST_OK);
    const int32_t flag[] = {0, FR_FLAG_BINARY, FR_FLAG_BINARY, 0};
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(i32_at(recs, FIELD_REC_SIZE * k + FR_FLAGS) & 0x80, flag[k]) << k;
}

TEST_F(wine_result, variable_form_converts_to_each_type_and_counts_rows) {
    host_var id = host_var::integer(0), code = host_var::text("", 16), price = host_var::real(0.0);
    EXPECT_EQ(fetch_into({&id, &code, &price}), ST_OK);
    EXPECT_EQ(id.int_value(), 1);
    EXPECT_EQ(code.text_value(), "ann");
    EXPECT_EQ(price.real_value(), 2.5);

    // The counter goes on from what the caller's block holds.
    host_var st = fetch_block();
    status_view{st}.set_rowcount(1.0);
    host_var filled = host_var::real(7.0);
    EXPECT_EQ(send(OP_FETCH, st, {&id, &code, &filled}), ST_OK);
    EXPECT_EQ(status_view{st}.rowcount(), 2.0);
    EXPECT_EQ(status_view{st}.result(), 3);
    EXPECT_EQ(code.text_value(), "bob");
    EXPECT_EQ(filled.real_value(), 7.0) << "a NULL leaves a float variable as it was";

    EXPECT_EQ(send(OP_FETCH, st, {&id, &code, &price}), ST_OK);
    EXPECT_EQ(code.text_value(), "carolina");
    EXPECT_EQ(price.real_value(), -1.25);
    EXPECT_EQ(send(OP_FETCH, st, {&id, &code, &price}), ST_OK);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0) << "end of data";
    EXPECT_EQ(status_view{st}.native(), 100);
}

TEST_F(wine_result, array_form_fixed_and_dynamic) {
    host_var fixed = host_var::array(6, 3);
    host_var st = fetch_block(0.0, FETCH_ARRAY, 3);
    EXPECT_EQ(send(OP_FETCH, st, {&fixed}), ST_OK);
    EXPECT_EQ(status_view{st}.result(), 3);
    EXPECT_EQ(fixed.bytes(18), std::string("1\0\0\0\0\0ann\0\0\0" "2.5\0\0\0", 18));

    host_var dynamic = host_var::dynamic_array();
    host_var next = fetch_block(0.0, FETCH_ARRAY, 3);
    EXPECT_EQ(send(OP_FETCH, next, {&dynamic}), ST_OK);
    EXPECT_EQ(dynamic.element(1), "2");
    EXPECT_EQ(dynamic.element(2), "bob");
    EXPECT_EQ(dynamic.element(3), "") << "NULL";
}

TEST_F(wine_result, line_form_pads_and_cuts_to_the_column_widths) {
    // Widths 10, 8 and 54: the third row, read by its number.
    host_var line = host_var::text("", 10 + 8 + 5);
    host_var st = fetch_block(3.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_OK);
    EXPECT_EQ(status_view{st}.rowcount(), 3.0);
    EXPECT_EQ(status_view{st}.result(), 3);
    EXPECT_EQ(line.bytes(23), std::string("3         carolina-1.2\0", 23));
}

} // namespace
