// trace_file.cpp - the system side of the support trace: environment,
// file, clocks and thread numbers, for Linux and Windows.
#include "host/trace_file.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#if defined(_WIN32)
#include <windows.h>
#include <sddl.h>

static HANDLE trace_handle = INVALID_HANDLE_VALUE;

// The Windows environment, which a host changes with SetEnvironmentVariable;
// the C runtime's copy would not see that.
const char *trace_setting(const char *name, char *buf, size_t size) {
    DWORD n = GetEnvironmentVariableA(name, buf, static_cast<DWORD>(size));
    if (n == 0 || n >= size) return nullptr;
    return buf;
}

// A new file gets an access list that lets its owner alone in.
static HANDLE create_for_owner(const char *path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;OW)", SDDL_REVISION_1, &sd, nullptr))
        sa.lpSecurityDescriptor = sd;
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sd != nullptr) LocalFree(sd);
    return h;
}

bool trace_file_open(const char *path) {
    trace_file_close();
    trace_handle = create_for_owner(path);
    return trace_handle != INVALID_HANDLE_VALUE;
}

void trace_file_close() {
    if (trace_handle != INVALID_HANDLE_VALUE) CloseHandle(trace_handle);
    trace_handle = INVALID_HANDLE_VALUE;
}

bool trace_file_is_open() { return trace_handle != INVALID_HANDLE_VALUE; }

void trace_file_write(const char *line, size_t len) {
    DWORD written = 0;
    WriteFile(trace_handle, line, static_cast<DWORD>(len), &written, nullptr);
}

int trace_utc_time(char *buf, size_t size) {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    SYSTEMTIME t;
    FileTimeToSystemTime(&ft, &t);
    ULARGE_INTEGER ticks{};
    ticks.LowPart = ft.dwLowDateTime;
    ticks.HighPart = ft.dwHighDateTime;
    unsigned micro = static_cast<unsigned>((ticks.QuadPart / 10) % 1000000);
    return std::snprintf(buf, size, "%04u-%02u-%02uT%02u:%02u:%02u.%06uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                         t.wMinute, t.wSecond, micro);
}

uint64_t trace_clock_us() {
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return static_cast<uint64_t>(now.QuadPart) / static_cast<uint64_t>(freq.QuadPart) * 1000000u +
           static_cast<uint64_t>(now.QuadPart) % static_cast<uint64_t>(freq.QuadPart) * 1000000u /
               static_cast<uint64_t>(freq.QuadPart);
}

unsigned long trace_thread_id() { return GetCurrentThreadId(); }
#else
#include <fcntl.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

static int trace_fd = -1;

const char *trace_setting(const char *name, char *buf, size_t size) {
    const char *v = getenv(name);
    if (v == nullptr || *v == '\0' || std::strlen(v) >= size) return nullptr;
    std::memcpy(buf, v, std::strlen(v) + 1);
    return buf;
}

bool trace_file_open(const char *path) {
    trace_file_close();
    trace_fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    return trace_fd >= 0;
}

void trace_file_close() {
    if (trace_fd >= 0) close(trace_fd);
    trace_fd = -1;
}

bool trace_file_is_open() { return trace_fd >= 0; }

// One write per line: with O_APPEND, lines of several processes on one file
// do not mix.
void trace_file_write(const char *line, size_t len) {
    ssize_t n = write(trace_fd, line, len);
    (void)n;
}

int trace_utc_time(char *buf, size_t size) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm t;
    gmtime_r(&now.tv_sec, &t);
    return std::snprintf(buf, size, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                         t.tm_hour, t.tm_min, t.tm_sec, now.tv_nsec / 1000);
}

uint64_t trace_clock_us() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

unsigned long trace_thread_id() { return static_cast<unsigned long>(syscall(SYS_gettid)); }
#endif
