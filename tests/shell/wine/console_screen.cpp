// console_screen.cpp - the shell's console tests under Wine: runs a
// program on a console set to a code page, then writes what the console's
// screen shows, line by line in UTF-8, to a file, so that a test reads the
// characters a person would see there.
// Usage: rori_console_screen CODEPAGE SCREEN_FILE PROGRAM [ARGUMENT...]
// The exit status is the program's; 99 when the console could not be had.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HANDLE open_console(const char *name) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                       OPEN_EXISTING, 0, nullptr);
}

// The arguments for the program's command line, quoted where they hold a
// space (the tests pass paths and options without quotes of their own).
std::string command_line(int argc, char **argv) {
    std::string line;
    for (int i = 3; i < argc; ++i) {
        std::string arg = argv[i];
        bool quote = arg.empty() || arg.find(' ') != std::string::npos;
        line += (line.empty() ? "" : " ") + (quote ? "\"" + arg + "\"" : arg);
    }
    return line;
}

void clear_screen(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(screen, &info);
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y), done = 0;
    FillConsoleOutputCharacterW(screen, L' ', cells, COORD{0, 0}, &done);
    SetConsoleCursorPosition(screen, COORD{0, 0});
}

DWORD run(HANDLE screen, HANDLE keys, std::string line) {
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = keys;
    start.hStdOutput = screen;
    start.hStdError = screen;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
        std::fprintf(stderr, "console_screen: cannot start %s (error %lu)\n", line.c_str(), GetLastError());
        return 99;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 99;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

// The screen's lines down to the cursor, without trailing spaces.
bool write_screen(HANDLE screen, const char *path) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(screen, &info);
    std::FILE *f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
    for (SHORT y = 0; y < info.dwCursorPosition.Y + (info.dwCursorPosition.X > 0 ? 1 : 0); ++y) {
        DWORD got = 0;
        ReadConsoleOutputCharacterW(screen, &row[0], static_cast<DWORD>(row.size()), COORD{0, y}, &got);
        std::wstring shown = row.substr(0, got);
        shown.erase(shown.find_last_not_of(L' ') + 1);
        int n = WideCharToMultiByte(CP_UTF8, 0, shown.c_str(), static_cast<int>(shown.size()), nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<size_t>(n), '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, shown.c_str(), static_cast<int>(shown.size()), &text[0], n, nullptr, nullptr);
        std::fprintf(f, "%s\n", text.c_str());
    }
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fputs("usage: rori_console_screen CODEPAGE SCREEN_FILE PROGRAM [ARGUMENT...]\n", stderr);
        return 99;
    }
    HANDLE screen = open_console("CONOUT$");
    if (screen == INVALID_HANDLE_VALUE && AllocConsole()) screen = open_console("CONOUT$");
    HANDLE keys = open_console("CONIN$");
    if (screen == INVALID_HANDLE_VALUE || keys == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "console_screen: no console (error %lu)\n", GetLastError());
        return 99;
    }
    UINT page = static_cast<UINT>(std::atoi(argv[1]));
    if (!SetConsoleOutputCP(page) || !SetConsoleCP(page)) {
        std::fprintf(stderr, "console_screen: the console takes no code page %u\n", page);
        return 99;
    }
    clear_screen(screen);
    DWORD status = run(screen, keys, command_line(argc, argv));
    if (!write_screen(screen, argv[2])) {
        std::fprintf(stderr, "console_screen: cannot write %s\n", argv[2]);
        return 99;
    }
    return static_cast<int>(status);
}
