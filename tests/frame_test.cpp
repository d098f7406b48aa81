// Request frame: the preamble checks in their order, the status block reset
// rules, and the result of vizori.
#include "support/lib.h"

#include <cstring>

namespace {

class frame_test : public library_test {};

TEST(frame_no_env, short_status_block_is_left_untouched) {
    shutdown_library();
    host_var st = status_block(0, 47);
    st.fill(0xAB);
    EXPECT_EQ(send(OP_INIT, st), ST_BADARG);
    EXPECT_EQ(st.bytes(47), std::string(47, '\xAB'));
}

TEST(frame_no_env, every_opcode_but_init_needs_the_environment) {
    shutdown_library();
    for (int op = 0; op <= 24; ++op) {
        if (op == OP_INIT) continue;
        host_var st = status_block(1);
        EXPECT_EQ(send(op, st), ST_NOINIT) << "opcode " << op;
        EXPECT_EQ(status_view{st}.opcode(), op);
    }
}

TEST(frame_no_env, opcodes_outside_the_table_are_judged_on_32_bits) {
    shutdown_library();
    struct { int op; int16_t echo; } cases[] = {{25, 25}, {-1, -1}, {65537, 1}, {1000, 1000}};
    for (auto c : cases) {
        host_var st = status_block();
        EXPECT_EQ(send(c.op, st), ST_BADOP) << c.op;
        EXPECT_EQ(status_view{st}.opcode(), c.echo);
        EXPECT_EQ(status_view{st}.status(), ST_BADOP);
    }
}

TEST_F(frame_test, reset_rules_keep_native_for_geterror_and_rowcount_for_fetch) {
    host_var st = status_block();
    status_view v{st};
    // Fill the whole block, then send an opcode that fails in the preamble.
    st.fill(0x11);
    st.area.data()[SS_SLOT] = 0;
    EXPECT_EQ(send(9, st), ST_BADCONN);
    EXPECT_EQ(v.result(), 0);
    EXPECT_EQ(v.native(), 0);
    EXPECT_EQ(v.rowcount(), 0.0);
    EXPECT_EQ(v.sqlstate(), "");
    EXPECT_EQ(st.bytes(48).substr(42, 6), std::string(6, '\x11')) << "+42..47 are not the library's";
    EXPECT_EQ(st.area.data()[1], 0x11);
    EXPECT_EQ(v.subcode(), 0x1111);

    st.fill(0x22);
    st.area.data()[SS_SLOT] = 0;
    EXPECT_EQ(send(OP_FETCH, st), ST_BADCONN);
    EXPECT_EQ(st.bytes(36).substr(28, 8), std::string(8, '\x22')) << "+28 kept for OP_FETCH";
    EXPECT_EQ(v.native(), 0);

    st.fill(0x33);
    st.area.data()[SS_SLOT] = 0;
    EXPECT_EQ(send(OP_GETERROR, st, {}), ST_SQLERROR); // the environment holds no record
    EXPECT_EQ(st.bytes(24).substr(20, 4), std::string(4, '\x33')) << "+20 kept for OP_GETERROR";
    EXPECT_EQ(v.sqlstate(), "?");
    EXPECT_EQ(v.rowcount(), 0.0);
}

TEST_F(frame_test, unimplemented_opcodes_pass_the_slot_checks_first) {
    for (int op : {0, 5, 19, 24}) {
        host_var st = status_block(0);
        EXPECT_EQ(send(op, st), ST_BADCONN) << op;
    }
    int slot = take_slot();
    for (int op : {0, 5, 19, 20, 21, 22, 23, 24}) {
        host_var st = status_block(slot);
        EXPECT_EQ(send(op, st), ST_BADOP) << op;
    }
    for (int op : {5, 9, 12, 18}) {
        host_var st = status_block(11);
        EXPECT_EQ(send(op, st), ST_BADCONN) << op;
        host_var free_slot = status_block(slot + 1);
        EXPECT_EQ(send(op, free_slot), ST_BADCONN) << op;
    }
}

TEST_F(frame_test, slot_numbers_above_ten_name_no_slot_for_opcodes_0_to_4) {
    for (int n : {11, 200, 255}) {
        host_var st = status_block(n);
        EXPECT_EQ(send(0, st), ST_BADCONN);
        host_var text = host_var::text("", 64);
        EXPECT_EQ(send(OP_GETERROR, st, {&text}), ST_SQLERROR);
        EXPECT_EQ(status_view{st}.sqlstate(), "?");
        EXPECT_EQ(send(OP_NEWCONN, st), ST_OK);
        EXPECT_GE(status_view{st}.slot(), 1);
    }
    host_var st = status_block(77);
    EXPECT_EQ(send(OP_SHUTDOWN, st), ST_OK);
    host_var after = status_block();
    EXPECT_EQ(send(OP_NEWCONN, after), ST_NOINIT);
}

} // namespace
