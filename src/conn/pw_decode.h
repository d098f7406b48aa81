// pw_decode.h - decoding of scrambled connection values (XOR forms 1 and 2,
// Blowfish form 3) and the key derivation that the scrambler shares.
#ifndef RORI_PW_DECODE_H
#define RORI_PW_DECODE_H

#include <cstddef>
#include <cstdint>

// Receives every form-3 result (password or "<bad decryption>"); keeps the
// last one until the next form-3 decode. The connect request wipes it.
constexpr size_t PW_BUF_SIZE = 70;
extern char pw_buf[PW_BUF_SIZE];

// Decodes text in place by its first byte: 1 and 2 are the XOR forms, 3 the
// Blowfish form (keyed by user, which only form 3 reads), anything else is
// clear text and stays. Returns null for null text and for a form-3 value
// that could not be decoded (text keeps its scrambled form); otherwise text,
// or for form 3 the decoder's result, whose text has been copied into text.
char *pw_decode(char *text, const char *user);

// Forms 1 and 2 in place: drops the type byte and undoes the cyclic XOR
// with the 19-byte key.
void pw_decode_xor(char *text, const unsigned char *key);

// Form 3: returns pw_buf after a decode, text + 1 for the type byte alone,
// null when the value is not exactly 68 characters after the type byte or no
// memory is had, and text itself when it is null or not form 3. Never
// writes text; wipes all its key material before returning.
char *pw_decode_blowfish(const char *user, char *text);

// The form-3 Blowfish key for a user name (null and empty alike); only the
// first 20 characters of the name count.
void pw_derive_key(const char *user, uint8_t key[32]);

#endif
