// result_fixture.cpp - the fixture of the tests that read results.
#include "support/result_fixture.h"

#include "conn/slots.h"
#include "stmt/getdata.h"

void result_test::SetUp() {
    library_test::SetUp();
    slot = connect_slot("-host=demo");
}

void result_test::open(const std::string &sql) {
    host_var st = status_block(slot);
    host_var text = host_var::text(sql);
    ASSERT_EQ(send(OP_QUERY, st, {&text}), ST_OK) << sql << ": " << status_view{st}.sqlstate();
}

void result_test::close_result() {
    host_var st = status_block(slot);
    ASSERT_EQ(send(OP_FREESTMT, st), ST_OK);
}

void result_test::exec(const std::string &sql) {
    open(sql);
    close_result();
}

void result_test::open_table(const std::string &columns, const std::string &rows) {
    exec("CREATE TABLE t (" + columns + ")");
    exec("INSERT INTO t VALUES " + rows);
    open("SELECT * FROM t");
}

void result_test::refill_block(host_var &st, double row, int16_t flags, int32_t elements) {
    st.fill(0);
    status_view v{st};
    v.set_slot(static_cast<uint8_t>(slot));
    v.set_rowpos(row);
    v.set_subcode(flags);
    v.set_param_swapped(elements);
}

host_var result_test::fetch_block(double row, int16_t flags, int32_t elements) {
    host_var st = status_block(slot);
    refill_block(st, row, flags, elements);
    return st;
}

int result_test::fetch_into(std::vector<host_var *> vars) {
    host_var st = fetch_block();
    return send(OP_FETCH, st, vars);
}

std::string result_test::field_record(int k) {
    const conn_slot *s = slot_by_number(slot);
    return std::string(reinterpret_cast<const char *>(s->field_buf) + FIELD_REC_SIZE * k, FIELD_REC_SIZE);
}

std::string repeated_text_query(int n, char c) {
    return "SELECT printf('%.*c', " + std::to_string(n) + ", '" + std::string(1, c) + "')";
}

void release_scratch_buffer() { getdata_release(); }
