// secure_wipe.cpp - zeroing that the optimiser cannot elide.
#include "secure_wipe.h"

void secure_wipe(void *block, size_t size) {
    volatile unsigned char *p = static_cast<volatile unsigned char *>(block);
    for (size_t i = 0; i < size; ++i) p[i] = 0;
}
