// unload.cpp - the load, work, shut down, unload cycles of unload.h, with
// the process's resident memory read from the system: /proc/self/status on
// Linux, the process memory counters on Windows.
#include "support/unload.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "support/lib.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <dlfcn.h>
#include <valgrind/valgrind.h>
#endif

namespace {

#define LONG_VALUE_BYTES 100000

#if defined(_WIN32)
// A copy of roridorezu.dll under another name is a module of its own, so
// LoadLibrary loads it and FreeLibrary unloads it, whatever the tests'
// library does.
std::string copy_path() {
    test_entry(); // the tests' library is loaded from the program's folder
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(GetModuleHandleA("roridorezu.dll"), path, MAX_PATH);
    std::string copy = std::string(path, n);
    copy.replace(copy.size() - 4, 4, "_unload.dll");
    return copy;
}

struct loaded {
    HMODULE module;
    vizori_fn entry;
};

loaded load_library(const std::string &path) {
    HMODULE m = LoadLibraryA(path.c_str());
    FARPROC f = m ? GetProcAddress(m, "vizori") : nullptr;
    return {m, reinterpret_cast<vizori_fn>(reinterpret_cast<void *>(f))};
}

bool unload_library(const loaded &l) { return FreeLibrary(l.module) != 0; }

long resident_kib() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) return -1;
    return static_cast<long>(c.WorkingSetSize / 1024);
}
bool memory_measurable() { return true; }
#else
struct loaded {
    void *module;
    vizori_fn entry;
};

loaded load_library(const std::string &path) {
    void *m = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void *f = m ? dlsym(m, "vizori") : nullptr;
    return {m, reinterpret_cast<vizori_fn>(f)};
}

bool unload_library(const loaded &l) { return dlclose(l.module) == 0; }

long resident_kib() {
    FILE *f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::atol(line + 6);
    std::fclose(f);
    return kib;
}

// Under valgrind the process grows with what valgrind keeps of every
// library unloaded, and under AddressSanitizer with the freed blocks that
// it holds back; there valgrind's leak check stands for this one.
bool memory_measurable() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
    return !RUNNING_ON_VALGRIND;
#endif
}
#endif

int request(vizori_fn entry, int opcode, host_var &st, std::vector<host_var *> operands = {}) {
    host_var op = host_var::integer(opcode);
    host_call call(op, st, operands);
    return call.run(entry);
}

// One job on a freshly loaded library; true when every answer was right.
bool job(vizori_fn entry, bool shut_down) {
    host_var init = status_block();
    host_var take = status_block();
    if (request(entry, OP_INIT, init) != ST_OK || request(entry, OP_NEWCONN, take) != ST_OK) return false;
    int slot = status_view{take}.slot();
    host_var c = status_block(slot), q = status_block(slot), f = status_block(slot);
    host_var dsn = host_var::text("demo", 64);
    host_var sql = host_var::text("SELECT printf('%.*c', " + std::to_string(LONG_VALUE_BYTES) + ", 'v')");
    host_var value = host_var::text("", 8, true);
    bool ok = request(entry, OP_CONNECT, c, {&dsn}) == ST_OK && request(entry, OP_QUERY, q, {&sql}) == ST_OK &&
              request(entry, OP_FETCH, f, {&value}) == ST_OK &&
              value.text_value() == std::string(LONG_VALUE_BYTES, 'v');
    host_var down = status_block(slot);
    return (!shut_down || request(entry, OP_SHUTDOWN, down) == ST_OK) && ok;
}

} // namespace

bool unload_cycle(const std::string &path, bool shut_down) {
    loaded l = load_library(path);
    bool ok = l.entry != nullptr && job(l.entry, shut_down);
    return l.module != nullptr && unload_library(l) && ok;
}

void expect_flat_unload_cycles(int cycles) {
    if (const char *c = std::getenv("RORI_UNLOAD_CYCLES")) cycles = std::atoi(c);
    int settle = cycles / 10 > 0 ? cycles / 10 : 1; // the heap and the driver manager's caches reach their size
#if defined(_WIN32)
    std::string path = copy_path();
    std::string original = path.substr(0, path.size() - 11) + ".dll";
    CopyFileA(original.c_str(), path.c_str(), FALSE);
#else
    const char *so = std::getenv("RORI_SO"); // the shared library, as CTest names it
    ASSERT_NE(so, nullptr) << "RORI_SO names no library";
    std::string path = so;
#endif
    int failed = 0;
    long settled = 0;
    for (int i = 1; i <= cycles; ++i) {
        failed += !unload_cycle(path, true);
        if (i == settle) settled = resident_kib();
    }
    long growth_kib = resident_kib() - settled;
#if defined(_WIN32)
    DeleteFileA(path.c_str());
#endif
    EXPECT_EQ(failed, 0) << "cycles that went wrong";
    if (!memory_measurable()) return;
    // The driver manager keeps about 1 KB of every connect (see
    // tests/valgrind/odbc.supp), some 1 MB over 1,000 cycles; a scratch
    // buffer left behind would add 100 KB a cycle.
    EXPECT_LT(growth_kib, 4096) << "KiB gained from cycle " << settle << " on";
}
