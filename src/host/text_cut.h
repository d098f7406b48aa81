// text_cut.h - where a text may be cut without splitting a character, and a
// bounded copy that cuts there.
#ifndef RORI_TEXT_CUT_H
#define RORI_TEXT_CUT_H

#include <cstddef>

// The length of the longest start of s[0..n) that does not end inside a
// character: UTF-8 on Linux, the ANSI code page's double-byte characters on
// Windows. A text that ends with a whole character keeps all n bytes.
size_t whole_chars(const char *s, size_t n);

// Copies the len bytes at src into dst, at most n - 1 of them and never a
// part of a character, and ends dst with a NUL; n < 1 writes nothing.
void copy_whole_chars(char *dst, const char *src, size_t len, size_t n);

#endif
