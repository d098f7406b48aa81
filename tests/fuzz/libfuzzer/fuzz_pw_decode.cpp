// libFuzzer target: pw_decode of every form (the first byte of the value
// is taken from the input as it comes, so forms 1, 2, 3 and clear text all
// occur), with a user name from the input, and the two decoders directly.
//
// Input: byte 0 is the length of the user name taken from the end (0xFF:
// no user name at all); the rest, up to the user name, is the value.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "conn/pw_constants.h"
#include "conn/pw_decode.h"

namespace {
void must(bool ok) {
    if (!ok) std::abort();
}

// A terminated copy of the bytes in a block of exactly that size.
char *terminated(const uint8_t *p, size_t n) {
    char *s = static_cast<char *>(std::malloc(n + 1));
    std::memcpy(s, p, n);
    s[n] = '\0';
    return s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    size_t user_len = data[0] == 0xFF ? 0 : data[0] % 40;
    const uint8_t *rest = data + 1;
    size_t rest_len = size - 1;
    if (user_len > rest_len) user_len = rest_len;
    char *user = data[0] == 0xFF ? nullptr : terminated(rest + rest_len - user_len, user_len);
    char *value = terminated(rest, rest_len - user_len);
    const size_t before = std::strlen(value);
    const std::string original(value, before);

    char *result = pw_decode(value, user);
    const size_t after = std::strlen(value); // within the block: ASan checks
    const unsigned char form = before ? static_cast<unsigned char>(original[0]) : 0;
    must(std::memchr(pw_buf, 0, sizeof pw_buf) != nullptr);
    if (before == 0) {
        must(result == value);
    } else if (form == PW_FORM_XOR1 || form == PW_FORM_XOR2) {
        must(result == value);
        must(after == before - 1); // the type byte goes, no byte becomes NUL
    } else if (form == PW_FORM_BLOWFISH) {
        if (before == 1) {
            must(after == 0);
        } else if (before - 1 != PW_FORM3_CHARS) {
            must(result == nullptr);
            must(original == value); // left scrambled
        } else {
            must(result == pw_buf);
            must(after <= PW_TEXT_MAX);
            must(std::strcmp(value, pw_buf) == 0 || std::strlen(pw_buf) > PW_TEXT_MAX);
        }
    } else {
        must(result == value);
        must(original == value); // clear text stays
    }

    // The Blowfish decoder never writes the value it is given.
    char *again = terminated(rest, rest_len - user_len);
    char *r = pw_decode_blowfish(user, again);
    must(std::memcmp(again, original.data(), before) == 0);
    must(r == nullptr || r == pw_buf || r == again || r == again + 1);
    std::free(again);
    std::free(value);
    std::free(user);
    return 0;
}
