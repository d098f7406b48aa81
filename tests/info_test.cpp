// Information items (OP_INFO) through the SQLite data source, and
// version_number on version texts and on texts that are not versions.
#include "support/result_fixture.h"

#include <sql.h>
#include <sqlext.h>

#include <initializer_list>
#include <vector>

#include "info/info_items.h"

namespace {

// What one OP_INFO request left behind.
struct info_answer {
    int rc;
    std::string text; // argument 3, when there was one
    int32_t result;   // +24
    double rowcount;  // +28
    std::string state;
};

info_answer ask_info(int slot, int item, host_var *text) {
    host_var st = status_block(slot);
    status_view{st}.set_subcode(static_cast<int16_t>(item));
    std::vector<host_var *> operands;
    if (text != nullptr) operands.push_back(text);
    info_answer a;
    a.rc = send(OP_INFO, st, operands);
    a.text = text != nullptr ? text->text_value() : std::string();
    a.result = status_view{st}.result();
    a.rowcount = status_view{st}.rowcount();
    a.state = status_view{st}.sqlstate();
    return a;
}

// Argument 3 as a text variable that already holds something, so that a
// request which should not touch it shows when it does.
info_answer ask_info_text(int slot, int item, size_t size = 256) {
    host_var text = host_var::text("untouched", size);
    return ask_info(slot, item, &text);
}

// What the driver answers for an information type, asked on a connection of
// the test's own: the reference for items 1 to 3.
std::string driver_answer(SQLUSMALLINT info_type) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    std::string answer = "(no answer)";
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLRETURN rc = SQLConnect(dbc, reinterpret_cast<SQLCHAR *>(const_cast<char *>("demo")), SQL_NTS, nullptr, 0,
                              nullptr, 0);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        char buf[240] = "";
        SQLSMALLINT len = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(dbc, info_type, buf, sizeof buf, &len))) answer = buf;
        SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return answer;
}

class info_test : public result_test {};

TEST_F(info_test, library_items_answer_their_own_texts) {
    info_answer name = ask_info_text(slot, 7);
    EXPECT_EQ(name.rc, ST_OK);
    EXPECT_EQ(name.text, "RORIDOREZU");
    EXPECT_EQ(name.result, 0);

    host_var version_text = host_var::text("untouched", 64);
    host_var st = status_block(slot);
    status_view{st}.set_subcode(8);
    EXPECT_EQ(send(OP_INFO, st, {&version_text}), ST_OK);
    EXPECT_EQ(version_text.text_value(), "1.4.109.0");
    EXPECT_EQ(st.bytes(28).substr(SS_RESULT, 4), std::string("\x15\x00\x02\x61", 4)) << "1401090, word-swapped";

    info_answer interface = ask_info_text(slot, 9);
    EXPECT_EQ(interface.rc, ST_OK);
    EXPECT_EQ(interface.text, "ODBC");
    EXPECT_EQ(interface.result, 0);
}

TEST_F(info_test, driver_items_are_the_drivers_answers) {
    const SQLUSMALLINT info_types[] = {SQL_DRIVER_NAME, SQL_DBMS_VER, SQL_DRIVER_VER};
    std::vector<std::string> answers;
    for (int item = 1; item <= 3; ++item) {
        info_answer a = ask_info_text(slot, item);
        std::string expected = driver_answer(info_types[item - 1]);
        EXPECT_EQ(a.rc, ST_OK) << "item " << item;
        EXPECT_EQ(a.text, expected) << "item " << item;
        EXPECT_EQ(a.result, version_number(expected.c_str())) << "item " << item;
        EXPECT_EQ(a.state, "") << "item " << item;
        answers.push_back(a.text);
    }
    // Each item asked its own question.
    EXPECT_NE(answers[0], answers[1]);
    EXPECT_NE(answers[1], answers[2]);
    EXPECT_NE(answers[0], answers[2]);
}

TEST_F(info_test, items_with_a_text_need_argument_3_before_the_item_is_judged) {
    for (int item : {1, 2, 3, 4, 7, 8, 9, 0, 11, -1}) {
        info_answer a = ask_info(slot, item, nullptr);
        EXPECT_EQ(a.rc, ST_ARGS) << "item " << item;
        EXPECT_EQ(a.result, 0) << "item " << item;
    }
    for (int item : {0, 11, -1, 32767}) {
        info_answer a = ask_info_text(slot, item);
        EXPECT_EQ(a.rc, ST_BADARG) << "item " << item;
        EXPECT_EQ(a.text, "untouched") << "item " << item;
    }
}

TEST_F(info_test, item_4_is_unsupported_and_empties_argument_3) {
    info_answer a = ask_info_text(slot, 4);
    EXPECT_EQ(a.rc, ST_UNSUPPORTED);
    EXPECT_EQ(a.text, "");
}

TEST_F(info_test, statement_items_need_the_slots_statement) {
    for (int item : {5, 6, 10}) {
        info_answer a = ask_info(slot, item, nullptr);
        EXPECT_EQ(a.rc, ST_NOSTMT) << "item " << item;
    }
}

TEST_F(info_test, column_count_of_the_current_result_with_two_arguments) {
    open("SELECT 1, 2, 3, 4, 5, 6, 7");
    info_answer a = ask_info(slot, 5, nullptr);
    EXPECT_EQ(a.rc, ST_OK);
    EXPECT_EQ(a.result, 7);
}

TEST_F(info_test, row_count_items_6_and_10_report_the_last_statement) {
    exec("CREATE TABLE t(a INTEGER)");
    for (int i = 0; i < 12; ++i) exec("INSERT INTO t VALUES(" + std::to_string(i) + ")");
    open("UPDATE t SET a = a + 1");
    for (int item : {6, 10}) {
        info_answer a = ask_info(slot, item, nullptr);
        EXPECT_EQ(a.rc, ST_OK) << "item " << item;
        EXPECT_EQ(a.rowcount, 12.0) << "item " << item;
        EXPECT_EQ(a.result, 0) << "item " << item;
    }
    open("DELETE FROM t WHERE a > 10");
    EXPECT_EQ(ask_info(slot, 10, nullptr).rowcount, 2.0);
}

TEST_F(info_test, statement_items_on_a_closed_statement_fail_with_the_message) {
    open("SELECT 1, 2");
    close_result();
    info_answer columns = ask_info_text(slot, 5);
    EXPECT_EQ(columns.rc, ST_SQLERROR);
    EXPECT_EQ(columns.result, 0);
    EXPECT_EQ(columns.state, "HY010");
    EXPECT_NE(columns.text.find("Function sequence error"), std::string::npos) << columns.text;

    for (int item : {6, 10}) {
        host_var st = status_block(slot);
        status_view{st}.set_subcode(static_cast<int16_t>(item));
        status_view{st}.set_rowcount(99.0);
        host_var text = host_var::text("untouched", 256);
        EXPECT_EQ(send(OP_INFO, st, {&text}), ST_SQLERROR) << "item " << item;
        EXPECT_EQ(status_view{st}.rowcount(), 0.0) << "item " << item;
        EXPECT_EQ(status_view{st}.sqlstate(), "HY010") << "item " << item;
        EXPECT_NE(text.text_value().find("Function sequence error"), std::string::npos) << text.text_value();

        info_answer two_args = ask_info(slot, item, nullptr);
        EXPECT_EQ(two_args.rc, ST_SQLERROR) << "item " << item;
        EXPECT_EQ(two_args.state, "HY010") << "item " << item;
    }
}

// A slot whose connection handle never connected: the driver manager refuses
// every SQLGetInfo with 08003.
TEST_F(info_test, failed_driver_item_is_an_error_carrying_the_message) {
    int unconnected = take_slot();
    for (int item = 1; item <= 3; ++item) {
        info_answer a = ask_info_text(unconnected, item);
        EXPECT_EQ(a.rc, ST_SQLERROR) << "item " << item;
        EXPECT_EQ(a.state, "08003") << "item " << item;
        EXPECT_EQ(a.result, 0) << "item " << item;
        EXPECT_NE(a.text.find("Connection not open"), std::string::npos) << a.text;
    }
}

TEST_F(info_test, failure_message_is_cut_to_argument_3s_size) {
    int unconnected = take_slot();
    info_answer whole = ask_info_text(unconnected, 1);
    ASSERT_GT(whole.text.size(), 8u);

    host_var small = host_var::text("", 8);
    info_answer cut = ask_info(unconnected, 1, &small);
    EXPECT_EQ(cut.rc, ST_SQLERROR);
    EXPECT_EQ(cut.text, whole.text.substr(0, 7));

    // A variable whose descriptor gives no room receives nothing (the send
    // checks the guard bytes around its 16-byte area).
    for (int32_t size : {0, -1}) {
        host_var none = host_var::text("untouched", 16);
        none.declared_size = size;
        none.putstr_result = 1; // the host stores nothing either
        info_answer nothing = ask_info(unconnected, 1, &none);
        EXPECT_EQ(nothing.rc, ST_SQLERROR) << "size " << size;
        EXPECT_EQ(nothing.state, "08003") << "size " << size;
        EXPECT_EQ(nothing.text, "untouched") << "size " << size;
    }
}

// --- version_number -------------------------------------------------------

// The text in a heap block of exactly its length and NUL, so that a read
// past its end is a read outside the block (seen by the sanitizer build).
int32_t version_of(const std::string &text) {
    std::vector<char> exact(text.begin(), text.end());
    exact.push_back('\0');
    return version_number(exact.data());
}

struct version_case {
    const char *text;
    int32_t number;
};

void expect_versions(std::initializer_list<version_case> cases) {
    for (const version_case &c : cases) EXPECT_EQ(version_of(c.text), c.number) << '"' << c.text << '"';
}

TEST(version_number, odbc_version_texts) {
    expect_versions({{"03.51.0012", 3005112},
                     {"03.80.0000", 3008000},
                     {"10.05.0123", 10000623},
                     {"99.99.9999", 99019899},
                     {"01.04.0109 beta", 1000509}});
}

TEST(version_number, third_character_not_a_point_gives_0) {
    expect_versions({{"5.7.30", 0},
                     {"3.39.3", 0},
                     {"0.9998", 0},
                     {"sqlite3odbc.so", 0},
                     {"123.45.6789", 0},
                     {"", 0},
                     {"1", 0},
                     {"12", 0}});
}

TEST(version_number, short_texts_give_the_parts_they_have) {
    expect_versions({{"10.", 10000000}, {"10.5", 10000500}, {"10.05.", 10000500}, {"10.05.7", 10000507}});
}

TEST(version_number, parts_are_read_as_atoi_reads_them) {
    expect_versions({{"ab.cd.efgh", 0},
                     {"1a.2b.3c", 1000203},
                     {" 1. 2. 3", 1000203},
                     {"-1.00.0000", -1000000},
                     {"02.-1.0005", 1999905}});
}

} // namespace
