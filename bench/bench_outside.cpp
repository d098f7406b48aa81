// bench_outside.cpp - peak memory, child runs of this program, and the
// isql and pyodbc comparisons, through /proc and the shell.
#include "bench_outside.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "bench_clock.h"

long peak_resident_kib() {
    FILE *f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
    std::fclose(f);
    return kib;
}

// A word for the shell: single-quoted, inner quotes escaped.
static std::string quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command; its output, or false when it could not run or
// exited with a failure.
static bool command_output(const std::string &command, std::string &output) {
    FILE *p = popen(command.c_str(), "r");
    if (p == nullptr) return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) output.append(chunk, n);
    return pclose(p) == 0;
}

static std::string self_path() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        std::perror("/proc/self/exe");
        std::exit(1);
    }
    self[n] = '\0';
    return quoted(self);
}

std::string run_self(const std::string &arguments) {
    std::string output;
    if (!command_output(self_path() + " " + arguments, output)) {
        std::fprintf(stderr, "child run '%s' failed\n", arguments.c_str());
        std::exit(1);
    }
    return output;
}

long long fetch_instructions(const std::string &arguments, bool without_host) {
    // Each named function flips counting on entry and back on return:
    // on in the loop, off in host_call::run, on again in vizori, off in
    // the host's service function that the library calls.
    std::string toggles = "--toggle-collect='raw_fetch*' --toggle-collect='library_fetch*'";
    if (without_host)
        toggles += " --toggle-collect='host_call::run*' --toggle-collect=vizori --toggle-collect='host_service*'";
    std::string output;
    if (!command_output("valgrind --tool=callgrind --callgrind-out-file=/dev/null " + toggles + " " + self_path() +
                            " " + arguments + " 2>&1 >/dev/null",
                        output))
        return -1;
    size_t at = output.find("Collected :");
    return at == std::string::npos ? -1 : std::atoll(output.c_str() + at + 11);
}

outside_fetch isql_fetch(const char *dsn, const std::string &sql) {
    outside_fetch r{false, 0, 0.0, "whole isql process: start, connect, fetch, printing"};
    std::string output;
    double start = clock_seconds();
    bool ok = command_output("printf '%s\\n' " + quoted(sql) + " | isql -b -d, " + quoted(dsn) + " 2>&1", output);
    r.seconds = clock_seconds() - start;
    if (!ok) {
        r.note = "isql did not run: " + output.substr(0, 200);
        return r;
    }
    for (char c : output) r.rows += c == '\n';
    r.ran = true;
    return r;
}

outside_fetch pyodbc_fetch(const char *dsn, const std::string &sql) {
    outside_fetch r{false, 0, 0.0, "execute and iteration, timed inside Python"};
    std::string output;
    std::string script = RORI_BENCH_DIR "/pyodbc_fetch.py";
    if (!command_output("/usr/bin/python3 " + quoted(script) + " " + quoted(dsn) + " " + quoted(sql) + " 2>&1",
                        output) ||
        std::sscanf(output.c_str(), "%ld %lf", &r.rows, &r.seconds) != 2) {
        r.note = "pyodbc did not run: " + output.substr(0, 200);
        return r;
    }
    r.ran = true;
    return r;
}
