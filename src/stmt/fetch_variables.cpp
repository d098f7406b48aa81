// fetch_variables.cpp - the variable form of OP_FETCH: column k of the row
// goes into argument k + 2, converted as the variable's type asks. Integer
// types are read into a 32-bit work value and stored through the host; the
// others are written into the variable's area, within its size.
#include "conn/slots.h"
#include "host/request.h"
#include "stmt/fetch_forms.h"
#include "stmt/fields.h"
#include "stmt/getdata.h"

#define FIRST_VARIABLE_ARG 3

// Host variable type -> how its column is read and delivered.
struct host_type_rule {
    int type;
    SQLSMALLINT target_type;
    int32_t capacity; // bytes of the value; 0: the variable's size
    bool via_putnum;  // read into the work value, stored with HS_PUTNUM
};
static const host_type_rule host_type_table[] = {
    {HV_TEXT, SQL_C_CHAR, 0, false},
    {HV_FLOAT, SQL_C_DOUBLE, sizeof(double), false},
    {HV_BINARY, SQL_C_ULONG, sizeof(int32_t), true},
    {HV_INTEGER, SQL_C_SLONG, sizeof(int32_t), true},
};
// Every other type takes the value's bytes as they are.
static const host_type_rule raw_rule = {0, SQL_C_BINARY, 0, false};

static const host_type_rule &rule_for(int type) {
    for (const host_type_rule &r : host_type_table)
        if (r.type == type) return r;
    return raw_rule;
}

// Where the value goes: the work value, or the variable's area; an HV_FLOAT
// variable smaller than a double receives only its size's worth of bytes.
struct value_target {
    uint8_t *p;
    int32_t capacity;
};

static value_target target_for(const request &rq, int argno, const host_type_rule &rule, int32_t *work) {
    if (rule.via_putnum) return {reinterpret_cast<uint8_t *>(work), rule.capacity};
    int32_t size = arg_size(rq, argno);
    return {arg_data(rq, argno), rule.capacity != 0 && rule.capacity < size ? rule.capacity : size};
}

// A dynamic variable no larger than its column's width is grown before the
// value is stored: to the width and one byte, or for widths above 255 to
// twice the value's length (at most the width) and one byte. The width is
// the driver's display size in characters, which a value may exceed in
// bytes; a text or raw variable still too small then grows to the value's
// length and one byte, so that it receives the whole value.
static bool is_dynamic(const request &rq, int argno) { return (arg_flags(rq, argno) & ARG_DYNAMIC) != 0; }

static int32_t sized_length(int32_t width, SQLLEN value_length) {
    int64_t want = width > 255 && 2 * static_cast<int64_t>(value_length) < width ? 2 * static_cast<int64_t>(value_length)
                                                                                : width;
    return want < INT32_MAX ? static_cast<int32_t>(want) : INT32_MAX - 1;
}

// Grows the variable of a value of len bytes, as far as the host allows.
static void size_variable(request &rq, int argno, int32_t k, const host_type_rule &rule, SQLLEN len) {
    int32_t width = field_width(rq.slot, k);
    if (arg_size(rq, argno) <= width) host_resize(rq, argno, sized_length(width, len) + 1);
    bool takes_variable_size = rule.capacity == 0; // text and raw values
    if (takes_variable_size && len >= arg_size(rq, argno) && len < INT32_MAX)
        host_resize(rq, argno, static_cast<int32_t>(len) + 1);
}

// The column is read once, whole, into the scratch buffer; its length sizes
// the variable, and the value is copied from there. A NULL or a failed read
// resizes nothing.
static SQLRETURN read_sized(request &rq, int argno, int32_t k, const host_type_rule &rule, int32_t *work) {
    uint8_t *held = nullptr;
    SQLLEN len = 0;
    SQLRETURN rc = column_getdata(rq.slot->stmt, static_cast<SQLUSMALLINT>(k), rule.target_type, &held, 0, &len);
    if (!sql_ok(rc)) return rc;
    if (len >= 0) size_variable(rq, argno, k, rule, len);
    value_target t = target_for(rq, argno, rule, work);
    getdata_copy(held, rule.target_type, len, t.p, t.capacity);
    return rc;
}

static SQLRETURN read_direct(request &rq, int argno, int32_t k, const host_type_rule &rule, int32_t *work) {
    value_target t = target_for(rq, argno, rule, work);
    SQLLEN len = 0;
    return column_getdata(rq.slot->stmt, static_cast<SQLUSMALLINT>(k), rule.target_type, &t.p, t.capacity, &len);
}

// Returns the new last result; *delivered tells whether the column counts
// as delivered (read, or failed with a readable diagnostic record).
static SQLRETURN deliver_column(request &rq, int argno, int32_t k, bool *delivered) {
    const host_type_rule &rule = rule_for(arg_flags(rq, argno) & HV_TYPE_MASK);
    int32_t work = 0;
    SQLRETURN rc = is_dynamic(rq, argno) ? read_sized(rq, argno, k, rule, &work)
                                         : read_direct(rq, argno, k, rule, &work);
    SQLRETURN last = check_column(rq, k, rc);
    *delivered = sql_ok(last);
    if (*delivered && rule.via_putnum) host_putnum(rq, argno, static_cast<int64_t>(work)); // sign-extended
    return last;
}

// Arguments beyond the row's columns, and columns beyond the arguments, are
// left alone; +24 receives the number of columns delivered.
SQLRETURN fetch_into_variables(request &rq, int32_t n, SQLRETURN last) {
    int32_t delivered = 0;
    for (int argno = FIRST_VARIABLE_ARG; argno <= arg_count(rq) && argno - 2 <= n; ++argno) {
        bool ok = false;
        last = deliver_column(rq, argno, argno - 2, &ok);
        if (ok) ++delivered;
    }
    set_result(rq, delivered);
    return last;
}
