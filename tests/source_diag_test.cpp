// Diagnostics on PostgreSQL, whose driver shows each case: a failed column
// whose record a later column clears, a message longer than 240 bytes, and
// notices of a statement that succeeded.
#include "sources.h"

namespace {

class source_diag : public source_test {
protected:
    // OP_GETERROR on the slot into a dynamic variable, checking its status.
    std::string geterror(host_var &err) {
        host_var message = host_var::text("", 16, true);
        EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
        return message.text_value();
    }
};

std::vector<data_source> postgresql() {
    std::vector<data_source> pg;
    for (const data_source &s : server_sources())
        if (std::string(s.name) == "pg") pg.push_back(s);
    return pg;
}

TEST_P(source_diag, a_failed_column_keeps_its_record_when_a_later_column_reads_cleanly) {
    open("SELECT DATE '2024-02-29' AS day, 7 AS id");
    host_var day = host_var::raw(8), id = host_var::integer(0);
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_FETCH, st, {&day, &id}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.native(), 1);
    EXPECT_EQ(status_view{st}.sqlstate(), "07006");
    EXPECT_EQ(id.int_value(), 7);
    for (int ask = 0; ask < 2; ++ask) { // OP_GETERROR does not end the copy
        host_var err = status_block(slot);
        EXPECT_NE(geterror(err), "");
        EXPECT_EQ(status_view{err}.sqlstate(), "07006");
    }
}

TEST_P(source_diag, a_long_error_message_arrives_whole) {
    const std::string words = std::string(590, 'x') + "-the-end";
    host_var st = status_block(slot);
    EXPECT_EQ(query(slot, "DO $$BEGIN RAISE EXCEPTION '" + words + "'; END$$", st), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), "P0001");
    host_var err = status_block(slot);
    std::string message = geterror(err);
    EXPECT_NE(message.find(words), std::string::npos) << message.size() << " bytes: " << message;
}

TEST_P(source_diag, notices_of_a_statement_that_succeeded_are_kept) {
    host_var st = status_block(slot);
    EXPECT_EQ(query(slot, "DO $$BEGIN RAISE NOTICE 'first notice'; RAISE NOTICE 'second notice'; END$$", st), ST_OK);
    EXPECT_EQ(status_view{st}.sqlstate(), "00000");
    host_var err = status_block(slot);
    std::string message = geterror(err);
    EXPECT_NE(message.find("first notice"), std::string::npos) << message;
    EXPECT_NE(message.find("second notice"), std::string::npos) << message;
    close();

    host_var plain = status_block(slot);
    EXPECT_EQ(query(slot, "SELECT 1", plain), ST_OK);
    EXPECT_EQ(status_view{plain}.sqlstate(), "");
}

INSTANTIATE_TEST_SUITE_P(sources, source_diag, ::testing::ValuesIn(postgresql()), source_name());

} // namespace
