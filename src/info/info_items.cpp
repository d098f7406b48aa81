// info_items.cpp - OP_INFO: the ten information items selected by sql_status
// +2. Texts from the driver or of the library go to argument 3; numbers go to
// +24, the row count to +28.
#include "info/info_items.h"

#include <cstdio>
#include <cstring>

#include "conn/slots.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/request.h"

// The library's own name and version, as items 7 and 8 report them. The
// version comes from the build (the project's version in CMakeLists.txt),
// which also stamps it into the Windows version resources and the release
// archives. Its number packs the parts as 1.4.109.0 -> 1401090.
static const char library_name[] = "RORIDOREZU";
static const char interface_name[] = "ODBC";
static const int version_parts[4] = {RORI_VERSION_MAJOR, RORI_VERSION_MINOR, RORI_VERSION_PATCH, RORI_VERSION_TWEAK};
static const int32_t library_version_number =
    RORI_VERSION_MAJOR * 1000000 + RORI_VERSION_MINOR * 100000 + RORI_VERSION_PATCH * 10 + RORI_VERSION_TWEAK;

// Size of the text buffer for an answer of the driver, NUL included.
#define INFO_TEXT_SIZE 240

enum item_kind {
    ITEM_DRIVER_TEXT,     // SQLGetInfo text, +24 its version_number
    ITEM_UNSUPPORTED,     // the empty text, ST_UNSUPPORTED
    ITEM_COLUMN_COUNT,    // SQLNumResultCols into +24
    ITEM_ROW_COUNT,       // SQLRowCount into +28
    ITEM_FIXED_TEXT,      // a text of the library
    ITEM_LIBRARY_VERSION, // the library's version text, its number in +24
};

struct info_item {
    item_kind kind;
    bool needs_text_arg;    // argument 3 must be present
    SQLUSMALLINT info_type; // ITEM_DRIVER_TEXT: what SQLGetInfo is asked
    const char *text;       // ITEM_FIXED_TEXT: what is stored
};

// Items 1 to 10, in order.
static const info_item info_items[] = {
    {ITEM_DRIVER_TEXT, true, SQL_DRIVER_NAME, nullptr},
    {ITEM_DRIVER_TEXT, true, SQL_DBMS_VER, nullptr},
    {ITEM_DRIVER_TEXT, true, SQL_DRIVER_VER, nullptr},
    {ITEM_UNSUPPORTED, true, 0, nullptr},
    {ITEM_COLUMN_COUNT, false, 0, nullptr},
    {ITEM_ROW_COUNT, false, 0, nullptr},
    {ITEM_FIXED_TEXT, true, 0, library_name},
    {ITEM_LIBRARY_VERSION, true, 0, nullptr},
    {ITEM_FIXED_TEXT, true, 0, interface_name},
    {ITEM_ROW_COUNT, false, 0, nullptr},
};
#define INFO_ITEM_COUNT (static_cast<int>(sizeof info_items / sizeof info_items[0]))

static bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The decimal number at offset `at` of a text of length len, read as atoi
// reads one (white space, a sign, then digits up to the first other
// character) but never past the text's end, and held at INT32_MAX in size
// where atoi would overflow; 0 past the end or without a digit.
static int32_t version_part(const char *text, size_t len, size_t at) {
    size_t i = at;
    while (i < len && is_blank(text[i])) ++i;
    bool negative = i < len && text[i] == '-';
    if (i < len && (text[i] == '-' || text[i] == '+')) ++i;
    int64_t value = 0;
    for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i)
        if (value < INT32_MAX) value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(negative ? -value : value);
}

int32_t version_number(const char *text) {
    size_t len = std::strlen(text);
    if (len < 3 || text[2] != '.') return 0;
    // Unsigned arithmetic: an absurd text wraps around instead of overflowing.
    uint32_t major = static_cast<uint32_t>(version_part(text, len, 0));
    uint32_t minor = static_cast<uint32_t>(version_part(text, len, 3));
    uint32_t build = static_cast<uint32_t>(version_part(text, len, 6));
    return static_cast<int32_t>(major * 1000000u + minor * 100u + build);
}

// Items 1 to 3. A failed SQLGetInfo is a failure: ST_SQLERROR, and the
// diagnostics step puts its message into argument 3.
static void answer_driver_text(request &rq, const info_item &item) {
    char text[INFO_TEXT_SIZE] = "";
    SQLSMALLINT text_len = 0;
    SQLRETURN rc = SQLGetInfo(rq.slot->dbc, item.info_type, text, INFO_TEXT_SIZE, &text_len);
    host_puttext(rq, 3, text);
    set_result(rq, version_number(text));
    if (!sql_ok(rc)) set_status(rq, ST_SQLERROR);
    diag_on_dbc(rq, rc);
}

static void answer_column_count(request &rq) {
    SQLSMALLINT count = 0;
    SQLRETURN rc = SQLNumResultCols(rq.slot->stmt, &count);
    if (sql_ok(rc))
        set_result(rq, count);
    else
        set_status(rq, ST_SQLERROR);
    diag_on_stmt(rq, rc);
}

// Only SQL_SUCCESS counts: a row count that came with a warning is refused.
static void answer_row_count(request &rq) {
    SQLLEN count = 0;
    SQLRETURN rc = SQLRowCount(rq.slot->stmt, &count);
    if (rc == SQL_SUCCESS) {
        set_rowcount(rq, static_cast<double>(count));
        return;
    }
    set_rowcount(rq, 0.0);
    set_status(rq, ST_SQLERROR);
    diag_on_stmt(rq, rc);
}

static void answer_library_version(request &rq) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", version_parts[0], version_parts[1], version_parts[2],
                  version_parts[3]);
    set_result(rq, library_version_number);
    host_puttext(rq, 3, text);
}

// Items 5, 6 and 10 work on the slot's statement.
static bool needs_statement(item_kind kind) { return kind == ITEM_COLUMN_COUNT || kind == ITEM_ROW_COUNT; }

void op_info(request &rq) {
    int item_number = status_subcode(rq);
    bool known = item_number >= 1 && item_number <= INFO_ITEM_COUNT;
    // The argument count is judged first: an unknown item without argument 3
    // is ST_ARGS, not ST_BADARG.
    if (arg_count(rq) < 3 && (!known || info_items[item_number - 1].needs_text_arg)) {
        set_status(rq, ST_ARGS);
        return;
    }
    if (!known) {
        set_status(rq, ST_BADARG);
        return;
    }
    const info_item &item = info_items[item_number - 1];
    if (needs_statement(item.kind) && rq.slot->stmt == nullptr) {
        set_status(rq, ST_NOSTMT);
        return;
    }
    switch (item.kind) {
    case ITEM_DRIVER_TEXT: answer_driver_text(rq, item); break;
    case ITEM_UNSUPPORTED:
        host_puttext(rq, 3, "");
        set_status(rq, ST_UNSUPPORTED);
        break;
    case ITEM_COLUMN_COUNT: answer_column_count(rq); break;
    case ITEM_ROW_COUNT: answer_row_count(rq); break;
    case ITEM_FIXED_TEXT: host_puttext(rq, 3, item.text); break;
    case ITEM_LIBRARY_VERSION: answer_library_version(rq); break;
    }
}
