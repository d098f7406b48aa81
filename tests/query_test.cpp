// Statement execution: row counts, SHOW translation, the statement text
// taken whole without touching the caller's variable, and OP_FREESTMT.
#include "support/lib.h"

namespace {

class query_test : public library_test {
protected:
    int slot = 0;
    void SetUp() override {
        library_test::SetUp();
        slot = connect_slot("-host=demo");
    }
    int query(const std::string &sql, host_var &st) {
        host_var text = host_var::text(sql, sql.size() + 1);
        int rc = send(OP_QUERY, st, {&text});
        host_var close = status_block(slot);
        if (rc == ST_OK) send(OP_FREESTMT, close);
        return rc;
    }
    double rows_of(const std::string &sql) {
        host_var st = status_block(slot);
        EXPECT_EQ(query(sql, st), ST_OK) << sql << ": " << status_view{st}.sqlstate();
        return status_view{st}.rowcount();
    }
};

TEST_F(query_test, row_counts_of_changes_including_none_matched) {
    EXPECT_EQ(rows_of("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)"), 0.0);
    EXPECT_EQ(rows_of("INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, NULL)"), 3.0);
    EXPECT_EQ(rows_of("UPDATE t SET v = 'z' WHERE id >= 2"), 2.0);
    host_var st = status_block(slot);
    EXPECT_EQ(query("UPDATE t SET v = 'q' WHERE id = 999", st), ST_OK);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0);
    EXPECT_EQ(status_view{st}.sqlstate(), "");
    EXPECT_EQ(rows_of("DELETE FROM t WHERE id = 999"), 0.0);
    EXPECT_EQ(rows_of("DELETE FROM t WHERE id = 1"), 1.0);
}

TEST_F(query_test, failed_statement_reports_state_and_message) {
    host_var st = status_block(slot);
    status_view{st}.set_rowcount(5.0);
    EXPECT_EQ(query("SELECT * FROM no_such_table", st), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0);
    EXPECT_EQ(status_view{st}.sqlstate().size(), 5u);
    host_var err = status_block(slot);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_NE(message.text_value().find("no_such_table"), std::string::npos) << message.text_value();
    EXPECT_EQ(status_view{err}.sqlstate(), status_view{st}.sqlstate());
}

TEST_F(query_test, the_four_listings_are_translated_in_any_case) {
    rows_of("CREATE TABLE listed (x INTEGER)");
    for (const char *sql : {"show tables", "SHOW TABLES", "Show Databases", "SHOW SCHEMAS", "sHoW cAtAlOgS"}) {
        host_var st = status_block(slot);
        EXPECT_EQ(query(sql, st), ST_OK) << sql;
    }
}

TEST_F(query_test, other_show_texts_reach_the_driver_unchanged) {
    // SQLite knows no SHOW statement, so each of these fails in the driver.
    for (const char *sql : {"SHOW TABLES LIKE 'x'", "SHOW  TABLES", "SHOW TABLES ", "SHOWTABLES", "SHOW GRANTS"}) {
        host_var st = status_block(slot);
        EXPECT_EQ(query(sql, st), ST_SQLERROR) << sql;
        EXPECT_EQ(status_view{st}.sqlstate().size(), 5u) << sql;
    }
}

TEST_F(query_test, statement_filling_its_variable_runs_whole_and_variable_is_kept) {
    rows_of("CREATE TABLE t (id INTEGER, v TEXT)");
    rows_of("INSERT INTO t VALUES (1, 'a')");
    // Cut by one character the statement would read "... id = 1" and match.
    const std::string sql = "UPDATE t SET v = 'b' WHERE id = 12";
    host_var text = host_var::text(sql, sql.size());
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_QUERY, st, {&text}), ST_OK);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0);
    EXPECT_EQ(text.bytes(sql.size()), sql);
    host_var close = status_block(slot);
    send(OP_FREESTMT, close);

    host_var show = host_var::text("SHOW TABLES", 11);
    host_var st2 = status_block(slot);
    EXPECT_EQ(send(OP_QUERY, st2, {&show}), ST_OK) << "a full area holds the whole listing command";
}

TEST_F(query_test, argument_checks) {
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_QUERY, st, {}), ST_ARGS);
    host_var empty = host_var::raw(0, HV_TEXT);
    EXPECT_EQ(send(OP_QUERY, st, {&empty}), ST_BADARG);
    host_var text = host_var::text("SELECT 1", 16);
    EXPECT_EQ(send(OP_QUERY, st, {&text}, 2), ST_ARGS) << "argument count, not the variables, decides";
}

TEST_F(query_test, freestmt_options) {
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_FREESTMT, st), ST_NOSTMT);
    host_var q = status_block(slot);
    host_var text = host_var::text("SELECT 1", 16);
    for (int16_t option : {0, 0, 2, 3}) {
        EXPECT_EQ(send(OP_QUERY, q, {&text}), ST_OK);
        status_view{st}.set_subcode(option);
        EXPECT_EQ(send(OP_FREESTMT, st), ST_OK) << option;
    }
    EXPECT_EQ(send(OP_FREESTMT, st), ST_OK) << "closing a closed cursor";
    status_view{st}.set_subcode(1);
    EXPECT_EQ(send(OP_FREESTMT, st), ST_OK);
    EXPECT_EQ(status_view{st}.native(), 0);
    EXPECT_EQ(send(OP_FREESTMT, st), ST_NOSTMT) << "option 1 frees the handle";
    for (int16_t option : {4, -1}) {
        EXPECT_EQ(send(OP_QUERY, q, {&text}), ST_OK);
        status_view{st}.set_subcode(option);
        EXPECT_EQ(send(OP_FREESTMT, st), ST_OK) << option;
        EXPECT_EQ(status_view{st}.native(), 15);
        EXPECT_EQ(status_view{st}.sqlstate(), "?") << "the handle is gone, so no record is read";
        EXPECT_EQ(send(OP_FREESTMT, st), ST_NOSTMT) << option << " frees the handle";
    }
}

} // namespace
