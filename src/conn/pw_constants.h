// pw_constants.h - the fixed values that the scrambled value forms are built
// on, shared by the decoder in the library and by the scrambler that writes
// the forms. Changing any of them breaks every value scrambled before.
#ifndef RORI_PW_CONSTANTS_H
#define RORI_PW_CONSTANTS_H

#include <cstddef>
#include <cstdint>

// First byte of a value, naming its form.
constexpr unsigned char PW_FORM_XOR1 = 1;
constexpr unsigned char PW_FORM_XOR2 = 2;
constexpr unsigned char PW_FORM_BLOWFISH = 3;

// XOR keys of forms 1 and 2, each 19 non-zero bytes stored NUL-terminated.
constexpr size_t PW_XOR_KEY_LEN = 19;
constexpr unsigned char pw_key1[PW_XOR_KEY_LEN + 1] = "Q7w#Lx2!vR9@kT4$mZ8";
constexpr unsigned char pw_key2[PW_XOR_KEY_LEN + 1] = {
    0x9E, 0x37, 0x79, 0xB9, 0x7F, 0x4A, 0x7C, 0x15, 0xF3, 0x9C,
    0xC0, 0x60, 0x5C, 0xED, 0xC8, 0x34, 0x10, 0x82, 0x27, 0x00,
};

// Byte recurrence x_i = ((x_{i-1} + p) * i * q) mod 255 + 1, i = 1..32.
struct pw_sequence {
    unsigned x0;
    unsigned p;
    unsigned q;
};
constexpr pw_sequence pw_seq_a = {0x5A, 17, 31};
constexpr pw_sequence pw_seq_b = {0xC3, 29, 13};

// Form 3: type byte, check characters, Base64 of the ciphertext, NUL.
constexpr size_t PW_BF_KEY_LEN = 32;   // Blowfish key derived from the user name
constexpr size_t PW_USER_MAX = 20;     // user name characters that enter the key
constexpr size_t PW_CHECK_LEN = 4;     // check characters = plaintext bytes 0..3
constexpr size_t PW_TEXT_MAX = 44;     // password bytes, plaintext bytes 4..47
constexpr size_t PW_BLOCK_BYTES = PW_CHECK_LEN + PW_TEXT_MAX; // 6 blocks of 8
constexpr size_t PW_BASE64_CHARS = 64; // Base64 of the 48 ciphertext bytes
constexpr size_t PW_FORM3_CHARS = PW_CHECK_LEN + PW_BASE64_CHARS; // after the type byte

#endif
