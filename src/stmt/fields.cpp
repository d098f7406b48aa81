// fields.cpp - field records: describe_columns, which fills a slot's field
// buffer from ODBC column attributes, the field type code table, the column
// widths that the fetch reads from the records, and the handler of
// OP_DESCRIBE and OP_SETFIELDS.
#include "stmt/fields.h"

#include <cstring>

#include "conn/slots.h"
#include "host/handlers.h"
#include "host/request.h"
#include "stmt/stmt_checks.h"

// Record 0 stands for the bookmark column; this name in it marks the
// buffer as described.
static const char description_marker[] = "bookmarks";

// Field type codes.
enum {
    FT_DECIMAL = 0,
    FT_TINY = 1,
    FT_SHORT = 2,
    FT_LONG = 3,
    FT_FLOAT = 4,
    FT_DOUBLE = 5,
    FT_TIMESTAMP = 7,
    FT_LONGLONG = 8,
    FT_DATE = 10,
    FT_TIME = 11,
    FT_DATETIME = 12,
    FT_VARCHAR = 15,
    FT_BIT = 16,
    FT_BLOB = 252,
    FT_VAR_STRING = 253,
    FT_STRING = 254
};

// ODBC SQL type -> field type code, looked up by the low 8 bits of the SQL
// type, so that negative codes are found under 256 plus the code. Types not
// listed get FT_TINY.
struct type_code_entry {
    int sql_type;
    int32_t code;
};
static const type_code_entry type_code_table[] = {
    {SQL_CHAR, FT_STRING},
    {SQL_NUMERIC, FT_DECIMAL},
    {SQL_DECIMAL, FT_DECIMAL},
    {SQL_INTEGER, FT_LONG},
    {SQL_SMALLINT, FT_SHORT},
    {SQL_FLOAT, FT_FLOAT},
    {SQL_REAL, FT_DOUBLE},
    {SQL_DOUBLE, FT_DOUBLE},
    {SQL_DATETIME, FT_DATETIME},
    {SQL_INTERVAL, FT_TIME},
    {SQL_TIMESTAMP, FT_TIMESTAMP},
    {SQL_VARCHAR, FT_VARCHAR},
    {SQL_TYPE_DATE, FT_DATE},
    {SQL_TYPE_TIME, FT_TIME},
    {SQL_TYPE_TIMESTAMP, FT_TIMESTAMP},
    {SQL_WLONGVARCHAR, FT_BLOB},
    {SQL_WVARCHAR, FT_VAR_STRING},
    {SQL_WCHAR, FT_STRING},
    {SQL_BIT, FT_BIT},
    {SQL_BIGINT, FT_LONGLONG},
    {SQL_LONGVARBINARY, FT_BLOB},
    {SQL_VARBINARY, FT_BLOB},
    {SQL_LONGVARCHAR, FT_VARCHAR},
};

int32_t field_type_code(int sql_type) {
    for (const type_code_entry &e : type_code_table)
        if ((e.sql_type & 0xFF) == (sql_type & 0xFF)) return e.code;
    return FT_TINY;
}

// Text attributes, read in this order; each fills its field and, where
// given, a second field with the same text.
struct text_attr {
    SQLUSMALLINT id;
    int offset;
    int width;
    int copy_offset; // -1: none
};
static const text_attr text_attr_table[] = {
    {SQL_DESC_SCHEMA_NAME, FR_SCHEMA_NAME, FR_TEXT_WIDTH, -1},
    {SQL_DESC_NAME, FR_NAME, FR_TEXT_WIDTH, FR_SOURCE_NAME},
    {SQL_DESC_TABLE_NAME, FR_TABLE_NAME, FR_TEXT_WIDTH, FR_SOURCE_TABLE},
    {SQL_DESC_CATALOG_NAME, FR_CATALOG_NAME, FR_CATALOG_WIDTH, -1},
};

// Flag bits, each set when its attribute has the given value.
struct flag_attr {
    SQLUSMALLINT id;
    SQLLEN value;
    uint32_t bit;
};
static const flag_attr flag_attr_table[] = {
    {SQL_DESC_AUTO_UNIQUE_VALUE, SQL_TRUE, FR_FLAG_AUTO_UNIQUE},
    {SQL_DESC_NULLABLE, SQL_NO_NULLS, FR_FLAG_NOT_NULL},
};

// SQL types of binary columns, which get FR_FLAG_BINARY: their type codes
// are shared with texts (252 with SQL_WLONGVARCHAR) and TINYINT (1).
static const int binary_sql_types[] = {SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY};

static uint32_t binary_flag(SQLLEN sql_type) {
    for (int t : binary_sql_types)
        if (t == sql_type) return FR_FLAG_BINARY;
    return 0;
}

#define ATTR_TEXT_SIZE 128

static uint8_t *field_record(const conn_slot *slot, int k) { return slot->field_buf + FIELD_REC_SIZE * k; }

// A failed call leaves the empty text.
static void read_text_attr(SQLHSTMT stmt, SQLUSMALLINT column, const text_attr &a, uint8_t *rec) {
    char text[ATTR_TEXT_SIZE] = "";
    SQLSMALLINT len = 0;
    if (!sql_ok(SQLColAttribute(stmt, column, a.id, text, ATTR_TEXT_SIZE, &len, nullptr))) text[0] = '\0';
    text[ATTR_TEXT_SIZE - 1] = '\0';
    // Shorter texts are NUL-filled up to the width; longer ones fill it
    // with their first bytes and no NUL.
    std::strncpy(reinterpret_cast<char *>(rec + a.offset), text, static_cast<size_t>(a.width));
    if (a.copy_offset >= 0) std::memcpy(rec + a.copy_offset, rec + a.offset, static_cast<size_t>(a.width));
}

// A failed call gives 0; *read, when asked, tells whether the driver answered.
static SQLLEN read_number_attr(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT id, bool *read = nullptr) {
    SQLLEN value = 0;
    bool ok = sql_ok(SQLColAttribute(stmt, column, id, nullptr, 0, nullptr, &value));
    if (read != nullptr) *read = ok;
    return ok ? value : 0;
}

static void describe_column(SQLHSTMT stmt, SQLUSMALLINT column, uint8_t *rec) {
    for (const text_attr &a : text_attr_table) read_text_attr(stmt, column, a, rec);
    std::memset(rec + FR_DEFAULT_VALUE, 0, FR_TEXT_WIDTH);
    int32_t display_size = static_cast<int32_t>(read_number_attr(stmt, column, SQL_DESC_DISPLAY_SIZE));
    wr_i32(rec, FR_LENGTH, display_size);
    wr_i32(rec, FR_WIDTH, display_size);
    uint32_t flags = 0;
    // A flag is set only on the driver's word: a nullability that could not
    // be read does not make the column NOT NULL.
    for (const flag_attr &f : flag_attr_table) {
        bool read = false;
        if (read_number_attr(stmt, column, f.id, &read) == f.value && read) flags |= f.bit;
    }
    wr_i16(rec, FR_PRECISION, static_cast<int16_t>(read_number_attr(stmt, column, SQL_DESC_PRECISION)));
    wr_i16(rec, FR_RESERVED, 0);
    SQLLEN sql_type = read_number_attr(stmt, column, SQL_DESC_TYPE);
    wr_i32(rec, FR_TYPE_CODE, field_type_code(static_cast<int>(sql_type)));
    wr_i32(rec, FR_FLAGS, static_cast<int32_t>(flags | binary_flag(sql_type)));
}

static int32_t smaller(int32_t a, int32_t b) { return a < b ? a : b; }

// Every column that has a record is described, whatever the caller takes:
// the fetch reads its widths from these records.
int32_t describe_columns(conn_slot *slot, uint8_t *destination, int32_t max_records) {
    SQLSMALLINT count = 0;
    if (!sql_ok(SQLNumResultCols(slot->stmt, &count))) count = 0;
    std::memcpy(field_record(slot, 0), description_marker, sizeof description_marker);
    int32_t described = smaller(count, slot->field_cap - 1);
    for (int32_t k = 1; k <= described; ++k)
        describe_column(slot->stmt, static_cast<SQLUSMALLINT>(k), field_record(slot, k));
    int32_t copied = destination == nullptr ? 0 : smaller(described, max_records);
    if (copied > 0) std::memcpy(destination, field_record(slot, 1), static_cast<size_t>(copied) * FIELD_REC_SIZE);
    return count;
}

// Columns beyond the last record have no width: they take no room in a
// fetched line and give a dynamic variable no size. A negative width (a
// driver's SQL_NO_TOTAL) counts as 0.
int32_t field_width(const conn_slot *slot, int k) {
    if (k < 1 || k >= slot->field_cap) return 0;
    int32_t w = rd_i32(field_record(slot, k), FR_WIDTH);
    return w < 0 ? 0 : w;
}

// OP_DESCRIBE copies the records to the caller's array; OP_SETFIELDS takes
// the caller's records into the field buffer without comparing them with
// the result's columns. The array holds as many whole records as its size
// allows; a size of 0 or less gives it no room.
void op_fields(request &rq) {
    if (!has_args_and_statement(rq)) return;
    conn_slot *slot = rq.slot;
    int32_t size = arg_size(rq, 3);
    int32_t offered = size > 0 ? size / FIELD_REC_SIZE : 0;
    int32_t taken = smaller(offered, slot->field_cap - 1);
    if (rq.opcode == OP_DESCRIBE)
        set_result(rq, describe_columns(slot, arg_data(rq, 3), taken));
    else
        std::memcpy(field_record(slot, 1), arg_data(rq, 3), static_cast<size_t>(taken) * FIELD_REC_SIZE);
}
