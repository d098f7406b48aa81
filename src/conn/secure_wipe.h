// secure_wipe.h - overwriting secrets (key material, clear passwords) so
// that they do not outlive their use in memory.
#ifndef RORI_SECURE_WIPE_H
#define RORI_SECURE_WIPE_H

#include <cstddef>

// Sets size bytes at block to zero through a volatile pointer, so the
// compiler cannot drop the stores even when the block is about to die.
void secure_wipe(void *block, size_t size);

#endif
