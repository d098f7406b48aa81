// text_cut.cpp - cutting texts at character boundaries: a message cut to a
// host's area must still be valid text in the encoding the driver used.
#include "host/text_cut.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>

// The ANSI code page: a lead byte and the byte after it are one character,
// which only a walk from the start can tell apart.
size_t whole_chars(const char *s, size_t n) {
    size_t i = 0;
    while (i < n) {
        size_t step = IsDBCSLeadByte(static_cast<BYTE>(s[i])) ? 2 : 1;
        if (i + step > n) break;
        i += step;
    }
    return i;
}

#else

static bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes of the UTF-8 sequence that lead byte c begins; 1 for anything else.
static size_t sequence_length(unsigned char c) {
    if (c >= 0xF0) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC0) return 2;
    return 1;
}

// Only the last character can be cut: find its lead byte and check that all
// of its bytes are present.
size_t whole_chars(const char *s, size_t n) {
    size_t start = n;
    while (start > 0 && n - start < 3 && is_continuation(static_cast<unsigned char>(s[start - 1]))) --start;
    if (start == 0) return n;
    size_t lead = start - 1;
    return n - lead < sequence_length(static_cast<unsigned char>(s[lead])) ? lead : n;
}

#endif

void copy_whole_chars(char *dst, const char *src, size_t len, size_t n) {
    if (n < 1) return;
    size_t m = len < n - 1 ? len : whole_chars(src, n - 1);
    std::memmove(dst, src, m);
    dst[m] = '\0';
}
