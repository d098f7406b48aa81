// Through roridorezu.dll under Wine: a host service that calls the library
// again before it returns gets ST_BUSY and nothing else, and the running
// call ends as it would have without it.
#include "support/lib.h"
#include "support/nested_call.h"

namespace {

class wine_reentry : public library_test {};

// The nested call would end the slot and free the scratch buffer that the
// running fetch copies from once HS_RESIZE returns.
TEST_F(wine_reentry, a_call_from_inside_hs_resize_is_refused_and_the_fetch_ends_right) {
    int slot = connect_slot("demo");
    host_var q = status_block(slot);
    host_var sql = host_var::text("SELECT printf('%.*c', 50000, 'w')");
    ASSERT_EQ(send(OP_QUERY, q, {&sql}), ST_OK);

    nested_probe probe{HS_RESIZE, -1, slot, OP_SHUTDOWN};
    host_var op = host_var::integer(OP_FETCH);
    host_var st = status_block(slot);
    host_var value = host_var::text("", 8, true);
    host_call call(op, st, {&value});
    call_back_in_during(call, probe);
    EXPECT_EQ(call.run(test_entry()), ST_OK);
    EXPECT_TRUE(call.guards_intact());
    EXPECT_TRUE(value.text_value() == std::string(50000, 'w')) << value.text_value().size() << " bytes fetched";
    EXPECT_EQ(probe.calls, 1);
    EXPECT_EQ(probe.rc, ST_BUSY);
    EXPECT_TRUE(probe.status_untouched);
    EXPECT_EQ(probe.services_used, 0);

    host_var next = status_block(slot);
    host_var again = host_var::text("", 8, true);
    EXPECT_EQ(send(OP_FETCH, next, {&again}), ST_OK) << "the slot is still connected";
    EXPECT_EQ(status_view{next}.rowcount(), 0.0) << "past the last row";
}

} // namespace
