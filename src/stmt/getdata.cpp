// getdata.cpp - column_getdata and its scratch buffer: the value is read
// into the buffer, and read on behind what was received while it did not
// fit, the buffer growing to hold it; then it is copied to the caller's
// destination or handed over in place.
#include "stmt/getdata.h"

#include <cstring>

#include "host/heap.h"

#define GETDATA_FIRST_SIZE 4096

uint8_t *getdata_buf = nullptr;
int32_t getdata_size = 0;
bool getdata_cut = false;

// Character data ends with a NUL that takes one byte of the buffer.
static int32_t terminator_size(SQLSMALLINT target_type) { return target_type == SQL_C_CHAR ? 1 : 0; }

static bool have_scratch() {
    if (getdata_buf == nullptr) {
        getdata_buf = static_cast<uint8_t *>(heap_alloc(GETDATA_FIRST_SIZE));
        if (getdata_buf != nullptr) getdata_size = GETDATA_FIRST_SIZE;
    }
    return getdata_buf != nullptr;
}

// True when a read into `room` bytes left part of the value unread: the
// driver says so with SQL_SUCCESS_WITH_INFO and a length that did not fit,
// or with SQL_NO_TOTAL when it cannot tell the length.
static bool value_left_unread(SQLRETURN rc, SQLLEN part, int32_t room, SQLSMALLINT target_type) {
    if (rc != SQL_SUCCESS_WITH_INFO) return false;
    return part == SQL_NO_TOTAL || part > room - terminator_size(target_type);
}

void getdata_release() {
    heap_free(getdata_buf);
    getdata_buf = nullptr;
    getdata_size = 0;
}

// A driver may stop a text short of its room rather than split a multi-byte
// character. Before a text is read, these last bytes of the room are marked,
// so that the driver's NUL is told from stale bytes behind it.
#define TAIL_MARKS 8
// After a chunk came short, the next read gets at least this much room, so
// that a character of any encoding and its NUL fit into it.
#define SHORT_ROOM 16

static int32_t tail_marks(int32_t room) { return room < TAIL_MARKS ? room : TAIL_MARKS; }

// Marks the last bytes of the room that ends at `end` before a text is read.
static void mark_tail(uint8_t *end, int32_t room, SQLSMALLINT target_type) {
    if (target_type != SQL_C_CHAR) return;
    if (room >= TAIL_MARKS)
        std::memset(end - TAIL_MARKS, 0xFF, TAIL_MARKS); // a fixed size: two stores
    else
        std::memset(end - room, 0xFF, static_cast<size_t>(room));
}

// The length of a cut chunk read into `room` bytes at p, by its content:
// binary data fills the room; a text ends at the driver's NUL, the last zero
// among the marks, or else at its first NUL.
static int32_t chunk_by_terminator(const uint8_t *p, int32_t room, SQLSMALLINT target_type) {
    if (target_type != SQL_C_CHAR) return room;
    for (int32_t i = room - 1; i >= room - tail_marks(room); --i)
        if (p[i] == 0) return i;
    const void *nul = std::memchr(p, 0, static_cast<size_t>(room));
    return nul != nullptr ? static_cast<int32_t>(static_cast<const uint8_t *>(nul) - p) : room - 1;
}

// The size that holds the whole value after a cut chunk at `start` that
// reported `part` bytes from there, when the rest goes in at `next`: the
// value and one byte more (with at least SHORT_ROOM bytes from `next` once
// a chunk came short), or twice the present size when the driver could not
// tell (SQL_NO_TOTAL). 0 when no 32-bit size will do.
static int32_t size_for_rest(int32_t start, SQLLEN part, int32_t next, bool came_short) {
    int64_t want = part == SQL_NO_TOTAL ? 2 * static_cast<int64_t>(getdata_size)
                                        : static_cast<int64_t>(start) + part + 1;
    if (came_short && want < static_cast<int64_t>(next) + SHORT_ROOM) want = static_cast<int64_t>(next) + SHORT_ROOM;
    if (want < getdata_size) want = getdata_size;
    return want > INT32_MAX ? 0 : static_cast<int32_t>(want);
}

static bool grow_scratch(int32_t size) {
    if (size == 0) return false;
    if (size == getdata_size) return true;
    void *grown = heap_realloc(getdata_buf, static_cast<size_t>(size));
    if (grown == nullptr) return false; // the old block stays, as does its size
    getdata_buf = static_cast<uint8_t *>(grown);
    getdata_size = size;
    return true;
}

// The length of a value after a read that had `room` bytes for it: never
// more than the room, 0 when the read failed, SQL_NULL_DATA for a NULL.
static SQLLEN length_within(SQLRETURN rc, SQLLEN part, SQLLEN room) {
    if (!sql_ok(rc)) return 0;
    if (part == SQL_NULL_DATA) return part;
    if (part < 0 || part > room) return room;
    return part;
}

// A chunk of a value whose length the driver reports, read in at `start`
// with `part` bytes from there, was followed by one read in at `guess`,
// behind the longest the chunk could be, that reported `rest`. The chunk
// was part - rest long; when it came short, the following one moves down
// behind it (the `moved` bytes that read can have written). Returns where
// the following chunk begins.
static int32_t close_gap(int32_t start, SQLLEN part, int32_t guess, SQLLEN rest, SQLLEN moved) {
    if (rest < 0 || rest > part || part - rest >= guess - start) return guess; // no shorter chunk to go by
    int32_t end = start + static_cast<int32_t>(part - rest);
    std::memmove(getdata_buf + end, getdata_buf + guess, static_cast<size_t>(moved));
    return end;
}

// The chunk of a value last read into the scratch buffer.
struct chunk {
    int32_t start;   // where it begins
    int32_t room;    // the room it was read into
    SQLLEN part;     // the driver's length of the value from `start` on, or SQL_NO_TOTAL
    bool came_short; // this chunk or an earlier one stopped short of its room
};

// Reads the part of the value that follows the cut chunk *c, which the read
// makes the new *c. False when the value stays cut: no memory to read on,
// or a driver that stopped delivering; *held then receives the length held.
static bool read_following(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type, chunk *c, SQLRETURN *rc,
                           SQLLEN *held) {
    const int32_t term = terminator_size(target_type);
    const uint8_t *at = getdata_buf + c->start;
    int32_t longest = c->room - term;
    int32_t next = c->start + (c->part == SQL_NO_TOTAL ? chunk_by_terminator(at, c->room, target_type) : longest);
    if (!grow_scratch(size_for_rest(c->start, c->part, next, c->came_short))) { // the old block stays
        *held = c->start + chunk_by_terminator(at, c->room, target_type);
        return false;
    }
    SQLLEN rest = 0;
    int32_t room = getdata_size - next;
    mark_tail(getdata_buf + getdata_size, room, target_type);
    *rc = SQLGetData(stmt, column, target_type, getdata_buf + next, room, &rest);
    if (c->part != SQL_NO_TOTAL && sql_ok(*rc)) {
        // A chunk with room for a character that brought nothing, while the
        // value still does not fit: the driver will not finish it.
        if (rest == c->part && c->room >= SHORT_ROOM && value_left_unread(*rc, rest, room, target_type)) {
            *held = c->start;
            return false;
        }
        int32_t guess = next;
        next = close_gap(c->start, c->part, guess, rest, rest + term < room ? rest + term : room);
        c->came_short = c->came_short || next != guess;
    }
    c->start = next;
    c->room = room;
    c->part = rest;
    return true;
}

// Reads the whole value into the scratch buffer, chunk after chunk while
// it does not fit, the buffer growing. A chunk's length comes from the
// change in the driver's length between two reads, never from the room it
// had, as a driver may stop short of the room; only a driver that tells no
// length is taken at its NUL. *held receives the length that the buffer
// holds.
static SQLRETURN read_into_scratch(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type, SQLLEN *held) {
    chunk c = {0, getdata_size, 0, false};
    mark_tail(getdata_buf + c.room, c.room, target_type);
    SQLRETURN rc = SQLGetData(stmt, column, target_type, getdata_buf, c.room, &c.part);
    while (value_left_unread(rc, c.part, c.room, target_type))
        if (!read_following(stmt, column, target_type, &c, &rc, held)) {
            getdata_cut = true;
            return rc;
        }
    SQLLEN last = length_within(rc, c.part, c.room - terminator_size(target_type));
    *held = last == SQL_NULL_DATA ? last : c.start + last;
    return rc;
}

// The size of a value of a fixed-length C type, which a driver writes whole
// whatever buffer length it is given; 0 for character and binary data.
static int32_t fixed_length(SQLSMALLINT target_type) {
    switch (target_type) {
    case SQL_C_DOUBLE: return static_cast<int32_t>(sizeof(SQLDOUBLE));
    case SQL_C_SLONG:
    case SQL_C_ULONG: return static_cast<int32_t>(sizeof(SQLINTEGER));
    default: return 0;
    }
}

// A fixed-length value for a destination smaller than the value: read
// aside, and as much handed over as fits.
static SQLRETURN read_fixed_aside(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type, uint8_t *destination,
                                  int32_t room, SQLLEN *held) {
    uint8_t whole[sizeof(SQLDOUBLE)] = {};
    SQLLEN part = 0;
    SQLRETURN rc = SQLGetData(stmt, column, target_type, whole, fixed_length(target_type), &part);
    *held = length_within(rc, part, room);
    if (sql_ok(rc) && *held > 0) std::memcpy(destination, whole, static_cast<size_t>(*held));
    getdata_cut = false;
    return rc;
}

// Without a scratch buffer the value goes straight into the destination,
// where the driver cuts it (a text then loses a character to its NUL); a
// null destination holds nothing. Either loss is for want of memory.
static SQLRETURN read_without_scratch(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type,
                                      uint8_t *destination, int32_t capacity, SQLLEN *held) {
    int32_t room = destination == nullptr || capacity < 0 ? 0 : capacity;
    if (destination != nullptr && room < fixed_length(target_type))
        return read_fixed_aside(stmt, column, target_type, destination, room, held);
    SQLLEN part = 0;
    SQLRETURN rc = SQLGetData(stmt, column, target_type, destination, room, &part);
    int32_t value_room = room > terminator_size(target_type) ? room - terminator_size(target_type) : 0;
    *held = length_within(rc, part, value_room);
    getdata_cut = destination == nullptr || value_left_unread(rc, part, room, target_type);
    return rc;
}

void getdata_copy(const uint8_t *held, SQLSMALLINT target_type, SQLLEN indicator, uint8_t *destination,
                  int32_t capacity) {
    if (held == nullptr || indicator < 0 || capacity <= 0) return;
    int64_t n = static_cast<int64_t>(indicator) + terminator_size(target_type);
    if (n > capacity) n = capacity;
    std::memcpy(destination, held, static_cast<size_t>(n));
}

SQLRETURN column_getdata(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type, uint8_t **destination,
                         int32_t capacity, SQLLEN *indicator) {
    getdata_cut = false;
    if (!have_scratch()) return read_without_scratch(stmt, column, target_type, *destination, capacity, indicator);
    SQLRETURN rc = read_into_scratch(stmt, column, target_type, indicator);
    if (*destination == nullptr)
        *destination = getdata_buf;
    else if (sql_ok(rc))
        getdata_copy(getdata_buf, target_type, *indicator, *destination, capacity);
    return rc;
}
