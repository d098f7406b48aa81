// console_screen.cpp - the shell's console tests under Wine: runs a
// program on this console, set to a code page, then writes what the
// console's screen shows down to the cursor, line by line in UTF-8, to a
// file, so that a test reads the characters a person would see.
// Usage: rori_console_screen CODEPAGE SCREEN_FILE PROGRAM [ARGUMENT...]
// (arguments without spaces). The exit status is the program's; 99 when
// the console or the program could not be had.
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

DWORD run(HANDLE screen, HANDLE keys, std::string line) {
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = keys;
    start.hStdOutput = start.hStdError = screen;
    PROCESS_INFORMATION process = {};
    DWORD status = 99;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) return status;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    return status;
}

void write_screen(HANDLE screen, std::FILE *f) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(screen, &info);
    std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
    for (SHORT y = 0; y < info.dwCursorPosition.Y + (info.dwCursorPosition.X > 0 ? 1 : 0); ++y) {
        DWORD got = 0;
        ReadConsoleOutputCharacterW(screen, &row[0], static_cast<DWORD>(row.size()), COORD{0, y}, &got);
        std::wstring shown = row.substr(0, got);
        shown.erase(shown.find_last_not_of(L' ') + 1);
        std::string text(shown.size() * 4, '\0');
        int n = WideCharToMultiByte(CP_UTF8, 0, shown.c_str(), static_cast<int>(shown.size()), &text[0],
                                    static_cast<int>(text.size()), nullptr, nullptr);
        std::fprintf(f, "%s\n", text.substr(0, static_cast<size_t>(n)).c_str());
    }
}

} // namespace

int main(int argc, char **argv) {
    HANDLE screen = open_console("CONOUT$"), keys = open_console("CONIN$");
    UINT page = argc > 3 ? static_cast<UINT>(std::atoi(argv[1])) : 0;
    if (screen == INVALID_HANDLE_VALUE || keys == INVALID_HANDLE_VALUE || !SetConsoleOutputCP(page) ||
        !SetConsoleCP(page)) {
        std::fputs("console_screen: no console, or no such code page\n", stderr);
        return 99;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(screen, &info);
    DWORD cleared = 0;
    FillConsoleOutputCharacterW(screen, L' ', static_cast<DWORD>(info.dwSize.X * info.dwSize.Y), COORD{0, 0}, &cleared);
    SetConsoleCursorPosition(screen, COORD{0, 0});
    std::string line;
    for (int i = 3; i < argc; ++i) line += std::string(i > 3 ? " " : "") + argv[i];
    DWORD status = run(screen, keys, line);
    std::FILE *f = std::fopen(argv[2], "wb");
    if (f == nullptr) return 99;
    write_screen(screen, f);
    return std::fclose(f) == 0 ? static_cast<int>(status) : 99;
}
