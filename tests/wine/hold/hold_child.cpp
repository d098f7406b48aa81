// hold_child.cpp - the program that tests/wine/driver_manager_hold_test.cpp
// starts: it imports no odbc32 of its own, so the library's copies alone
// load it. 100 times: a copy of roridorezu.dll loaded, connected to SQLite,
// used and unloaded without OP_SHUTDOWN; odbc32 must stay loaded after
// each unload, and every load must work. Exit status 0 when all held.
#include <windows.h>

#include <cstdio>

#include "support/odbc_env.h"
#include "support/unload.h"

int main() {
    if (GetModuleHandleA("odbc32.dll") != nullptr) {
        std::puts("odbc32 was loaded before the first cycle");
        return 2;
    }
    test_odbc_env();
    char path[MAX_PATH];
    std::string program(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    std::string folder = program.substr(0, program.find_last_of("\\/") + 1);
    std::string copy = folder + "roridorezu_hold.dll";
    if (!CopyFileA((folder + "roridorezu.dll").c_str(), copy.c_str(), FALSE)) return 2;
    int failed = 0, odbc32_gone = 0;
    for (int i = 0; i < 100; ++i) {
        failed += !unload_cycle(copy, false);
        odbc32_gone += GetModuleHandleA("odbc32.dll") == nullptr;
    }
    DeleteFileA(copy.c_str());
    std::printf("cycles that failed: %d; unloads after which odbc32 was gone: %d\n", failed, odbc32_gone);
    return failed == 0 && odbc32_gone == 0 ? 0 : 1;
}
