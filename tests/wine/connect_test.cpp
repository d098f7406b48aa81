// Through roridorezu.dll under Wine: the connect request with clear and
// scrambled values, each of which must reach the "demo" data source.
#include "support/lib.h"

#include "scramble.h"

namespace {

class wine_connect : public library_test {
protected:
    // OP_CONNECT on a fresh slot; the caller's variable must stay as it was.
    int connect(const std::string &text) {
        int slot = take_slot();
        host_var st = status_block(slot);
        host_var var = host_var::text(text, text.size() + 1);
        int rc = send(OP_CONNECT, st, {&var});
        EXPECT_EQ(var.bytes(var.area.size()), std::string(text.c_str(), text.size() + 1))
            << "the caller's variable changed";
        return rc;
    }
};

TEST_F(wine_connect, clear_values) {
    EXPECT_EQ(connect("demo"), ST_OK) << "a text without '=' is the data source name";
    EXPECT_EQ(connect("-host=demo -user=ann -pw=secret"), ST_OK);
    EXPECT_EQ(connect("-host=second"), ST_OK) << "the system data source";
}

TEST_F(wine_connect, scrambled_values_in_every_form) {
    for (int form = 1; form <= 3; ++form) {
        // A name that fails to decode names no data source and is refused.
        connect_setting settings[] = {{"host", "demo", form}, {"user", "ann", form}, {"pw", "s3cret", 3}};
        char text[512];
        ASSERT_EQ(scramble_connect(settings, 3, text, sizeof text), SCRAMBLE_OK) << form;
        EXPECT_EQ(connect(text), ST_OK) << "form " << form;
    }
}

} // namespace
