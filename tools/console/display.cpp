// display.cpp - the writes of display.h, per platform.
#include "display.h"

#include <cerrno>

#include "encoding.h"

bool write_text(std::FILE *stream, const std::string &text) { return write_text(stream, text.data(), text.size()); }

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

HANDLE console_of(std::FILE *stream) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) ? handle : INVALID_HANDLE_VALUE;
}

// The console takes a write in parts of moderate size; a part never ends
// between the two halves of a surrogate pair (an emoji).
const size_t console_part = 8192;

bool write_console(HANDLE console, const std::wstring &wide) {
    size_t done = 0;
    while (done < wide.size()) {
        size_t part = wide.size() - done < console_part ? wide.size() - done : console_part;
        if (done + part < wide.size() && IS_HIGH_SURROGATE(wide[done + part - 1])) --part;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(part), &written, nullptr) || written == 0) {
            errno = EIO;
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

bool shows_to_person(std::FILE *stream) { return console_of(stream) != INVALID_HANDLE_VALUE; }

// What the stream's buffer holds goes out first, so that the order stays.
bool write_text(std::FILE *stream, const char *p, size_t n) {
    HANDLE console = console_of(stream);
    if (console == INVALID_HANDLE_VALUE) return std::fwrite(p, 1, n, stream) == n;
    return std::fflush(stream) == 0 && write_console(console, wide_text(p, n));
}

void use_binary_streams() {
    _setmode(_fileno(stdout), _O_BINARY);
    if (!shows_to_person(stdin)) _setmode(_fileno(stdin), _O_BINARY);
}

#else

#include <unistd.h>

bool shows_to_person(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

bool write_text(std::FILE *stream, const char *p, size_t n) {
    if (!shows_to_person(stream)) return std::fwrite(p, 1, n, stream) == n;
    std::string shown = terminal_text(std::string(p, n));
    return std::fwrite(shown.data(), 1, shown.size(), stream) == shown.size();
}

// Streams carry bytes unchanged here already.
void use_binary_streams() {}

#endif
