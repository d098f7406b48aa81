// copy_bounded.h - bounded text copy shared by the diagnostics step and the
// password decoder.
#ifndef RORI_COPY_BOUNDED_H
#define RORI_COPY_BOUNDED_H

#include <cstddef>

// Copies src up to its NUL, at most n - 1 characters, and always ends dst
// with a NUL; never writes more than n bytes. Same buffer: nothing happens.
// Null src: dst becomes empty. Null dst, or n < 1: nothing happens.
void copy_bounded(char *dst, const char *src, size_t n);

#endif
