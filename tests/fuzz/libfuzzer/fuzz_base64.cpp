// libFuzzer target: base64_decode with arbitrary capacities, compared with
// a plain model of the decoding rules. The destination block has exactly
// the capacity, so a byte written past it is caught.
//
// Input: byte 0 is the capacity (0..255); the rest, NUL-terminated, is the
// source text (a NUL inside it ends the text early).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "conn/base64.h"

namespace {
void must(bool ok) {
    if (!ok) std::abort();
}

int value_of(char c) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char *p = c ? std::strchr(alphabet, c) : nullptr;
    return p ? static_cast<int>(p - alphabet) : 0;
}

// Groups of four while the next group begins with a character; a group cut
// short by the end of the text ends the decoding; "=" third ends a group
// after one byte, fourth after two; nothing is written at the capacity.
std::vector<uint8_t> model(const char *s, size_t capacity) {
    std::vector<uint8_t> out;
    for (size_t i = 0; s[i] != '\0' && out.size() < capacity; i += 4) {
        if (s[i + 1] == '\0' || s[i + 2] == '\0' || s[i + 3] == '\0') break;
        int v0 = value_of(s[i]), v1 = value_of(s[i + 1]), v2 = value_of(s[i + 2]), v3 = value_of(s[i + 3]);
        out.push_back(static_cast<uint8_t>((v0 << 2 | v1 >> 4) & 255));
        if (out.size() == capacity || s[i + 2] == '=') continue;
        out.push_back(static_cast<uint8_t>((v1 << 4 | v2 >> 2) & 255));
        if (out.size() == capacity || s[i + 3] == '=') continue;
        out.push_back(static_cast<uint8_t>((v2 << 6 | v3) & 255));
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const size_t capacity = data[0];
    char *src = static_cast<char *>(std::malloc(size));
    std::memcpy(src, data + 1, size - 1);
    src[size - 1] = '\0';
    uint8_t *dst = static_cast<uint8_t *>(std::malloc(capacity ? capacity : 1));
    size_t n = base64_decode(src, capacity ? dst : nullptr, capacity);
    must(n <= capacity);
    std::vector<uint8_t> want = model(src, capacity);
    must(n == want.size());
    must(n == 0 || std::memcmp(dst, want.data(), n) == 0);
    std::free(dst);
    std::free(src);
    return 0;
}
