// Through copies of roridorezu.dll under Wine, unloaded without
// OP_SHUTDOWN 100 times: odbc32 stays loaded and every new load works. The
// cycles run in rori_hold_child.exe (tests/wine/hold), which has no odbc32
// loaded before them; this suite's own copy of the library keeps it loaded.
#include <windows.h>

#include "support/lib.h"

TEST(wine_driver_manager_hold, unload_without_shutdown_keeps_odbc32_and_loads_again) {
    char path[MAX_PATH];
    std::string program(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    std::string command = "\"" + program.substr(0, program.find_last_of("\\/") + 1) + "rori_hold_child.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    DWORD code = 1;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 240000), WAIT_OBJECT_0) << "the child did not end";
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u) << "rori_hold_child.exe failed (its output is above)";
}
