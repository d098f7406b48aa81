// blowfish_pi.h - the cipher's initial P-array and S-boxes: the fractional
// hexadecimal digits of pi, P first, then S0, S1, S2, S3.
#ifndef RORI_BLOWFISH_PI_H
#define RORI_BLOWFISH_PI_H

#include <cstdint>

extern const uint32_t bf_init_p[18];
extern const uint32_t bf_init_s[4][256];

#endif
