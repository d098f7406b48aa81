// Through roridorezu.dll under Wine: RORIDOREZU_TRACE comes from the
// Windows environment (SetEnvironmentVariable, which the C runtime's copy
// does not see), and the file gets a line per request.
#include <windows.h>

#include <fstream>
#include <sstream>

#include "support/lib.h"

TEST(wine_trace, the_windows_environment_turns_the_trace_on) {
    std::string path = test_odbc_env().dir + "/rori-wine-trace.txt";
    SetEnvironmentVariableA("RORIDOREZU_TRACE", path.c_str());
    shutdown_library();
    init_library();
    host_var q = status_block(connect_slot("demo")), sql = host_var::text("SELECT 'one\ttwo'");
    EXPECT_EQ(send(OP_QUERY, q, {&sql}), ST_OK);
    shutdown_library();
    SetEnvironmentVariableA("RORIDOREZU_TRACE", nullptr);
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    DeleteFileA(path.c_str());
    EXPECT_NE(text.str().find("\tOP_QUERY\t+2=0 +4=0 3:text/17\tSELECT 'one\\ttwo'\t0\t"), std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("\tOP_SHUTDOWN\t"), std::string::npos);
}
