// heap.cpp - the library's one place for heap memory. The archive that the
// tests link (built with RORI_TEST_HOOKS) adds the failure switch that
// they use to reach every ST_NOMEM path, and a count of the requests; the
// shipped library has neither.
#include "heap.h"

#include <cstdlib>

#if defined(RORI_TEST_HOOKS)
static long fail_countdown = -1; // requests left before failing; -1: never
static long fail_only = 0;       // fail just this request (1-based); 0: off
static unsigned long request_count = 0;

static bool request_fails() {
    ++request_count;
    if (fail_only > 0) return --fail_only == 0;
    if (fail_countdown < 0) return false;
    if (fail_countdown == 0) return true;
    --fail_countdown;
    return false;
}

void *heap_alloc(size_t size) { return request_fails() ? nullptr : std::malloc(size); }

void *heap_realloc(void *block, size_t size) {
    return request_fails() ? nullptr : std::realloc(block, size);
}

void heap_fail_after(long n) {
    fail_only = 0;
    fail_countdown = n;
}

void heap_fail_nth(long n) {
    fail_countdown = -1;
    fail_only = n;
}

unsigned long heap_request_count() { return request_count; }
#else
void *heap_alloc(size_t size) { return std::malloc(size); }

void *heap_realloc(void *block, size_t size) { return std::realloc(block, size); }
#endif

void heap_free(void *block) { std::free(block); }
