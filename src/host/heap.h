// heap.h - the library's one place for heap memory.
//
// Field buffers, the column scratch buffer and the Blowfish key schedule all
// come from here, so that a test can make any allocation fail and count
// them.
#ifndef RORI_HEAP_H
#define RORI_HEAP_H

#include <cstddef>

void *heap_alloc(size_t size);
void *heap_realloc(void *block, size_t size);
void heap_free(void *block);

// Test hooks, only in the archive built with RORI_TEST_HOOKS (never in the
// shipped library).
// heap_fail_after(n): the next n requests succeed, every later one fails;
// a negative n turns failures off.
void heap_fail_after(long n);
// heap_fail_nth(n): only the n-th request from now (counting from 1) fails.
void heap_fail_nth(long n);
unsigned long heap_request_count(); // allocations and growths so far

#endif
