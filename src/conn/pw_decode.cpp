// pw_decode.cpp - the value decoder: dispatch by form, the XOR forms, and
// the Blowfish form with its per-user key derivation and pw_buf.
#include "pw_decode.h"

#include "conn/base64.h"
#include "conn/blowfish.h"
#include "conn/pw_constants.h"
#include "conn/secure_wipe.h"
#include "host/copy_bounded.h"
#include "host/heap.h"

char pw_buf[PW_BUF_SIZE];

static const char bad_decryption[] = "<bad decryption>";

void pw_decode_xor(char *text, const unsigned char *key) {
    size_t n = 0;
    for (; text[n + 1] != '\0'; ++n) {
        unsigned char s = static_cast<unsigned char>(text[n + 1]);
        unsigned char k = key[n % PW_XOR_KEY_LEN];
        text[n] = static_cast<char>(s == k ? s : s ^ k);
    }
    text[n] = '\0';
}

static void build_sequence(const pw_sequence &seq, uint8_t out[PW_BF_KEY_LEN]) {
    unsigned x = seq.x0;
    for (unsigned i = 1; i <= PW_BF_KEY_LEN; ++i) {
        x = (x + seq.p) * i * seq.q % 255 + 1;
        out[i - 1] = static_cast<uint8_t>(x);
    }
}

void pw_derive_key(const char *user, uint8_t key[PW_BF_KEY_LEN]) {
    uint8_t a[PW_BF_KEY_LEN];
    uint8_t b[PW_BF_KEY_LEN];
    uint8_t u[PW_BF_KEY_LEN];
    build_sequence(pw_seq_a, a);
    build_sequence(pw_seq_b, b);
    // U: the user name (at most 20 characters), a NUL, then A's bytes.
    size_t len = 0;
    while (user != nullptr && len < PW_USER_MAX && user[len] != '\0') {
        u[len] = static_cast<uint8_t>(user[len]);
        ++len;
    }
    u[len] = 0;
    for (size_t i = len + 1; i < PW_BF_KEY_LEN; ++i) u[i] = a[i];
    for (size_t j = 1; j < PW_BF_KEY_LEN; ++j) u[j] ^= a[j - 1];
    for (size_t i = 0; i < PW_BF_KEY_LEN; ++i) key[i] = b[i] ^ u[i];
    secure_wipe(a, sizeof a);
    secure_wipe(b, sizeof b);
    secure_wipe(u, sizeof u);
}

// Length of text if it is at most limit characters, else limit + 1;
// reads no further than that.
static size_t length_up_to(const char *text, size_t limit) {
    size_t n = 0;
    while (n <= limit && text[n] != '\0') ++n;
    return n;
}

// Decrypts the 68 characters at value (check characters, then Base64) with
// ctx and puts the password or "<bad decryption>" into pw_buf.
static void decrypt_into_pw_buf(const bf_ctx *ctx, const char *value) {
    uint8_t cipher[PW_BLOCK_BYTES] = {};
    uint8_t plain[PW_BLOCK_BYTES + 1]; // one more: a NUL ends a full password
    base64_decode(value + PW_CHECK_LEN, cipher, sizeof cipher);
    bf_decrypt_ecb_le(ctx, cipher, plain, PW_BLOCK_BYTES);
    plain[PW_BLOCK_BYTES] = 0;
    bool check_ok = true;
    for (size_t i = 0; i < PW_CHECK_LEN; ++i)
        check_ok = check_ok && plain[i] == static_cast<uint8_t>(value[i]);
    const char *password = reinterpret_cast<const char *>(plain + PW_CHECK_LEN);
    copy_bounded(pw_buf, check_ok ? password : bad_decryption, sizeof pw_buf);
    secure_wipe(cipher, sizeof cipher);
    secure_wipe(plain, sizeof plain);
}

char *pw_decode_blowfish(const char *user, char *text) {
    if (text == nullptr || static_cast<unsigned char>(text[0]) != PW_FORM_BLOWFISH) return text;
    if (text[1] == '\0') return text + 1;
    if (length_up_to(text + 1, PW_FORM3_CHARS) != PW_FORM3_CHARS) return nullptr;
    bf_ctx *ctx = static_cast<bf_ctx *>(heap_alloc(sizeof(bf_ctx)));
    if (ctx == nullptr) return nullptr;
    uint8_t key[PW_BF_KEY_LEN];
    pw_derive_key(user, key);
    bf_key_schedule(key, sizeof key, ctx);
    secure_wipe(key, sizeof key);
    decrypt_into_pw_buf(ctx, text + 1);
    secure_wipe(ctx, sizeof *ctx);
    heap_free(ctx);
    return pw_buf;
}

char *pw_decode(char *text, const char *user) {
    if (text == nullptr || text[0] == '\0') return text;
    switch (static_cast<unsigned char>(text[0])) {
    case PW_FORM_XOR1:
        pw_decode_xor(text, pw_key1);
        return text;
    case PW_FORM_XOR2:
        pw_decode_xor(text, pw_key2);
        return text;
    case PW_FORM_BLOWFISH: {
        // The decoded password has at most 44 characters, fitting the value.
        char *result = pw_decode_blowfish(user, text);
        if (result != nullptr && result != text) copy_bounded(text, result, PW_TEXT_MAX + 1);
        return result;
    }
    default:
        return text;
    }
}
