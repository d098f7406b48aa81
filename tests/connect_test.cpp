// The connect request through the real driver manager: the keyword grammar
// (observed through which data source is reached), scrambled values, the
// caller's variable left as it was, and retries with the same variable.
#include "support/lib.h"

#include "host/heap.h"
#include "scramble.h"

namespace {

class connect_test : public library_test {
protected:
    int slot = 0;
    void SetUp() override {
        library_test::SetUp();
        slot = take_slot();
    }
    void TearDown() override {
        heap_fail_after(-1);
        library_test::TearDown();
    }
    // Sends OP_CONNECT with `text` in a variable of `size` bytes (0: fits).
    int connect(const std::string &text, host_var &st, size_t size = 0) {
        host_var var = host_var::text(text, size ? size : text.size() + 1);
        std::string before = var.bytes(var.area.size());
        int rc = send(OP_CONNECT, st, {&var});
        EXPECT_EQ(var.bytes(var.area.size()), before) << "the caller's variable changed";
        return rc;
    }
    int connect(const std::string &text) {
        host_var st = status_block(slot);
        return connect(text, st);
    }
    void disconnect_and_retake() {
        host_var st = status_block(slot);
        send(OP_DISCONNECT, st);
        slot = take_slot();
    }
};

TEST_F(connect_test, data_source_from_host_or_from_the_text_start) {
    EXPECT_EQ(connect("demo"), ST_OK) << "a text without '=' is the data source name";
    disconnect_and_retake();
    EXPECT_EQ(connect("-host=demo -user=ann"), ST_OK);
    disconnect_and_retake();
    EXPECT_EQ(connect("-host=demo -user=ann   "), ST_OK) << "trailing spaces dropped";
    disconnect_and_retake();
    EXPECT_EQ(connect("-host=nosuch -host=demo"), ST_OK) << "the last occurrence counts";
    disconnect_and_retake();
    EXPECT_EQ(connect("-host=demo -db=orders -port=99 -flags=1 -sockfile=/x -pw=a=b"), ST_OK);
}

TEST_F(connect_test, texts_that_name_the_text_before_the_first_equals_sign) {
    // No host value: the data source name is the text before the first "=",
    // which no configuration declares, so the driver manager refuses it.
    for (const char *text : {"-user=ann -db=orders -port=99 -flags=1", "-host= -user=ann"}) {
        host_var st = status_block(slot);
        EXPECT_EQ(connect(text, st), ST_SQLERROR) << text;
        EXPECT_EQ(status_view{st}.sqlstate(), "IM002") << text;
    }
}

TEST_F(connect_test, unknown_keys_stop_parsing_but_still_connect) {
    host_var st = status_block(slot);
    EXPECT_EQ(connect("-host=demo  -user=ann", st), ST_BADKEYWORD) << "two spaces: key ' -user'";
    disconnect_and_retake();
    host_var st2 = status_block(slot);
    EXPECT_EQ(connect("host=demo", st2), ST_SQLERROR) << "key 'ost', data source 'host'";
    EXPECT_EQ(status_view{st2}.sqlstate(), "IM002");
    host_var st3 = status_block(slot);
    EXPECT_EQ(connect("-Host=demo", st3), ST_SQLERROR) << "keywords are case-sensitive";
    host_var st4 = status_block(slot);
    EXPECT_EQ(connect("-hostname=demo", st4), ST_SQLERROR) << "a key that only begins with a keyword";
}

TEST_F(connect_test, argument_checks_and_unterminated_text) {
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_CONNECT, st, {}), ST_ARGS);
    host_var empty = host_var::raw(0, HV_TEXT);
    EXPECT_EQ(send(OP_CONNECT, st, {&empty}), ST_BADARG);
    EXPECT_EQ(status_view{st}.sqlstate(), "");
    // A text that fills its area without a NUL is taken whole.
    EXPECT_EQ(connect("-host=demo", st, 10), ST_OK);
}

TEST_F(connect_test, no_memory_for_the_private_copy) {
    heap_fail_nth(1);
    EXPECT_EQ(connect("-host=demo"), ST_NOMEM);
    EXPECT_EQ(connect("-host=demo"), ST_OK);
}

TEST_F(connect_test, retry_with_the_same_variable_reaches_the_same_source) {
    host_var var = host_var::text("-host=nosuch -user=ann", 64);
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_CONNECT, st, {&var}), ST_SQLERROR);
    EXPECT_EQ(send(OP_CONNECT, st, {&var}), ST_SQLERROR);
    host_var msg = host_var::text("", 300);
    host_var err = status_block(slot);
    send(OP_GETERROR, err, {&msg});
    EXPECT_EQ(status_view{err}.sqlstate(), "IM002");
    var.set_text("-host=demo -user=ann");
    EXPECT_EQ(send(OP_CONNECT, st, {&var}), ST_OK);
    EXPECT_EQ(var.text_value(), "-host=demo -user=ann");
}

TEST_F(connect_test, scrambled_values_in_every_form) {
    for (int form = 1; form <= 3; ++form) {
        connect_setting settings[] = {{"host", "demo", form}, {"user", "ann", form}, {"pw", "s3cret -x", 3}};
        char text[512];
        ASSERT_EQ(scramble_connect(settings, 3, text, sizeof text), SCRAMBLE_OK) << form;
        EXPECT_EQ(connect(text), ST_OK) << "form " << form;
        disconnect_and_retake();
    }
    // A form-3 name one character short stays scrambled: 68 bytes are too
    // long for a data source name, and the driver manager says so.
    char value[SCRAMBLE_FORM3_SIZE];
    ASSERT_EQ(scramble_value(3, "demo", 4, nullptr, value, sizeof value), SCRAMBLE_OK);
    value[68] = '\0';
    host_var st = status_block(slot);
    EXPECT_EQ(connect(std::string("-host=") + value, st), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), "HY090");
}

} // namespace
