// trace.cpp - the lines of the support trace (trace.h): what a request
// asked for, noted before its handler runs, and how it ended, written when
// it returns. Every buffer is fixed and process-wide (requests run one at
// a time), so a traced request allocates nothing and its work is bounded
// by the cuts below, whatever the statement or the values.
#include "host/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/request.h"
#include "host/trace_file.h"

bool trace_on = false;
bool trace_values_on = false;

#define STATEMENT_CUT 4000  // bytes of a statement or connect text written
#define VALUE_CUT 100       // bytes of a parameter value written
#define VALUES_PER_REQUEST 20
#define VALUE_ROWS 3        // rows of an array of parameter values written
#define LISTED_ARGS 16      // operands whose type and size are written
// An escaped byte takes at most 4 characters (\xHH).
#define OPERANDS_CAP (STATEMENT_CUT * 4 + LISTED_ARGS * 32 + 128)
#define VALUES_CAP (VALUES_PER_REQUEST * (VALUE_CUT * 4 + 32) + 32)
#define LINE_CAP (OPERANDS_CAP + VALUES_CAP + 512)

// Text composed into a fixed buffer; what does not fit is dropped.
struct line_buf {
    char *text;
    size_t cap;
    size_t len;
};

static void put_bytes(line_buf &b, const char *s, size_t n) {
    if (n > b.cap - b.len) n = b.cap - b.len;
    std::memcpy(b.text + b.len, s, n);
    b.len += n;
}

static void put_format(line_buf &b, const char *format, ...) {
    size_t room = b.cap - b.len;
    if (room < 2) return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(b.text + b.len, room, format, args);
    va_end(args);
    if (n > 0) b.len += static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
}

// Line feeds, tabs and other control bytes never reach the line as they
// are, so that one request stays one line of fields.
static void put_escaped(line_buf &b, const char *s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\n')
            put_bytes(b, "\\n", 2);
        else if (c == '\t')
            put_bytes(b, "\\t", 2);
        else if (c == '\\')
            put_bytes(b, "\\\\", 2);
        else if (c < 0x20 || c == 0x7f)
            put_format(b, "\\x%02x", c);
        else
            put_bytes(b, s + i, 1);
    }
}

// --- what the request asked for ---------------------------------------------

static const char *const opcode_names[OP_LAST + 1] = {
    nullptr,          "OP_INIT",        "OP_SHUTDOWN",    "OP_GETERROR",    "OP_NEWCONN",
    nullptr,          "OP_CONNECT",     "OP_DISCONNECT",  "OP_INFO",        "OP_QUERY",
    "OP_DESCRIBE",    "OP_SETFIELDS",   "OP_FETCH",       "OP_FREESTMT",    "OP_GETCONNATTR",
    "OP_SETCONNATTR", "OP_GETSTMTATTR", "OP_SETSTMTATTR", "OP_DATASOURCES",
};

// Index: the low 4 bits of an operand's type.
static const char *const type_names[16] = {"raw", "raw",     "text", "raw", "float", "raw", "binary", "raw",
                                           "integer", "raw", "raw", "raw", "raw", "raw", "raw", "raw"};

// The text operand whose content the line shows, by opcode: the statement,
// or the connect text with its secrets masked.
enum shown_text { TEXT_NONE, TEXT_PLAIN, TEXT_CONNECT };

static shown_text text_shown(int32_t opcode) {
    if (opcode == OP_QUERY) return TEXT_PLAIN;
    if (opcode == OP_CONNECT) return TEXT_CONNECT;
    return TEXT_NONE;
}

static char operands_text[OPERANDS_CAP];
static line_buf operands{operands_text, sizeof operands_text, 0};
static char values_text[VALUES_CAP];
static line_buf values{values_text, sizeof values_text, 0};
static int values_written;
static int values_left_out;
static char start_time[40];
static uint64_t start_us;

// The connect keywords whose values are no secret. The value of any other
// key is masked: pw, and also a key OP_CONNECT does not know (-PW=, -pwd=),
// which may well hold a password all the same.
static const char *const plain_connect_keys[] = {"host", "user", "db", "sockfile", "port", "flags"};

static bool is_plain_key(const char *key, size_t n) {
    for (const char *k : plain_connect_keys)
        if (std::strlen(k) == n && std::memcmp(key, k, n) == 0) return true;
    return false;
}

// A scrambled value starts with its form's byte: 1, 2 or 3.
static bool is_scrambled(const char *value, size_t n) { return n > 0 && value[0] >= 1 && value[0] <= 3; }

// The connect text as OP_CONNECT splits it ("-key=value" settings joined by
// " -"), with every scrambled value and the value of every key but the plain
// ones written as ***. A rest without "=" after a masked value is masked
// too: it is the part of a password after a " -" in it.
static void put_masked_connect_text(line_buf &b, const char *text, size_t len) {
    size_t i = 0;
    bool after_secret = false;
    while (i < len) {
        const char *eq = static_cast<const char *>(std::memchr(text + i, '=', len - i));
        if (eq == nullptr) {
            if (after_secret)
                put_bytes(b, "***", 3);
            else
                put_escaped(b, text + i, len - i);
            return;
        }
        size_t value_at = static_cast<size_t>(eq - text) + 1;
        size_t end = value_at;
        while (end < len && !(text[end] == ' ' && end + 1 < len && text[end + 1] == '-')) ++end;
        put_escaped(b, text + i, value_at - i);
        size_t key_at = i + 1; // the character in front of a key is not part of it
        bool secret = key_at >= value_at || !is_plain_key(text + key_at, value_at - 1 - key_at) ||
                      is_scrambled(text + value_at, end - value_at);
        after_secret = secret;
        if (secret)
            put_bytes(b, "***", 3);
        else
            put_escaped(b, text + value_at, end - value_at);
        if (end < len) put_bytes(b, " ", 1);
        i = end + 1;
    }
}

// Back to the first byte of a UTF-8 character, so a cut never splits one.
static size_t cut_at_character(const char *text, size_t cut) {
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

// Argument 3's text, up to its NUL within its area.
static void put_text_operand(line_buf &b, const request &rq, shown_text shown) {
    if (shown == TEXT_NONE || arg_count(rq) < 3 || (arg_flags(rq, 3) & ARG_ARRAY) != 0) return;
    const char *text = reinterpret_cast<const char *>(arg_data(rq, 3));
    int32_t size = arg_size(rq, 3);
    if (text == nullptr || size <= 0) return;
    const void *nul = std::memchr(text, '\0', static_cast<size_t>(size));
    size_t len = nul ? static_cast<size_t>(static_cast<const char *>(nul) - text) : static_cast<size_t>(size);
    size_t shown_len = len > STATEMENT_CUT ? cut_at_character(text, STATEMENT_CUT) : len;
    if (shown == TEXT_CONNECT)
        put_masked_connect_text(b, text, shown_len);
    else
        put_escaped(b, text, shown_len);
    if (shown_len < len) put_format(b, " [cut: %lu bytes]", static_cast<unsigned long>(len));
}

// "+2=0 +4=0 3:text/256 4:integer/8+dynamic": the request's sub-code and
// parameter, then each operand's type and size.
static void put_operand_list(line_buf &b, const request &rq) {
    if (rq.status != nullptr)
        put_format(b, "+2=%d +4=%d", rd_i16(rq.status, SS_SUBCODE), rd_i32(rq.status, SS_PARAM));
    int32_t argc = arg_count(rq);
    for (int k = 3; k <= argc && k < 3 + LISTED_ARGS; ++k) {
        uint16_t flags = arg_flags(rq, k);
        put_format(b, " %d:%s/%d%s%s", k, type_names[flags & HV_TYPE_MASK], arg_size(rq, k),
                   flags & ARG_ARRAY ? "+array" : "", flags & ARG_DYNAMIC ? "+dynamic" : "");
    }
    if (argc >= 3 + LISTED_ARGS) put_format(b, " (%d operands)", argc - 2);
}

void trace_begin(const request &rq) {
    start_us = trace_clock_us();
    trace_utc_time(start_time, sizeof start_time);
    operands.len = 0;
    values.len = 0;
    values_written = 0;
    values_left_out = 0;
    if (rq.status == nullptr) return; // a block under 48 bytes: the request ends at once
    put_operand_list(operands, rq);
    put_bytes(operands, "\t", 1);
    put_text_operand(operands, rq, text_shown(rq.opcode));
}

void trace_value_record(int32_t row, int marker, const void *data, size_t len) {
    if (row < 1 || row > VALUE_ROWS) return;
    if (values_written == VALUES_PER_REQUEST) {
        ++values_left_out;
        return;
    }
    ++values_written;
    if (values.len > 0) put_bytes(values, " ", 1);
    if (data == nullptr) {
        put_format(values, "%d:%d=NULL", row, marker);
        return;
    }
    put_format(values, "%d:%d=%lu:", row, marker, static_cast<unsigned long>(len));
    put_escaped(values, static_cast<const char *>(data), len < VALUE_CUT ? len : VALUE_CUT);
}

// --- the line -----------------------------------------------------------------

static char line_text[LINE_CAP];

static void put_opcode_name(line_buf &b, int32_t opcode) {
    const char *name = static_cast<uint32_t>(opcode) <= OP_LAST ? opcode_names[opcode] : nullptr;
    if (name != nullptr)
        put_bytes(b, name, std::strlen(name));
    else
        put_format(b, "%d", opcode);
}

// Status, +36, +20, +24 and +28 as the request left them; only the status
// for a block that was too small to be written.
static void put_outcome(line_buf &b, const request &rq, int status) {
    put_format(b, "%d\t", status);
    if (rq.status == nullptr) {
        put_bytes(b, "\t\t\t", 3);
        return;
    }
    const char *state = reinterpret_cast<const char *>(rq.status + SS_SQLSTATE);
    const void *nul = std::memchr(state, '\0', 6);
    put_escaped(b, state, nul ? static_cast<size_t>(static_cast<const char *>(nul) - state) : 6);
    put_format(b, "\t%d\t%d\t%.15g", rd_swapped(rq.status, SS_NATIVE), rd_swapped(rq.status, SS_RESULT),
               rd_f64(rq.status, SS_ROWCOUNT));
}

void trace_end(const request &rq, int status) {
    line_buf line{line_text, sizeof line_text, 0};
    put_format(line, "%s\t%lu\t", start_time, trace_thread_id());
    if (rq.status != nullptr) put_format(line, "%u", rq.status[SS_SLOT]);
    put_bytes(line, "\t", 1);
    put_opcode_name(line, rq.opcode);
    put_bytes(line, "\t", 1);
    put_bytes(line, operands.text, operands.len);
    if (rq.status == nullptr) put_bytes(line, "\t", 1);
    put_bytes(line, "\t", 1);
    put_outcome(line, rq, status);
    put_format(line, "\t%lu", static_cast<unsigned long>(trace_clock_us() - start_us));
    if (values.len > 0) {
        put_bytes(line, "\t", 1);
        put_bytes(line, values.text, values.len);
        if (values_left_out > 0) put_format(line, " (%d more)", values_left_out);
    }
    line.len = line.len < line.cap ? line.len : line.cap - 1;
    line.text[line.len++] = '\n';
    trace_file_write(line.text, line.len);
    if (rq.opcode == OP_SHUTDOWN) {
        trace_file_close();
        trace_on = trace_values_on = false;
    }
}

void trace_refused_call(void *p) {
    char text[160];
    line_buf line{text, sizeof text, 0};
    trace_utc_time(text, sizeof text);
    line.len = std::strlen(text);
    put_format(line, "\t%lu\t", trace_thread_id());
    request rq{};
    rq.params = static_cast<uint8_t *>(p);
    if (static_cast<uint32_t>(arg_size(rq, 2)) >= SQL_STATUS_MIN) put_format(line, "%u", arg_data(rq, 2)[SS_SLOT]);
    put_format(line, "\t-\t\t\t%d\t\t\t\t\t0\n", ST_BUSY);
    trace_file_write(line.text, line.len);
}

void trace_configure() {
    static char path[4096];
    const char *named = trace_setting("RORIDOREZU_TRACE", path, sizeof path);
    trace_on = named != nullptr && trace_file_open(named);
    if (!trace_on) trace_file_close();
    char flag[8];
    const char *values_setting = trace_setting("RORIDOREZU_TRACE_VALUES", flag, sizeof flag);
    trace_values_on = trace_on && values_setting != nullptr && std::strcmp(values_setting, "1") == 0;
}
