// scramble.cpp - writing scrambled values: the XOR forms, the Blowfish form
// with the library's own cipher and key derivation, Base64 encoding, the
// printable renderings and whole connect texts.
#define _CRT_RAND_S // rand_s on Windows; must precede <stdlib.h>
#include "scramble.h"

#include <cstring>

#ifdef _WIN32
#include <stdlib.h>
#else
#include <cerrno>
#include <sys/random.h>
#endif

#include "conn/blowfish.h"
#include "conn/pw_constants.h"
#include "conn/pw_decode.h"
#include "conn/secure_wipe.h"

const char *scramble_message(scramble_status status) {
    switch (status) {
    case SCRAMBLE_OK: return "ok";
    case SCRAMBLE_BAD_FORM: return "the form must be 1, 2 or 3";
    case SCRAMBLE_HAS_NUL: return "the text holds a NUL byte, which no form can carry";
    case SCRAMBLE_TOO_LONG:
        return "form 3 takes at most 44 bytes; use form 1 or 2 for a longer text";
    case SCRAMBLE_CUT_XOR:
        return "in this XOR form the scrambled bytes would hold a space followed by a hyphen "
               "or end in a space, which cuts the value in a connect text; use the other XOR "
               "form or form 3";
    case SCRAMBLE_CUT_CLEAR:
        return "this clear value holds a space followed by a hyphen, ends in a space or begins "
               "with byte 1, 2 or 3, so a connect text would not carry it; scramble it instead";
    case SCRAMBLE_BAD_CHECK: return "the check characters must be 4 letters or digits";
    case SCRAMBLE_NO_RANDOM: return "the system's random source could not be read";
    case SCRAMBLE_NO_ROOM: return "the text is too long for the output buffer";
    }
    return "unknown error";
}

// True when a connect text would not carry these value bytes whole: the
// connect parser ends a value at a space followed by a hyphen and drops
// trailing spaces.
static bool parser_cuts(const unsigned char *bytes, size_t len) {
    if (len > 0 && bytes[len - 1] == ' ') return true;
    for (size_t i = 0; i + 1 < len; ++i)
        if (bytes[i] == ' ' && bytes[i + 1] == '-') return true;
    return false;
}

// Inverse of the decoder's rule (a byte equal to its key byte is kept, any
// other is XORed): a clear byte equal to its key byte is stored as is.
static unsigned char xor_scramble_byte(unsigned char c, unsigned char k) {
    return c == k ? c : static_cast<unsigned char>(c ^ k);
}

scramble_status scramble_xor(int form, const char *clear, size_t len, char *out, size_t cap) {
    if (form != PW_FORM_XOR1 && form != PW_FORM_XOR2) return SCRAMBLE_BAD_FORM;
    if (std::memchr(clear, '\0', len) != nullptr) return SCRAMBLE_HAS_NUL;
    if (cap < len + 2) return SCRAMBLE_NO_ROOM;
    const unsigned char *key = form == PW_FORM_XOR1 ? pw_key1 : pw_key2;
    unsigned char *bytes = reinterpret_cast<unsigned char *>(out + 1);
    for (size_t n = 0; n < len; ++n)
        bytes[n] = xor_scramble_byte(static_cast<unsigned char>(clear[n]), key[n % PW_XOR_KEY_LEN]);
    if (parser_cuts(bytes, len)) {
        secure_wipe(out, len + 2);
        return SCRAMBLE_CUT_XOR;
    }
    out[0] = static_cast<char>(form);
    out[len + 1] = '\0';
    return SCRAMBLE_OK;
}

static bool is_alnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

void base64_encode(const unsigned char *src, size_t len, char *dst) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < len; i += 3, dst += 4) {
        size_t left = len - i;
        unsigned long group = static_cast<unsigned long>(src[i]) << 16;
        if (left > 1) group |= static_cast<unsigned long>(src[i + 1]) << 8;
        if (left > 2) group |= src[i + 2];
        dst[0] = alphabet[group >> 18 & 63];
        dst[1] = alphabet[group >> 12 & 63];
        dst[2] = left > 1 ? alphabet[group >> 6 & 63] : '=';
        dst[3] = left > 2 ? alphabet[group & 63] : '=';
    }
    *dst = '\0';
}

// Encrypts plain (check characters and padded password) under the user's key.
static void encrypt_form3(const unsigned char *plain, const char *user, unsigned char *cipher) {
    uint8_t key[PW_BF_KEY_LEN];
    bf_ctx ctx;
    pw_derive_key(user, key);
    bf_key_schedule(key, sizeof key, &ctx);
    bf_encrypt_ecb_le(&ctx, plain, cipher, PW_BLOCK_BYTES);
    secure_wipe(key, sizeof key);
    secure_wipe(&ctx, sizeof ctx);
}

scramble_status scramble_blowfish(const char *clear, size_t len, const char *user,
                                  const char check[4], char *out, size_t cap) {
    if (std::memchr(clear, '\0', len) != nullptr) return SCRAMBLE_HAS_NUL;
    if (len > PW_TEXT_MAX) return SCRAMBLE_TOO_LONG;
    for (size_t i = 0; i < PW_CHECK_LEN; ++i)
        if (!is_alnum(check[i])) return SCRAMBLE_BAD_CHECK;
    if (cap < SCRAMBLE_FORM3_SIZE) return SCRAMBLE_NO_ROOM;
    unsigned char plain[PW_BLOCK_BYTES] = {};
    unsigned char cipher[PW_BLOCK_BYTES];
    std::memcpy(plain, check, PW_CHECK_LEN);
    std::memcpy(plain + PW_CHECK_LEN, clear, len);
    encrypt_form3(plain, user, cipher);
    out[0] = static_cast<char>(PW_FORM_BLOWFISH);
    std::memcpy(out + 1, check, PW_CHECK_LEN);
    base64_encode(cipher, sizeof cipher, out + 1 + PW_CHECK_LEN);
    secure_wipe(plain, sizeof plain);
    return SCRAMBLE_OK;
}

static bool random_bytes(unsigned char *buf, size_t n) {
#ifdef _WIN32
    for (size_t i = 0; i < n; ++i) {
        unsigned int v;
        if (rand_s(&v) != 0) return false;
        buf[i] = static_cast<unsigned char>(v);
    }
#else
    size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(buf + got, n - got, 0);
        if (r < 0 && errno != EINTR) return false;
        if (r > 0) got += static_cast<size_t>(r);
    }
#endif
    return true;
}

bool scramble_random_check(char check[4]) {
    static const char symbols[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const unsigned limit = 256 - 256 % 62; // bytes below it map evenly onto 62 symbols
    size_t have = 0;
    while (have < PW_CHECK_LEN) {
        unsigned char b;
        if (!random_bytes(&b, 1)) return false;
        if (b < limit) check[have++] = symbols[b % 62];
    }
    return true;
}

scramble_status scramble_value(int form, const char *clear, size_t len, const char *user, char *out,
                               size_t cap) {
    if (form != PW_FORM_BLOWFISH) return scramble_xor(form, clear, len, out, cap);
    char check[PW_CHECK_LEN];
    if (!scramble_random_check(check)) return SCRAMBLE_NO_RANDOM;
    return scramble_blowfish(clear, len, user, check, out, cap);
}

static const char hex_digits[] = "0123456789ABCDEF";

bool format_hex(const char *value, char *out, size_t cap) {
    size_t len = std::strlen(value);
    if (cap < (len == 0 ? 1 : 3 * len)) return false;
    size_t pos = 0;
    for (size_t i = 0; i < len; ++i) {
        unsigned char b = static_cast<unsigned char>(value[i]);
        if (i > 0) out[pos++] = ' ';
        out[pos++] = hex_digits[b >> 4];
        out[pos++] = hex_digits[b & 15];
    }
    out[pos] = '\0';
    return true;
}

static bool is_hex_digit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A byte is written as \xHH when it is not printable ASCII, or when it is
// a hex digit right after another \xHH (which would otherwise absorb it).
static bool needs_hex(unsigned char b, bool after_hex) {
    return b < 0x20 || b >= 0x7F || (after_hex && is_hex_digit(b));
}

static bool put_escaped(unsigned char b, bool hex, char *out, size_t cap, size_t *pos) {
    char piece[4];
    size_t n = 0;
    if (hex) {
        piece[n++] = '\\';
        piece[n++] = 'x';
        piece[n++] = hex_digits[b >> 4];
        piece[n++] = hex_digits[b & 15];
    } else {
        if (b == '\\' || b == '"') piece[n++] = '\\';
        piece[n++] = static_cast<char>(b);
    }
    if (*pos + n >= cap) return false;
    std::memcpy(out + *pos, piece, n);
    *pos += n;
    return true;
}

bool format_escaped(const char *value, char *out, size_t cap) {
    size_t pos = 0;
    bool after_hex = false;
    if (cap == 0) return false;
    for (const char *p = value; *p != '\0'; ++p) {
        unsigned char b = static_cast<unsigned char>(*p);
        bool hex = needs_hex(b, after_hex);
        if (!put_escaped(b, hex, out, cap, &pos)) return false;
        after_hex = hex;
    }
    out[pos] = '\0';
    return true;
}

static bool append(const char *text, char *out, size_t cap, size_t *pos) {
    size_t len = std::strlen(text);
    if (*pos + len >= cap) return false;
    std::memcpy(out + *pos, text, len + 1);
    *pos += len;
    return true;
}

// A clear value must survive the connect parser and must not begin with a
// form's type byte, or the decoder would take it for a scrambled value.
static scramble_status copy_clear(const char *clear, char *out, size_t cap) {
    size_t len = std::strlen(clear);
    unsigned char first = static_cast<unsigned char>(clear[0]);
    if (parser_cuts(reinterpret_cast<const unsigned char *>(clear), len) ||
        (first >= PW_FORM_XOR1 && first <= PW_FORM_BLOWFISH))
        return SCRAMBLE_CUT_CLEAR;
    if (len >= cap) return SCRAMBLE_NO_ROOM;
    std::memcpy(out, clear, len + 1);
    return SCRAMBLE_OK;
}

static const char *clear_user(const connect_setting *settings, size_t count) {
    const char *user = nullptr;
    for (size_t i = 0; i < count; ++i)
        if (std::strcmp(settings[i].keyword, "user") == 0 && settings[i].clear != nullptr)
            user = settings[i].clear;
    return user;
}

static scramble_status build_connect(const connect_setting *settings, size_t count, char *out,
                                     size_t cap) {
    const char *user = clear_user(settings, count);
    size_t pos = 0;
    out[0] = '\0';
    for (size_t i = 0; i < count; ++i) {
        const connect_setting &s = settings[i];
        if (s.clear == nullptr) continue;
        if (!append(pos == 0 ? "-" : " -", out, cap, &pos) || !append(s.keyword, out, cap, &pos) ||
            !append("=", out, cap, &pos))
            return SCRAMBLE_NO_ROOM;
        const char *key_user = std::strcmp(s.keyword, "pw") == 0 ? user : nullptr;
        scramble_status st = s.form == 0 ? copy_clear(s.clear, out + pos, cap - pos)
                                         : scramble_value(s.form, s.clear, std::strlen(s.clear),
                                                          key_user, out + pos, cap - pos);
        if (st != SCRAMBLE_OK) return st;
        pos += std::strlen(out + pos);
    }
    return SCRAMBLE_OK;
}

scramble_status scramble_connect(const connect_setting *settings, size_t count, char *out,
                                 size_t cap) {
    if (cap == 0) return SCRAMBLE_NO_ROOM;
    scramble_status st = build_connect(settings, count, out, cap);
    if (st != SCRAMBLE_OK) secure_wipe(out, cap); // no half-written clear values
    return st;
}
