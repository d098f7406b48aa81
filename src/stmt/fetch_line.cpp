// fetch_line.cpp - the line form of OP_FETCH: the row goes into the text
// variable of argument 3 as one line in which column k takes exactly its
// width (the `width` of its field record), cut or padded with spaces, up
// to the room of the variable, and a NUL.
#include <cstring>

#include "conn/slots.h"
#include "host/request.h"
#include "stmt/fetch_forms.h"
#include "stmt/fields.h"
#include "stmt/getdata.h"

#define LINE_ARG 3

// The variable's area: text goes into the first `room` bytes, the byte
// after them stays for the NUL. A null `p`: the area has no byte at all.
struct line_area {
    uint8_t *p;
    int32_t room;
};

// The widths of columns 1..n, read once per row from the field records
// (columns beyond the records have width 0), and their sum. Only of[1..n]
// is filled.
struct line_widths {
    int32_t of[FIELD_CAP];
    int64_t sum;
};

static void read_widths(const request &rq, int32_t n, line_widths *lw) {
    lw->sum = 0;
    for (int32_t k = 1; k <= n && k < FIELD_CAP; ++k) {
        lw->of[k] = field_width(rq.slot, k);
        lw->sum += lw->of[k];
    }
}

static int32_t width_of(const line_widths &lw, int32_t k) { return k < FIELD_CAP ? lw.of[k] : 0; }

// Clears the variable and grows a dynamic one, once, to hold the whole line
// and its NUL. When the host cannot grow it, the line stays in the old area.
static line_area prepare_line(request &rq, const line_widths &lw) {
    int32_t size = arg_size(rq, LINE_ARG);
    if (size > 0) std::memset(arg_data(rq, LINE_ARG), 0, static_cast<size_t>(size));
    int64_t needed = lw.sum + 1;
    if ((arg_flags(rq, LINE_ARG) & ARG_DYNAMIC) && size < needed && needed <= INT32_MAX &&
        host_resize(rq, LINE_ARG, static_cast<int32_t>(needed)) == 0)
        size = arg_size(rq, LINE_ARG);
    return {size > 0 ? arg_data(rq, LINE_ARG) : nullptr, size - 1};
}

// Reads column k into the line at p, where `room` bytes are left: its
// first `len` characters, then spaces up to len (a character after them
// may land at p[len]; the next column or the NUL covers it). A NULL, an
// empty value or a failed read gives spaces only.
static SQLRETURN put_column(request &rq, int32_t k, uint8_t *p, int32_t len, int32_t room) {
    int32_t capacity = len + 1 < room ? len + 1 : room;
    uint8_t *destination = p;
    SQLLEN got = 0;
    SQLRETURN rc = column_getdata(rq.slot->stmt, static_cast<SQLUSMALLINT>(k), SQL_C_CHAR, &destination, capacity, &got);
    size_t received = 0;
    if (sql_ok(rc) && got > 0) {
        const void *nul = std::memchr(p, '\0', static_cast<size_t>(len));
        received = nul ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - p) : static_cast<size_t>(len);
    }
    std::memset(p + received, ' ', static_cast<size_t>(len) - received);
    return check_column(rq, k, rc);
}

// +24 receives n, or the number of columns in the line when it filled the
// room first. Flags 4 and 8 are refused after the variable was cleared.
SQLRETURN fetch_into_line(request &rq, int32_t n, SQLRETURN last) {
    line_widths lw;
    read_widths(rq, n, &lw);
    line_area line = prepare_line(rq, lw);
    if (static_cast<uint16_t>(status_subcode(rq)) & (FETCH_LINE_UNSUPPORTED_4 | FETCH_LINE_UNSUPPORTED_8)) {
        set_status(rq, ST_UNSUPPORTED);
        return last;
    }
    if (line.p == nullptr) return last; // nothing can be written: +24 stays 0
    set_result(rq, n);
    for (int32_t k = 1; k <= n; ++k) {
        int32_t w = width_of(lw, k);
        int32_t len = w < line.room ? w : line.room;
        last = put_column(rq, k, line.p, len, line.room);
        line.p += len;
        line.room -= len;
        if (line.room <= 0) {
            set_result(rq, k);
            break;
        }
    }
    *line.p = 0;
    return last;
}
