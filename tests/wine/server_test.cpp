// Through roridorezu.dll under Wine: the PostgreSQL server of the test
// command, reached through Wine's odbc32 and the same unix driver manager,
// with a form-3 scrambled password.
#include "support/lib.h"
#include "support/pg_messages.h"

#include "scramble.h"

namespace {

class wine_server : public library_test {
protected:
    int slot = 0;
    std::string user, password;
    void SetUp() override {
        library_test::SetUp();
        const odbc_env &env = test_odbc_env();
        if (env.servers.empty()) GTEST_SKIP() << "no database servers: run through scripts/test.sh";
        user = env.servers.at("RORI_DB_USER");
        password = env.servers.at("RORI_DB_PASSWORD");
        slot = take_slot();
    }
    int connect_pg(const std::string &pw, host_var &st) {
        connect_setting settings[] = {{"host", "pg", 0}, {"user", user.c_str(), 0}, {"pw", pw.c_str(), 3}};
        char text[512];
        EXPECT_EQ(scramble_connect(settings, 3, text, sizeof text), SCRAMBLE_OK);
        host_var var = host_var::text(text, 512);
        return send(OP_CONNECT, st, {&var});
    }
};

TEST_F(wine_server, scrambled_password_connects_and_a_query_arrives) {
    host_var st = status_block(slot);
    ASSERT_EQ(connect_pg(password, st), ST_OK) << status_view{st}.sqlstate();
    host_var sql = host_var::text("SELECT 6 * 7 AS answer, 'forty-two'::text AS words");
    EXPECT_EQ(send(OP_QUERY, st, {&sql}), ST_OK);
    host_var number = host_var::integer(0);
    host_var words = host_var::text("", 32);
    host_var fetch = status_block(slot);
    EXPECT_EQ(send(OP_FETCH, fetch, {&number, &words}), ST_OK);
    EXPECT_EQ(number.int_value(), 42);
    EXPECT_EQ(words.text_value(), "forty-two");
    EXPECT_EQ(status_view{fetch}.rowcount(), 1.0);
    EXPECT_EQ(send(OP_FETCH, fetch, {&number, &words}), ST_OK);
    EXPECT_EQ(status_view{fetch}.rowcount(), 0.0) << "end of data";
}

TEST_F(wine_server, wrong_password_is_refused_with_the_servers_state) {
    host_var st = status_block(slot);
    EXPECT_EQ(connect_pg(password + "x", st), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), "08001");
    host_var message = host_var::text("", 300);
    host_var err = status_block(slot);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_NE(message.text_value().find("password"), std::string::npos) << message.text_value();
    host_var again = status_block(slot);
    EXPECT_EQ(connect_pg(password, again), ST_OK) << "the slot stays usable";
}

TEST_F(wine_server, long_messages_and_notices_arrive_whole) {
    host_var st = status_block(slot);
    ASSERT_EQ(connect_pg(password, st), ST_OK) << status_view{st}.sqlstate();
    expect_whole_pg_messages(slot);
}

} // namespace
