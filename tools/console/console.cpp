// console.cpp - Ctrl-C, secrets typed without echo and typed text, per
// platform.
#include "console.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "encoding.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

// The library request that runs, counted so that a late check can tell
// whether the request that Ctrl-C met is still the one running.
volatile std::sig_atomic_t request_running = 0;
volatile std::sig_atomic_t request_number = 0;
volatile std::sig_atomic_t request_met = 0;       // request_number when Ctrl-C came
volatile std::sig_atomic_t told_still_running = 0; // the explanation was shown for it

// How long a request may go on after Ctrl-C before the explanation appears.
const int blocked_after_ms = 500;

const char still_running_text[] =
    "\nnote: the statement is still running on the server and cannot be cancelled through the "
    "connector; the shell waits for it. Press Ctrl-C again to leave the shell: the work not "
    "committed on its connections is then rolled back.\n";
const char leaving_text[] = "\nnote: left the shell while a statement was running; the work not committed "
                            "is rolled back\n";
const int leaving_status = 130; // as for a program ended by Ctrl-C

// Ctrl-C while a request that was told to be stuck still runs: the program ends.
bool second_interrupt() { return request_running != 0 && told_still_running != 0; }

// Any other Ctrl-C sets the mark and notes the request it met, if any.
void note_interrupt() {
    interrupted = 1;
    if (request_running != 0) request_met = request_number;
}

// The late check: the request Ctrl-C met still runs.
bool still_blocked() {
    return request_running != 0 && interrupted != 0 && told_still_running == 0 && request_met == request_number;
}

} // namespace

void request_started() {
    told_still_running = 0;
    request_number = (request_number + 1) & 0x3fffffff; // wraps before the type overflows
    request_running = 1;
}

void request_ended() { request_running = 0; }

bool take_interrupt() {
    bool was = interrupted != 0;
    interrupted = 0;
    return was;
}

bool interrupt_pending() { return interrupted != 0; }

#if defined(_WIN32)

#include <windows.h>

namespace {

// A line is being read from the console (read_console_line).
volatile LONG reading_line = 0;

// Windows' console breaks a line read off at Ctrl-C, but Wine's goes on
// reading, so that the line typed after Ctrl-C would be taken for the
// broken one and dropped. An Enter put into the console's input ends that
// read at once; the line it ends is the one Ctrl-C discards.
void end_line_read() {
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    DWORD written = 0;
    WriteConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), keys, 2, &written);
}

void write_error(const char *text, size_t length) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
}

// Windows runs the handler on a thread of its own, which can wait for the
// late check itself.
BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (second_interrupt()) {
        write_error(leaving_text, sizeof leaving_text - 1);
        ExitProcess(leaving_status);
    }
    note_interrupt();
    if (reading_line != 0) end_line_read();
    if (request_running == 0) return TRUE;
    Sleep(blocked_after_ms);
    if (still_blocked()) {
        told_still_running = 1;
        write_error(still_running_text, sizeof still_running_text - 1);
    }
    return TRUE;
}

// The console runs its control handler on a thread of its own, so a read
// that Ctrl-C broke off may return before the mark is set: wait a little.
bool interrupted_read() {
    for (int i = 0; i < 20 && interrupted == 0; ++i) Sleep(10);
    return interrupted != 0;
}

// Reads up to the line feed; false when the read failed or broke off.
bool read_console_chars(HANDLE in, std::wstring *typed) {
    for (;;) {
        wchar_t c = 0;
        DWORD got = 0;
        if (!ReadConsoleW(in, &c, 1, &got, nullptr) || got == 0) return false;
        if (c == L'\n') return true;
        *typed += c;
    }
}

} // namespace

void catch_interrupts() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool typing_at_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool read_console_line(std::string *line) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring typed;
    InterlockedExchange(&reading_line, 1);
    bool read = interrupted == 0 && read_console_chars(in, &typed);
    InterlockedExchange(&reading_line, 0);
    if (!read) interrupted_read();
    // A line that Ctrl-C ended (under Wine through the Enter put in) is
    // dropped, as Windows' own console drops it; so is the Enter put in
    // should Windows have broken the read off before it came.
    if (interrupted != 0) FlushConsoleInputBuffer(in);
    if (!read || interrupted != 0) return false;
    if (!typed.empty() && typed[0] == 26) return false; // Ctrl-Z: the end of the input
    if (!typed.empty() && typed.back() == L'\r') typed.pop_back();
    *line = narrow_text(typed);
    return true;
}

bool read_secret(const char *prompt, char *buf, size_t cap, size_t *len) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode)) return false;
    SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)); // before the prompt, which invites typing
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    std::string line;
    bool ok = read_console_line(&line) && line.size() < cap;
    SetConsoleMode(in, mode);
    std::fputs("\n", stderr);
    if (ok) {
        std::memcpy(buf, line.data(), line.size());
        buf[line.size()] = '\0';
        *len = line.size();
    }
    SecureZeroMemory(&line[0], line.size());
    return ok;
}

#else

#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

namespace {

void write_error(const char *text, size_t length) {
    ssize_t written = write(STDERR_FILENO, text, length);
    (void)written; // nothing to do about a lost note from a signal handler
}

// The late check runs at SIGALRM, armed by Ctrl-C during a request.
void on_alarm(int) {
    if (!still_blocked()) return;
    told_still_running = 1;
    write_error(still_running_text, sizeof still_running_text - 1);
}

void on_interrupt(int) {
    if (second_interrupt()) {
        write_error(leaving_text, sizeof leaving_text - 1);
        _exit(leaving_status);
    }
    note_interrupt();
    if (request_running == 0) return;
    struct itimerval later;
    std::memset(&later, 0, sizeof later);
    later.it_value.tv_usec = blocked_after_ms * 1000;
    setitimer(ITIMER_REAL, &later, nullptr);
}

// Ctrl-C without SA_RESTART, so that a read from the terminal returns when
// it is pressed; the late check with it, so that the request it meets
// goes on waiting as before.
void set_interrupt_handler() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

// The secret as typed, in the terminal's characters, becomes text of the
// encoding in force; false when it no longer fits.
bool secret_in_encoding(char *buf, size_t cap, size_t *len) {
    std::string text = text_from_terminal(std::string(buf, *len));
    bool fits = text.size() < cap;
    if (fits) {
        std::memcpy(buf, text.data(), text.size());
        buf[text.size()] = '\0';
        *len = text.size();
    }
    std::memset(&text[0], 0, text.size());
    return fits;
}

void set_alarm_handler() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_alarm;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, nullptr);
}

} // namespace

void catch_interrupts() {
    set_interrupt_handler();
    set_alarm_handler();
}

bool typing_at_terminal() { return isatty(STDIN_FILENO) != 0; }

bool read_secret(const char *prompt, char *buf, size_t cap, size_t *len) {
    struct termios saved;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return false;
    struct sigaction before;
    sigaction(SIGINT, nullptr, &before);
    set_interrupt_handler(); // so that Ctrl-C cannot leave the echo off
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet); // before the prompt, which invites typing
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    bool ok = false;
    *len = 0;
    char c = 0;
    while (read(STDIN_FILENO, &c, 1) == 1) {
        if (c == '\n') {
            ok = true;
            break;
        }
        if (*len + 1 >= cap) break;
        buf[(*len)++] = c;
    }
    buf[*len] = '\0';
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    sigaction(SIGINT, &before, nullptr);
    std::fputs("\n", stderr);
    return ok && !interrupt_pending() && secret_in_encoding(buf, cap, len);
}

#endif
