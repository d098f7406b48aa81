// base64.h - the Base64 decoder for the ciphertext of form-3 values.
#ifndef RORI_BASE64_H
#define RORI_BASE64_H

#include <cstddef>
#include <cstdint>

// Decodes src, read in groups of four characters while the next group's
// first character is not NUL, into dst; returns the bytes written, never
// more than capacity. Characters outside the standard alphabet count as 0;
// "=" in the third place ends its group after one byte, in the fourth after
// two, and the next group follows directly. A group cut short by the text's
// NUL is dropped and ends the decoding: nothing past the NUL is read.
size_t base64_decode(const char *src, uint8_t *dst, size_t capacity);

#endif
