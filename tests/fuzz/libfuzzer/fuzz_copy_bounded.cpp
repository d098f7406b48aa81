// libFuzzer target: copy_bounded with arbitrary sizes, sources with and
// without a terminator in reach, the same buffer, and null pointers.
//
// Input: bytes 0 and 1 give n (1..65536); byte 2 chooses the case; the
// rest is the source. Every block has exactly its size, so a read or write
// past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/copy_bounded.h"

namespace {
void must(bool ok) {
    if (!ok) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    const size_t n = 1 + (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8);
    const uint8_t mode = data[2];
    const uint8_t *bytes = data + 3;
    const size_t len = size - 3;

    // The source: its bytes, terminated unless it already holds n - 1
    // characters before any NUL (copy_bounded reads no further).
    const void *nul = std::memchr(bytes, 0, len);
    const size_t text_len = nul ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - bytes) : len;
    const bool terminate = nul == nullptr && len < n - 1;
    char *src = static_cast<char *>(std::malloc(len + (terminate ? 1 : 0) + 1));
    std::memcpy(src, bytes, len);
    if (terminate) src[len] = '\0';

    char *dst = static_cast<char *>(std::malloc(n));
    std::memset(dst, 0x5A, n);
    switch (mode % 4) {
    case 0: { // the ordinary copy
        copy_bounded(dst, src, n);
        const size_t want = text_len < n - 1 ? text_len : n - 1;
        must(std::memcmp(dst, src, want) == 0);
        must(dst[want] == '\0');
        break;
    }
    case 1: // a null source empties the destination
        copy_bounded(dst, nullptr, n);
        must(dst[0] == '\0');
        must(n == 1 || static_cast<uint8_t>(dst[1]) == 0x5A);
        break;
    case 2: // a null destination: nothing happens
        copy_bounded(nullptr, src, n);
        break;
    default: { // the same buffer: nothing changes
        const std::string before(src, len);
        copy_bounded(src, src, n);
        must(std::string(src, len) == before);
        break;
    }
    }
    std::free(dst);
    std::free(src);
    return 0;
}
