// cells.cpp - display cells of UTF-8 text, from two range tables (characters
// of no width, characters of two), in the way terminals and psql count them.
#include "cells.h"

#include <cstdint>

namespace {

struct code_range {
    uint32_t first;
    uint32_t last;
};

// Combining marks, zero-width spaces and joiners, variation selectors.
const code_range zero_width[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05C7}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x0670, 0x0670}, {0x06D6, 0x06ED}, {0x0711, 0x0711}, {0x0730, 0x074A},
    {0x0900, 0x0903}, {0x093A, 0x094F}, {0x0951, 0x0957}, {0x0962, 0x0963}, {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x2028, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302F}, {0x3099, 0x309A},
    {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0x1F3FB, 0x1F3FF}, {0xE0100, 0xE01EF},
};

// East Asian wide and full-width characters, and emoji.
const code_range double_width[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x23E9, 0x23EC},   {0x2614, 0x2615},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x18AFF},
    {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
    {0x1F200, 0x1F251}, {0x1F300, 0x1F3FA}, {0x1F400, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB},
    {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <size_t N> bool in_ranges(const code_range (&table)[N], uint32_t c) {
    for (const code_range &r : table)
        if (c >= r.first && c <= r.last) return true;
    return false;
}

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The character starting at s[i] and its length in bytes; a byte that does
// not start a valid sequence counts as one character of its own.
uint32_t decode_at(const std::string &s, size_t i, size_t *length) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
    uint32_t c = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        if (i + k >= s.size() || !is_continuation(static_cast<unsigned char>(s[i + k]))) {
            *length = 1;
            return b;
        }
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    *length = n;
    return c;
}

size_t cells_of(uint32_t c) {
    if (in_ranges(zero_width, c)) return 0;
    return in_ranges(double_width, c) ? 2 : 1;
}

} // namespace

size_t display_cells(const std::string &s) {
    size_t cells = 0, length = 0;
    for (size_t i = 0; i < s.size(); i += length) cells += cells_of(decode_at(s, i, &length));
    return cells;
}

std::string head_in_cells(const std::string &s, size_t cells) {
    size_t used = 0, length = 0, i = 0;
    for (; i < s.size(); i += length) {
        size_t w = cells_of(decode_at(s, i, &length));
        if (used + w > cells) break;
        used += w;
    }
    return s.substr(0, i);
}

std::string without_cut_character(const std::string &s) {
    size_t start = s.size();
    while (start > 0 && is_continuation(static_cast<unsigned char>(s[start - 1]))) --start;
    if (start == 0) return s;
    size_t length = 0;
    decode_at(s, start - 1, &length);
    bool lead_byte = static_cast<unsigned char>(s[start - 1]) >= 0xC0;
    return lead_byte && length == 1 ? s.substr(0, start - 1) : s;
}
