// diag_keep.cpp - reading a handle's diagnostic records whole into the
// copy a slot keeps: up to ten records, each message read again with a
// larger area when the first read did not hold it.
#include "host/diag_keep.h"

#include <cstring>

#include "host/heap.h"
#include "host/text_cut.h"

// SQLGetDiagRec's buffer length is 16-bit: a message of 32,766 bytes and
// its NUL is the most it can hand over.
#define MESSAGE_AREA_MAX 32767
// The driver manager on Linux reads a driver's records into buffers of
// SQL_MAX_MESSAGE_LENGTH (512) bytes, and the PostgreSQL driver then hands a
// longer message over in pieces of 511 characters, one record each.
#define MESSAGE_PIECE 511
// Record numbers asked for at most: ten records, and the pieces of long
// messages (64 make the longest message one read can give).
#define RECORD_NUMBERS_MAX 80
// The first area, and the most a record's first read is given: short
// messages need one read, and the PostgreSQL driver, which sizes its pieces
// by the area of the first read of record 1, then splits by 511 characters
// also where it is handed our area, however large the area has grown.
#define MESSAGE_ROOM_MIN 512

// Grows the text area to at least `size` bytes; false when the heap refused
// (the area stays as it was).
static bool ensure_text(kept_diag &k, int32_t size) {
    if (k.text_size >= size) return true;
    int32_t want = k.text_size * 2 > size ? k.text_size * 2 : size;
    void *grown = heap_realloc(k.text, static_cast<size_t>(want));
    if (grown == nullptr) return false;
    k.text = static_cast<char *>(grown);
    k.text_size = want;
    return true;
}

static int32_t room_at(const kept_diag &k, int32_t start) {
    int32_t room = k.text_size - start;
    return room < MESSAGE_AREA_MAX ? room : MESSAGE_AREA_MAX;
}

// Reads record `number` with its message at `start`, growing the area and
// reading again while the message did not fit (the reported length may
// count characters rather than bytes, so a cut message counts too).
// *cut: the message is still not whole (the 16-bit limit, or no memory).
static SQLRETURN read_into(kept_diag &k, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, int32_t start,
                           kept_record &r, bool *cut) {
    ensure_text(k, start < MESSAGE_ROOM_MIN ? MESSAGE_ROOM_MIN : start + 1);
    int32_t most = MESSAGE_ROOM_MIN;
    for (;;) {
        int32_t room = k.text != nullptr ? room_at(k, start) : 0;
        if (room > most) room = most;
        SQLSMALLINT reported = 0;
        r.native = 0;
        SQLCHAR *area = room > 0 ? reinterpret_cast<SQLCHAR *>(k.text + start) : nullptr;
        SQLRETURN rc = SQLGetDiagRec(type, handle, number, reinterpret_cast<SQLCHAR *>(r.state), &r.native, area,
                                     static_cast<SQLSMALLINT>(room > 0 ? room : 0), &reported);
        if (!sql_ok(rc)) return rc;
        *cut = rc == SQL_SUCCESS_WITH_INFO || reported >= room;
        if (!*cut || room >= MESSAGE_AREA_MAX) return rc;
        // Always more than now, so the loop ends at the 16-bit limit.
        int32_t wanted = reported >= room ? reported + 1 : room * 2 + 1;
        if (wanted > MESSAGE_AREA_MAX) wanted = MESSAGE_AREA_MAX;
        if (!ensure_text(k, start + wanted)) return rc;
        most = wanted;
    }
}

// The message's length: up to its NUL, and never ending inside a character
// when it had to be cut.
static int32_t message_length(const kept_diag &k, int32_t start, bool cut) {
    int32_t room = k.text != nullptr ? room_at(k, start) : 0;
    if (room <= 0) return 0;
    size_t len = strnlen(k.text + start, static_cast<size_t>(room - 1));
    if (cut) len = whole_chars(k.text + start, len);
    return static_cast<int32_t>(len);
}

// On a failure, records of class 01 (warnings, notices, messages printed
// on the way) do not explain it: the first record of another class does.
static int32_t explaining_record(const kept_diag &k, bool failure) {
    if (failure)
        for (int32_t i = 0; i < k.count; ++i)
            if (std::strncmp(k.records[i].state, "01", 2) != 0) return i;
    return 0;
}

// Characters of a UTF-8 text: the bytes that are not continuation bytes.
static int32_t utf8_chars(const char *s, int32_t n) {
    int32_t chars = 0;
    for (int32_t i = 0; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++chars;
    return chars;
}

// A record that follows a full piece with the same SQLSTATE and native error
// is the rest of that piece's message. The piece is the last record read
// (piece_at, piece_length), which may already be joined to the ones before.
static bool continues(const kept_diag &k, const kept_record &before, int32_t piece_at, int32_t piece_length,
                      const kept_record &r) {
    if (piece_length < MESSAGE_PIECE || before.native != r.native || std::strcmp(before.state, r.state) != 0)
        return false;
    return piece_length == MESSAGE_PIECE || utf8_chars(k.text + piece_at, piece_length) == MESSAGE_PIECE;
}

SQLRETURN diag_keep_read(kept_diag &k, SQLSMALLINT type, SQLHANDLE handle, bool failure) {
    k.count = 0;
    k.failure = failure;
    int32_t end = 0; // where the messages read so far end
    int32_t piece_at = 0, piece_length = 0; // the last record's message
    SQLRETURN first = SQL_SUCCESS;
    for (SQLSMALLINT number = 1; number <= RECORD_NUMBERS_MAX; ++number) {
        kept_record r;
        int32_t start = k.count == 0 ? 0 : end + 1; // after the line feed
        bool cut = false;
        SQLRETURN rc = read_into(k, type, handle, number, start, r, &cut);
        if (!sql_ok(rc)) {
            if (number == 1) first = rc;
            break;
        }
        r.state[5] = '\0';
        r.offset = end;
        r.length = 0; // no memory for the message: the record still counts
        bool has_room = k.text != nullptr && start < k.text_size;
        int32_t length = has_room ? message_length(k, start, cut) : 0;
        if (has_room && k.count > 0 && continues(k, k.records[k.count - 1], piece_at, piece_length, r)) {
            std::memmove(k.text + end, k.text + start, static_cast<size_t>(length));
            piece_at = end;
            piece_length = length;
            k.records[k.count - 1].length += length;
            end += length;
            k.text[end] = '\0';
            continue;
        }
        if (k.count == DIAG_KEEP_RECORDS) break;
        if (has_room) {
            if (k.count > 0) k.text[end] = '\n';
            r.offset = start;
            r.length = length;
            end = start + length;
            k.text[end] = '\0';
        }
        piece_at = r.offset;
        piece_length = r.length;
        k.records[k.count++] = r;
    }
    k.explaining = explaining_record(k, failure);
    return k.count > 0 ? SQL_SUCCESS : first;
}

void diag_keep_release(kept_diag &k) {
    heap_free(k.text);
    k.text = nullptr;
    k.text_size = 0;
    k.count = 0;
}
