// Through roridorezu.dll under Wine: the environment brought up and down,
// connection slots taken and released, and a driver manager diagnostic
// read back with OP_GETERROR.
#include "support/lib.h"

namespace {

class wine_slots : public library_test {};

TEST_F(wine_slots, slots_are_taken_in_order_released_and_reused) {
    for (int expect = 1; expect <= 10; ++expect) EXPECT_EQ(take_slot(), expect);
    host_var full = status_block();
    EXPECT_EQ(send(OP_NEWCONN, full), ST_NOSLOT);

    host_var three = status_block(3);
    EXPECT_EQ(send(OP_DISCONNECT, three), ST_OK);
    EXPECT_EQ(send(OP_DISCONNECT, three), ST_BADCONN) << "second disconnect";
    EXPECT_EQ(take_slot(), 3) << "a freed slot is reused";
}

TEST_F(wine_slots, shutdown_ends_the_environment_and_init_brings_it_back) {
    int slot = connect_slot("demo");
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_SHUTDOWN, st), ST_OK);
    host_var after = status_block();
    EXPECT_EQ(send(OP_NEWCONN, after), ST_NOINIT);
    init_library();
    EXPECT_EQ(connect_slot("demo"), 1) << "every slot is free again";
}

TEST_F(wine_slots, missing_data_source_leaves_im002_and_geterror_gives_its_message) {
    int slot = take_slot();
    host_var st = status_block(slot);
    host_var text = host_var::text("-host=nosuchdsn", 64);
    EXPECT_EQ(send(OP_CONNECT, st, {&text}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), "IM002");

    host_var err = status_block(slot);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{err}.sqlstate(), "IM002");
    EXPECT_NE(message.text_value().find("Data source name not found"), std::string::npos)
        << message.text_value();
}

} // namespace
