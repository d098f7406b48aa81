// Through roridorezu.dll under Wine: statements executed on the SQLite
// data source, with their row counts and the driver's diagnostics.
#include "support/result_fixture.h"

namespace {

class wine_query : public result_test {
protected:
    // The row count of a statement that must succeed.
    double rows_of(const std::string &sql) {
        host_var st = status_block(slot);
        host_var text = host_var::text(sql);
        EXPECT_EQ(send(OP_QUERY, st, {&text}), ST_OK) << sql << ": " << status_view{st}.sqlstate();
        close_result();
        return status_view{st}.rowcount();
    }
};

TEST_F(wine_query, row_counts_of_changes) {
    EXPECT_EQ(rows_of("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)"), 0.0);
    EXPECT_EQ(rows_of("INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, NULL)"), 3.0);
    EXPECT_EQ(rows_of("UPDATE t SET v = 'z' WHERE id >= 2"), 2.0);
    EXPECT_EQ(rows_of("DELETE FROM t WHERE id = 999"), 0.0) << "no row matched";
}

TEST_F(wine_query, a_second_slot_sees_the_same_database) {
    exec("CREATE TABLE t (id INTEGER)");
    EXPECT_EQ(rows_of("INSERT INTO t VALUES (1), (2)"), 2.0);
    slot = connect_slot("demo");
    EXPECT_EQ(rows_of("UPDATE t SET id = id + 10"), 2.0);
}

TEST_F(wine_query, failed_statement_leaves_state_native_error_and_message) {
    host_var st = status_block(slot);
    host_var text = host_var::text("SELEC 1");
    EXPECT_EQ(send(OP_QUERY, st, {&text}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), "HY000");
    EXPECT_EQ(status_view{st}.native(), 1) << "SQLite's error number";

    host_var err = status_block(slot);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_NE(message.text_value().find("syntax error"), std::string::npos) << message.text_value();
}

} // namespace
