// Environment and slots: OP_INIT, OP_NEWCONN, OP_DISCONNECT, OP_SHUTDOWN,
// and the diagnostics step and OP_GETERROR through real driver manager calls.
#include "support/lib.h"

#include <cstring>

#include "host/heap.h"

namespace {

class slots_test : public library_test {};

TEST_F(slots_test, ten_slots_in_order_then_no_slot) {
    for (int expect = 1; expect <= 10; ++expect) {
        host_var st = status_block();
        EXPECT_EQ(send(OP_NEWCONN, st), ST_OK);
        EXPECT_EQ(status_view{st}.slot(), expect);
        EXPECT_EQ(status_view{st}.result(), 0);
        EXPECT_EQ(status_view{st}.rowcount(), 0.0);
    }
    host_var st = status_block(4);
    EXPECT_EQ(send(OP_NEWCONN, st), ST_NOSLOT);
    EXPECT_EQ(status_view{st}.slot(), 0);
    host_var ten = status_block(10);
    host_var text = host_var::text("", 64);
    EXPECT_EQ(send(OP_GETERROR, ten, {&text}), ST_SQLERROR) << "slot 10 still holds its connection";

    host_var three = status_block(3);
    EXPECT_EQ(send(OP_DISCONNECT, three), ST_OK);
    EXPECT_EQ(status_view{three}.slot(), 3);
    EXPECT_EQ(send(OP_DISCONNECT, three), ST_BADCONN) << "second disconnect";
    host_var again = status_block();
    EXPECT_EQ(send(OP_NEWCONN, again), ST_OK);
    EXPECT_EQ(status_view{again}.slot(), 3) << "a freed slot is reused";
}

TEST_F(slots_test, init_twice_keeps_slots) {
    int slot = connect_slot("demo");
    host_var st = status_block();
    EXPECT_EQ(send(OP_INIT, st), ST_OK);
    host_var q = status_block(slot);
    host_var text = host_var::text("", 64);
    EXPECT_EQ(send(OP_GETERROR, q, {&text}), ST_SQLERROR);
    host_var next = status_block();
    EXPECT_EQ(send(OP_NEWCONN, next), ST_OK);
    EXPECT_EQ(status_view{next}.slot(), slot + 1);
}

TEST_F(slots_test, shutdown_releases_every_slot_and_init_finds_them_free) {
    int a = connect_slot("demo");
    int b = connect_slot("second");
    EXPECT_EQ(b, a + 1);
    host_var st = status_block(0);
    EXPECT_EQ(send(OP_SHUTDOWN, st), ST_OK);
    for (int op = 0; op <= 24; ++op) {
        if (op == OP_INIT) continue;
        host_var s = status_block(a);
        EXPECT_EQ(send(op, s), ST_NOINIT) << op;
    }
    init_library();
    host_var n = status_block();
    EXPECT_EQ(send(OP_NEWCONN, n), ST_OK);
    EXPECT_EQ(status_view{n}.slot(), 1);
}

TEST_F(slots_test, shutdown_naming_a_connected_slot_disconnects_it) {
    int slot = connect_slot("demo");
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_SHUTDOWN, st), ST_OK);
    init_library();
    EXPECT_EQ(connect_slot("demo"), 1) << "the environment came back and the slot is free";
}

TEST_F(slots_test, failed_connect_leaves_sqlstate_and_geterror_returns_its_message) {
    int slot = take_slot();
    host_var st = status_block(slot);
    host_var text = host_var::text("-host=nosuchdsn", 64);
    EXPECT_EQ(send(OP_CONNECT, st, {&text}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), "IM002");
    host_var err = status_block(slot);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{err}.sqlstate(), "IM002");
    EXPECT_NE(message.text_value().find("Data source name not found"), std::string::npos) << message.text_value();
}

TEST_F(slots_test, geterror_without_a_record_leaves_the_variable_and_native) {
    host_var st = status_block(0);
    status_view{st}.set_native_raw(0x12345678);
    host_var message = host_var::text("unchanged", 64);
    EXPECT_EQ(send(OP_GETERROR, st, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), "?");
    EXPECT_EQ(message.text_value(), "unchanged");
    uint32_t raw;
    std::memcpy(&raw, st.area.data() + SS_NATIVE, 4);
    EXPECT_EQ(raw, 0x12345678u);
}

} // namespace

namespace {

class slots_heap_test : public library_test {
protected:
    void TearDown() override {
        heap_fail_after(-1);
        library_test::TearDown();
    }
};

TEST_F(slots_heap_test, newconn_without_field_buffer_memory_leaves_the_slot_free) {
    heap_fail_nth(1);
    host_var st = status_block(0);
    st.area.data()[SS_SLOT] = 9;
    EXPECT_EQ(send(OP_NEWCONN, st), ST_NOMEM);
    EXPECT_EQ(status_view{st}.slot(), 0);
    EXPECT_EQ(take_slot(), 1) << "the slot stayed free";
    EXPECT_EQ(connect_slot("demo"), 2);
}

TEST_F(slots_heap_test, field_buffers_are_reused_until_shutdown) {
    unsigned long before = heap_request_count();
    int slot = take_slot();
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_DISCONNECT, st), ST_OK);
    EXPECT_EQ(take_slot(), slot);
    EXPECT_EQ(heap_request_count() - before, 1u) << "one buffer for both OP_NEWCONN";
}

TEST_F(slots_test, diagnostics_step_keeps_native_error_of_the_record) {
    int slot = connect_slot("demo");
    host_var st = status_block(slot);
    host_var text = host_var::text("SELEC 1", 16);
    EXPECT_EQ(send(OP_QUERY, st, {&text}), ST_SQLERROR);
    // The driver's record carries SQLite's own error number, not the return code.
    EXPECT_EQ(status_view{st}.native(), 1);
    EXPECT_EQ(status_view{st}.sqlstate(), "HY000");
}

} // namespace
