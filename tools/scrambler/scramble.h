// scramble.h - the encoding side of the scrambled value forms: turns a clear
// text into a form 1, 2 or 3 value that the library's connect request
// decodes, and prints values in forms a person can paste into a program.
#ifndef RORI_SCRAMBLE_H
#define RORI_SCRAMBLE_H

#include <cstddef>

enum scramble_status {
    SCRAMBLE_OK = 0,
    SCRAMBLE_BAD_FORM,  // form is not 1, 2 or 3
    SCRAMBLE_HAS_NUL,   // the clear text holds a NUL byte
    SCRAMBLE_TOO_LONG,  // form 3 takes at most 44 bytes
    SCRAMBLE_CUT_XOR,   // XOR bytes would hold " -" or end in a space
    SCRAMBLE_CUT_CLEAR, // clear value holds " -", ends in a space, or looks scrambled
    SCRAMBLE_BAD_CHECK, // check characters must be 4 letters or digits
    SCRAMBLE_NO_RANDOM, // no random source for the check characters
    SCRAMBLE_NO_ROOM,   // the output buffer is too small
};

// One sentence saying what went wrong and what to do instead.
const char *scramble_message(scramble_status status);

// Room for a form-3 value: type byte, 68 characters, NUL. (A form 1 or 2
// value takes the clear text's length plus 2.)
constexpr size_t SCRAMBLE_FORM3_SIZE = 70;

// Form 1 or 2: the type byte, then one scrambled byte per clear byte, NUL.
scramble_status scramble_xor(int form, const char *clear, size_t len, char *out, size_t cap);

// Form 3 with the given 4 check characters (letters or digits); user keys the cipher (null and
// empty alike, only its first 20 characters count).
scramble_status scramble_blowfish(const char *clear, size_t len, const char *user,
                                  const char check[4], char *out, size_t cap);

// Four letters or digits from the system's random source.
bool scramble_random_check(char check[4]);

// Any form; form 3 draws fresh check characters.
scramble_status scramble_value(int form, const char *clear, size_t len, const char *user, char *out,
                               size_t cap);

// Standard Base64 with "=" padding; writes 4 * ceil(len / 3) characters and
// a NUL to dst, which must have room for them.
void base64_encode(const unsigned char *src, size_t len, char *dst);

// "03 41 5A" - the value's bytes in hexadecimal, separated by spaces.
bool format_hex(const char *value, char *out, size_t cap);
// "\x03AZ" - a C string literal body: printable ASCII as is (with \\ and \"
// escaped), other bytes as \xHH; a hex digit after \xHH is escaped too, so
// that no escape swallows the next character.
bool format_escaped(const char *value, char *out, size_t cap);

// One setting of a connect text: keyword, clear value (null: left out) and
// the form to write it in (0: clear).
struct connect_setting {
    const char *keyword;
    const char *clear;
    int form;
};

// Writes "-host=... -user=... -pw=..." from settings in the given order. The
// form-3 password is keyed by the clear text of the "user" setting, the
// other values without a user name, as the connect request decodes them.
scramble_status scramble_connect(const connect_setting *settings, size_t count, char *out,
                                 size_t cap);

#endif
