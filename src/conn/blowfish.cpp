// blowfish.cpp - Blowfish key schedule, block transforms and the
// little-endian ECB used by the form-3 decoder and the scrambler.
#include "blowfish.h"

#include <cstring>

#include "blowfish_pi.h"
#include "secure_wipe.h"

// Wiping: the words inside the rounds and the key schedule are taken from
// the key schedule or derived from it, and the schedule is wiped whole by
// its owner once a decode ends, so they are not wiped one by one (that
// cost as much as the key schedule itself). The two halves of a block
// after its transform are the plain text, of which the caller wipes only
// its own copy: those are wiped here, once per block.

static uint32_t bf_f(const bf_ctx *ctx, uint32_t x) {
    uint32_t h = ctx->s[0][x >> 24] + ctx->s[1][(x >> 16) & 255];
    return (h ^ ctx->s[2][(x >> 8) & 255]) + ctx->s[3][x & 255];
}

// Sixteen rounds with the P-array entries in the order given by step
// (+1 encrypts from P[0], -1 decrypts from P[17]).
static void bf_rounds(const bf_ctx *ctx, uint32_t *l, uint32_t *r, int first, int step) {
    uint32_t a = *l;
    uint32_t b = *r;
    int i = first;
    for (int round = 0; round < 16; ++round, i += step) {
        a ^= ctx->p[i];
        b ^= bf_f(ctx, a);
        uint32_t t = a;
        a = b;
        b = t;
    }
    // undo the last swap, then whiten with the two remaining entries
    *r = a ^ ctx->p[i];
    *l = b ^ ctx->p[i + step];
}

void bf_encrypt_block(const bf_ctx *ctx, uint32_t *l, uint32_t *r) { bf_rounds(ctx, l, r, 0, 1); }

void bf_decrypt_block(const bf_ctx *ctx, uint32_t *l, uint32_t *r) { bf_rounds(ctx, l, r, 17, -1); }

// XORs the next four key bytes, cycling through the key, into *word.
static void fold_key_word(const uint8_t *key, size_t keylen, size_t *pos, uint32_t *word) {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) {
        w = (w << 8) | key[*pos];
        *pos = (*pos + 1) % keylen;
    }
    *word ^= w;
}

// Replaces words pairwise with the chained encryption of (l, r).
static void fill_pairs(const bf_ctx *ctx, uint32_t *words, int count, uint32_t *l, uint32_t *r) {
    for (int i = 0; i < count; i += 2) {
        bf_encrypt_block(ctx, l, r);
        words[i] = *l;
        words[i + 1] = *r;
    }
}

void bf_key_schedule(const uint8_t *key, size_t keylen, bf_ctx *ctx) {
    std::memcpy(ctx->s, bf_init_s, sizeof ctx->s);
    std::memcpy(ctx->p, bf_init_p, sizeof ctx->p);
    size_t pos = 0;
    for (int i = 0; i < 18 && keylen > 0; ++i) fold_key_word(key, keylen, &pos, &ctx->p[i]);
    uint32_t l = 0;
    uint32_t r = 0;
    fill_pairs(ctx, ctx->p, 18, &l, &r);
    for (int box = 0; box < 4; ++box) fill_pairs(ctx, ctx->s[box], 256, &l, &r);
}

static uint32_t load_le32(const uint8_t *b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

static void store_le32(uint8_t *b, uint32_t w) {
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(w >> (8 * i));
}

typedef void (*bf_block_fn)(const bf_ctx *, uint32_t *, uint32_t *);

static void bf_ecb_le(const bf_ctx *ctx, const uint8_t *in, uint8_t *out, size_t nbytes,
                      bf_block_fn transform) {
    for (size_t off = 0; off + 8 <= nbytes; off += 8) {
        uint32_t l = load_le32(in + off);
        uint32_t r = load_le32(in + off + 4);
        transform(ctx, &l, &r);
        store_le32(out + off, l);
        store_le32(out + off + 4, r);
        secure_wipe(&l, sizeof l);
        secure_wipe(&r, sizeof r);
    }
}

void bf_encrypt_ecb_le(const bf_ctx *ctx, const uint8_t *in, uint8_t *out, size_t nbytes) {
    bf_ecb_le(ctx, in, out, nbytes, bf_encrypt_block);
}

void bf_decrypt_ecb_le(const bf_ctx *ctx, const uint8_t *in, uint8_t *out, size_t nbytes) {
    bf_ecb_le(ctx, in, out, nbytes, bf_decrypt_block);
}
