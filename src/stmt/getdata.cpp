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

// The size that holds the whole value after a read at offset `start` that
// reported `part` bytes from there: the value and one byte more, or twice
// the present size when the driver could not tell (SQL_NO_TOTAL). 0 when
// no 32-bit size will do.
static int32_t size_for_rest(int32_t start, SQLLEN part) {
    int64_t want = part == SQL_NO_TOTAL ? 2 * static_cast<int64_t>(getdata_size)
                                        : static_cast<int64_t>(start) + part + 1;
    return want > INT32_MAX ? 0 : static_cast<int32_t>(want);
}

static bool grow_scratch(int32_t size) {
    if (size == 0) return false;
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

// Reads the whole value into the scratch buffer. *held receives the length
// that the buffer holds.
static SQLRETURN read_into_scratch(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type, SQLLEN *held) {
    const int32_t term = terminator_size(target_type);
    int32_t start = 0;
    SQLLEN part = 0;
    SQLRETURN rc = SQLGetData(stmt, column, target_type, getdata_buf, getdata_size, &part);
    while (value_left_unread(rc, part, getdata_size - start, target_type)) {
        int32_t received = getdata_size - term; // the NUL of a cut text is overwritten by the rest
        if (!grow_scratch(size_for_rest(start, part))) {
            getdata_cut = true;
            *held = received;
            return rc;
        }
        start = received;
        part = 0;
        rc = SQLGetData(stmt, column, target_type, getdata_buf + start, getdata_size - start, &part);
    }
    SQLLEN rest = length_within(rc, part, getdata_size - term - start);
    *held = rest == SQL_NULL_DATA ? rest : start + rest;
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
