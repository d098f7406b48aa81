// base64.cpp - Base64 decoding (standard alphabet) with a capacity bound.
#include "base64.h"

static uint8_t b64_value(char c) {
    if (c >= 'A' && c <= 'Z') return uint8_t(c - 'A');
    if (c >= 'a' && c <= 'z') return uint8_t(c - 'a' + 26);
    if (c >= '0' && c <= '9') return uint8_t(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;
}

// Writes the one to three bytes of a whole group g[0..3].
static size_t decode_group(const char *g, uint8_t *dst, size_t count, size_t capacity) {
    uint8_t v0 = b64_value(g[0]);
    uint8_t v1 = b64_value(g[1]);
    uint8_t v2 = b64_value(g[2]);
    uint8_t v3 = b64_value(g[3]);
    dst[count++] = uint8_t(v0 << 2 | v1 >> 4);
    if (count == capacity || g[2] == '=') return count;
    dst[count++] = uint8_t(v1 << 4 | v2 >> 2);
    if (count == capacity || g[3] == '=') return count;
    dst[count++] = uint8_t(v2 << 6 | v3);
    return count;
}

size_t base64_decode(const char *src, uint8_t *dst, size_t capacity) {
    size_t count = 0;
    if (src == nullptr) return 0;
    // Once the count reaches the capacity, later groups would write nothing.
    for (; count < capacity && src[0] != '\0'; src += 4) {
        if (src[1] == '\0' || src[2] == '\0' || src[3] == '\0') break;
        count = decode_group(src, dst, count, capacity);
    }
    return count;
}
