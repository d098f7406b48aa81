// The support trace: RORIDOREZU_TRACE read at OP_INIT, one line per
// request (refused ones too) with texts escaped and cut, secrets of the
// connect text masked, parameter values only with RORIDOREZU_TRACE_VALUES=1,
// the file private to its owner and closed at OP_SHUTDOWN.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "host/trace.h"
#include "support/nested_call.h"
#include "support/result_fixture.h"

namespace {

class trace_test : public result_test {
protected:
    std::string path = test_odbc_env().dir + "/trace.txt";

    void TearDown() override {
        result_test::TearDown();
        unsetenv("RORIDOREZU_TRACE");
        unsetenv("RORIDOREZU_TRACE_VALUES");
        std::remove(path.c_str());
    }

    // A fetch whose HS_PUTNUM hands the trace 25 values of row 1 and one of
    // row 4, as the binding of parameters would; the nested call, if any,
    // is refused.
    int fetch(nested_probe *nested = nullptr) {
        close_result();
        open("SELECT 5");
        host_var op = host_var::integer(OP_FETCH), st = fetch_block(), n = host_var::integer(0);
        host_call call(op, st, {&n});
        call.during_service = [](int service, int, void *) {
            for (int marker = 1; marker <= 25 && service == HS_PUTNUM; ++marker) trace_value(1, marker, "v\tl", 3);
            trace_value(4, 1, "row four", 8);
        };
        if (nested) call_back_in_during(call, *nested);
        return call.run(test_entry());
    }
};

TEST_F(trace_test, lines_say_each_request_without_secrets_and_stop_at_shutdown) {
    setenv("RORIDOREZU_TRACE", "/nonexistent/folder/trace.txt", 1);
    init_library();
    open("SELECT 1"); // an unwritable file is skipped
    setenv("RORIDOREZU_TRACE", path.c_str(), 1);
    init_library();
    int other = connect_slot("-host=demo -user=\x02zz -pw=secret");
    // Refused connect texts: a key OP_CONNECT does not know, a password with " -" in it.
    int refused = take_slot();
    host_var refused_st = status_block(refused), bad_key = host_var::text("-host=demo -PW=secret"),
             dashed = host_var::text("-host=demo -pw=sec -ret");
    send(OP_CONNECT, refused_st, {&bad_key});
    send(OP_CONNECT, refused_st, {&dashed});
    open("SELECT 'a\tb\nc'");
    open("SELECT '" + std::string(5000, 'x') + "'");
    nested_probe probe{HS_PUTNUM, -1, slot, OP_FREESTMT};
    EXPECT_EQ(fetch(&probe), ST_OK);
    setenv("RORIDOREZU_TRACE_VALUES", "1", 1);
    init_library();
    EXPECT_EQ(fetch(), ST_OK);
    close_result();
    host_var sql = host_var::text("SELECT ?, ?, ?"), text = host_var::text("a\tb"), number = host_var::integer(-7),
             real = host_var::real(2.5), bound = status_block(slot);
    EXPECT_EQ(send(OP_QUERY, bound, {&sql, &text, &number, &real}), ST_OK);
    host_var down = status_block(other), after = status_block();
    send(OP_SHUTDOWN, down);
    EXPECT_EQ(send(OP_NEWCONN, after), ST_NOINIT); // the file is closed: no line

    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string all, values;
    for (int marker = 1; marker <= 20; ++marker) values += " 1:" + std::to_string(marker) + "=3:v\\tl";
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) f.push_back(field);
        ASSERT_GE(f.size(), 12u) << line;
        EXPECT_EQ(f[0].size(), 27u) << f[0]; // 2026-12-08T13:55:01.123456Z
        all += f[3] + "|" + f[5] + "|" + f[6] + (f.size() > 12 ? "|" + f[12] : "") + "\n";
    }
    EXPECT_EQ(all.find("secret"), std::string::npos) << all;
    EXPECT_EQ(all.find("ret"), std::string::npos) << all;
    EXPECT_NE(all.find("OP_CONNECT|-host=demo -PW=***|"), std::string::npos) << all;
    EXPECT_NE(all.find("OP_CONNECT|-host=demo -pw=*** ***|"), std::string::npos) << all;
    EXPECT_NE(all.find("OP_CONNECT|-host=demo -user=*** -pw=***|0\n"), std::string::npos) << all;
    EXPECT_NE(all.find("OP_QUERY|SELECT 'a\\tb\\nc'|0\n"), std::string::npos);
    EXPECT_NE(all.find("|SELECT '" + std::string(3992, 'x') + " [cut: 5009 bytes]|0\n"), std::string::npos);
    EXPECT_NE(all.find("\n-||17\nOP_FETCH||0\n"), std::string::npos) << "the refused call's line, then the fetch's";
    EXPECT_NE(all.find("OP_FETCH||0|" + values.substr(1) + " (5 more)\n"), std::string::npos) << all;
    EXPECT_NE(all.find("OP_QUERY|SELECT ?, ?, ?|0|1:1=3:a\\tb 1:2=2:-7 1:3=3:2.5\nOP_SHUTDOWN||0\n"), std::string::npos)
        << "the values bound by OP_QUERY, numbers written out\n" << all;
    EXPECT_EQ(all.find("|5\n"), std::string::npos) << "a line after OP_SHUTDOWN";
}

} // namespace
