// Diagnostics on PostgreSQL, whose driver shows each case: a failed column
// whose record a later column clears, a message longer than 240 bytes, and
// notices of a statement that succeeded.
#include "sources.h"
#include "support/pg_messages.h"

namespace {

class source_diag : public source_test {};

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
        host_var message = host_var::text("", 16, true);
        host_var err = status_block(slot);
        EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
        EXPECT_NE(message.text_value(), "");
        EXPECT_EQ(status_view{err}.sqlstate(), "07006");
    }
}

TEST_P(source_diag, long_messages_and_notices_arrive_whole) { expect_whole_pg_messages(slot); }

INSTANTIATE_TEST_SUITE_P(sources, source_diag, ::testing::ValuesIn(postgresql()), source_name());

} // namespace
