// Faults of the database servers: a server that dies in the middle of a
// result, and a connect to a port where nothing listens. The dying server is
// the source's spare instance of scripts/servers.sh, which no other test
// uses; it is brought back up whatever the test's outcome.
#include "sources.h"

#include <cstdlib>
#include <cstring>

namespace {

using rows_t = std::vector<std::vector<std::string>>;

// How a dead server shows on each source.
struct fault_case {
    const char *source;
    const char *spare_dsn;
    const char *instance;   // its name for scripts/servers.sh
    const char *rows_sql;   // 100 rows: 1, 2, ... 100
    // psqlODBC's spare DSN fetches through a server cursor, 10 rows at a
    // time (UseDeclareFetch=1, Fetch=10): the 11th row needs the server.
    // MariaDB's driver reads the whole result when the statement runs.
    bool driver_holds_result;
    const char *lost_state; // SQLSTATE of the first request that needs the server
};

const fault_case fault_cases[] = {
    {"pg", "pg_spare", "pg-spare", "SELECT n FROM generate_series(1, 100) AS n", false, "08S01"},
    {"maria", "maria_spare", "maria-spare", "SELECT seq FROM seq_1_to_100", true, "HY000"},
};

const fault_case &fault_for(const data_source &s) {
    for (const fault_case &f : fault_cases)
        if (std::strcmp(f.source, s.name) == 0) return f;
    std::abort();
}

int servers_command(const std::string &what, const char *instance) {
    const odbc_env &e = test_odbc_env();
    const std::string cmd = "'" + e.servers.at("RORI_SERVERS_SCRIPT") + "' " + what + " " + instance + " '" +
                            e.servers_env + "'";
    return std::system(cmd.c_str());
}

// Kills a spare server at once and starts it again at the end of the scope.
class killed_server {
public:
    explicit killed_server(const char *instance) : instance_(instance) {
        killed_ = servers_command("kill", instance_) == 0;
    }
    ~killed_server() { up(); }
    bool killed() const { return killed_; }
    bool up() {
        if (killed_) {
            killed_ = false;
            return servers_command("up", instance_) == 0;
        }
        return true;
    }

private:
    const char *instance_;
    bool killed_ = false;
};

class source_faults : public source_test {};

TEST_P(source_faults, server_stopped_in_the_middle_of_a_result) {
    const fault_case &fc = fault_for(src());
    const std::string spare_text = connect_text(src(), nullptr, fc.spare_dsn);
    int demo = connect_slot("-host=demo");
    int spare = connect_slot(spare_text);
    int idle = connect_slot(spare_text); // its connection dies unused; OP_SHUTDOWN releases it
    ASSERT_FALSE(HasFailure());

    open(fc.rows_sql, spare);
    if (HasFatalFailure()) return;
    host_var n = host_var::integer(0);
    host_var st = status_block(spare);
    for (int k = 1; k <= 10; ++k) {
        ASSERT_EQ(send(OP_FETCH, st, {&n}), ST_OK) << status_view{st}.sqlstate();
        ASSERT_EQ(n.int_value(), k);
    }

    killed_server server(fc.instance);
    ASSERT_TRUE(server.killed()) << "scripts/servers.sh kill " << fc.instance;

    if (!fc.driver_holds_result) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            n.set_int(-1);
            EXPECT_EQ(send(OP_FETCH, st, {&n}), ST_SQLERROR);
            EXPECT_EQ(status_view{st}.sqlstate(), fc.lost_state);
            EXPECT_EQ(status_view{st}.rowcount(), 10.0) << "a failed fetch leaves the row counter";
            EXPECT_EQ(n.int_value(), -1) << "nothing delivered";
        }
    } else {
        for (int k = 11; k <= 100; ++k) {
            ASSERT_EQ(send(OP_FETCH, st, {&n}), ST_OK) << status_view{st}.sqlstate();
            ASSERT_EQ(n.int_value(), k);
        }
        EXPECT_EQ(send(OP_FETCH, st, {&n}), ST_OK);
        EXPECT_EQ(status_view{st}.rowcount(), 0.0);
        close(spare);
        host_var q = status_block(spare);
        EXPECT_EQ(query(spare, "SELECT 1", q), ST_SQLERROR);
        EXPECT_EQ(status_view{q}.sqlstate(), fc.lost_state);
    }
    host_var err = status_block(spare);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{err}.sqlstate(), fc.lost_state);
    EXPECT_FALSE(message.text_value().empty());

    // The other slots do not notice.
    EXPECT_EQ(rows_of("SELECT 11", 1), (rows_t{{"11"}}));
    EXPECT_EQ(rows_of("SELECT 12", 1, demo), (rows_t{{"12"}}));

    host_var d = status_block(spare);
    EXPECT_EQ(send(OP_DISCONNECT, d), ST_OK);

    ASSERT_TRUE(server.up()) << "scripts/servers.sh up " << fc.instance;
    int again = connect_slot(spare_text);
    EXPECT_EQ(rows_of("SELECT 13", 1, again), (rows_t{{"13"}}));

    host_var sh = status_block(idle);
    EXPECT_EQ(send(OP_SHUTDOWN, sh), ST_OK);
    init_library();
    int fresh = connect_slot(spare_text);
    EXPECT_EQ(rows_of("SELECT 14", 1, fresh), (rows_t{{"14"}}));
}

TEST_P(source_faults, connect_to_a_port_where_nothing_listens_fails_cleanly) {
    int s = take_slot();
    host_var st = status_block(s);
    host_var text = host_var::text(connect_text(src(), nullptr, src().nowhere_dsn), 512);
    EXPECT_EQ(send(OP_CONNECT, st, {&text}), ST_SQLERROR);
    EXPECT_EQ(status_view{st}.sqlstate(), src().refused_state);
    EXPECT_EQ(status_view{st}.native(), src().refused_native);
    host_var err = status_block(s);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{err}.sqlstate(), src().refused_state);
    EXPECT_NE(message.text_value().find("127.0.0.1"), std::string::npos) << message.text_value();

    host_var right = host_var::text(connect_text(src()), 512);
    host_var st2 = status_block(s);
    EXPECT_EQ(send(OP_CONNECT, st2, {&right}), ST_OK) << "the slot stays usable";
    EXPECT_EQ(rows_of("SELECT 5", 1, s), (rows_t{{"5"}}));
}

INSTANTIATE_TEST_SUITE_P(sources, source_faults, ::testing::ValuesIn(server_sources()), source_name());

} // namespace
