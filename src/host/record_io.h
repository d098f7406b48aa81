// record_io.h - reading and writing host records at fixed byte offsets.
//
// Host records are byte layouts, not C structs: every access goes through
// these memcpy-based accessors, so alignment and padding never matter.
// word_swap() is the one helper for the "word-swapped" integers of
// sql_status (high 16-bit word first).
#ifndef RORI_RECORD_IO_H
#define RORI_RECORD_IO_H

#include <cstdint>
#include <cstring>

static_assert(sizeof(void *) == 4, "the host passes 32-bit addresses: build for a 32-bit target");
static_assert(sizeof(double) == 8, "sql_status +8 and +28 are 8-byte doubles");

inline uint32_t word_swap(uint32_t x) { return (x << 16) | (x >> 16); }

inline int32_t rd_i32(const uint8_t *base, int off) {
    int32_t v;
    std::memcpy(&v, base + off, sizeof v);
    return v;
}
inline void wr_i32(uint8_t *base, int off, int32_t v) { std::memcpy(base + off, &v, sizeof v); }

inline uint16_t rd_u16(const uint8_t *base, int off) {
    uint16_t v;
    std::memcpy(&v, base + off, sizeof v);
    return v;
}
inline int16_t rd_i16(const uint8_t *base, int off) { return static_cast<int16_t>(rd_u16(base, off)); }
inline void wr_i16(uint8_t *base, int off, int16_t v) { std::memcpy(base + off, &v, sizeof v); }

inline double rd_f64(const uint8_t *base, int off) {
    double v;
    std::memcpy(&v, base + off, sizeof v);
    return v;
}
inline void wr_f64(uint8_t *base, int off, double v) { std::memcpy(base + off, &v, sizeof v); }

inline int32_t rd_swapped(const uint8_t *base, int off) {
    return static_cast<int32_t>(word_swap(static_cast<uint32_t>(rd_i32(base, off))));
}
inline void wr_swapped(uint8_t *base, int off, int32_t v) {
    wr_i32(base, off, static_cast<int32_t>(word_swap(static_cast<uint32_t>(v))));
}

// A 32-bit address stored in a host record.
inline uint8_t *rd_addr(const uint8_t *base, int off) {
    uint32_t a;
    std::memcpy(&a, base + off, sizeof a);
    return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(a));
}

#endif
