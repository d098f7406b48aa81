// blowfish.h - the Blowfish block cipher (64-bit blocks, 16 rounds) used to
// decrypt form-3 scrambled values.
#ifndef RORI_BLOWFISH_H
#define RORI_BLOWFISH_H

#include <cstddef>
#include <cstdint>

// Key schedule: the four S-boxes S0..S3, then the P-array P[0]..P[17].
struct bf_ctx {
    uint32_t s[4][256];
    uint32_t p[18];
};
static_assert(sizeof(bf_ctx) == 4168, "bf_ctx is 4 x 256 + 18 words");

// Fills ctx from key. The key bytes are used cyclically, so any length from
// 1 up works (the cipher's published strength needs 4..56 bytes); the
// password decoder uses 32. keylen 0 leaves the P-array unkeyed.
void bf_key_schedule(const uint8_t *key, size_t keylen, bf_ctx *ctx);

// One block as two 32-bit halves, transformed in place.
void bf_encrypt_block(const bf_ctx *ctx, uint32_t *l, uint32_t *r);
void bf_decrypt_block(const bf_ctx *ctx, uint32_t *l, uint32_t *r);

// ECB over nbytes (a multiple of 8) from in to out, blocks independent.
// Each block is read as two little-endian words, bytes 0..3 forming L and
// bytes 4..7 forming R, and written back the same way.
void bf_encrypt_ecb_le(const bf_ctx *ctx, const uint8_t *in, uint8_t *out, size_t nbytes);
void bf_decrypt_ecb_le(const bf_ctx *ctx, const uint8_t *in, uint8_t *out, size_t nbytes);

#endif
