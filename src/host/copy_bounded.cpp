// copy_bounded.cpp - bounded text copy.
#include "copy_bounded.h"

#include <cstring>

void copy_bounded(char *dst, const char *src, size_t n) {
    if (dst == nullptr || dst == src || n < 1) return;
    if (src == nullptr) {
        dst[0] = '\0';
        return;
    }
    size_t len = 0;
    while (len < n - 1 && src[len] != '\0') ++len;
    std::memmove(dst, src, len);
    dst[len] = '\0';
}
