// pg_messages.cpp - see pg_messages.h.
#include "support/pg_messages.h"

#include "support/lib.h"

void expect_whole_pg_messages(int slot) {
    const std::string words = std::string(590, 'x') + "-the-end";
    const std::string three_pieces = std::string(1300, 'y') + "-the-end"; // 511 characters a piece
    struct {
        std::string sql;
        int status;
        const char *state;
        std::vector<std::string> parts;
    } cases[] = {{"DO $$BEGIN RAISE EXCEPTION '" + words + "'; END$$", ST_SQLERROR, "P0001", {words}},
                 {"DO $$BEGIN RAISE EXCEPTION '" + three_pieces + "'; END$$", ST_SQLERROR, "P0001", {three_pieces}},
                 {"DO $$BEGIN RAISE NOTICE 'first notice'; RAISE NOTICE 'second notice'; END$$", ST_OK, "00000",
                  {"first notice", "second notice"}},
                 {"SELECT 1", ST_OK, "", {}}};
    for (const auto &c : cases) {
        host_var sql = host_var::text(c.sql);
        host_var q = status_block(slot);
        EXPECT_EQ(send(OP_QUERY, q, {&sql}), c.status) << c.sql;
        EXPECT_EQ(status_view{q}.sqlstate(), c.state) << c.sql;
        host_var message = host_var::text("", 16, true);
        host_var err = status_block(slot);
        EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
        for (const std::string &part : c.parts)
            EXPECT_NE(message.text_value().find(part), std::string::npos) << message.text_value();
        host_var close = status_block(slot);
        send(OP_FREESTMT, close);
    }
}
