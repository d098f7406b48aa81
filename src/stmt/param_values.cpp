// param_values.cpp - reading OP_QUERY's value arguments (4..n) and binding
// them to the statement's markers, by the type of each host variable. The
// library binds the host's own data areas for texts, raw values and
// doubles, so nothing of a value is copied or written; integers, which
// arrive through HS_GETNUM, are bound from the library's cells.
#include "stmt/param_values.h"

#include <cstdio>
#include <cstring>

#include "host/heap.h"
#include "host/request.h"
#include "host/trace.h"

// One marker's length or indicator, and the integer it is bound from.
struct param_cell {
    SQLLEN length;
    SQLINTEGER number;
    SQLBIGINT wide;
};

// The cells of markers 1..cell_count, grown to the largest marker count
// seen and kept until OP_SHUTDOWN, so that a request allocates nothing
// once the first one has run.
static param_cell *cells = nullptr;
static int cell_count = 0;

// One value as SQLBindParameter takes it.
struct bound_value {
    SQLSMALLINT c_type;
    SQLSMALLINT sql_type;
    SQLULEN column_size;
    SQLPOINTER data;
    SQLLEN buffer_length;
};

// Where a value stands: its argument, its element (0 for a scalar) and its
// bytes; the cell receives an integer and the length.
struct value_source {
    const request *rq;
    int arg;
    int32_t element;
    const uint8_t *bytes;
    int32_t size;
    param_cell *cell;
};

typedef bound_value (*value_reader)(const value_source &src, const value_sql_types &types);

// At least one column: a driver may refuse a size of 0 for an empty value.
static SQLULEN column_size_for(SQLLEN length) { return length > 0 ? static_cast<SQLULEN>(length) : 1; }

// A text ends at its first NUL within the area, or fills it.
static bound_value read_text(const value_source &src, const value_sql_types &types) {
    const void *nul = std::memchr(src.bytes, '\0', static_cast<size_t>(src.size));
    SQLLEN length = nul ? static_cast<const uint8_t *>(nul) - src.bytes : src.size;
    src.cell->length = length;
    return {SQL_C_CHAR, types.text, column_size_for(length), const_cast<uint8_t *>(src.bytes), length};
}

// A raw value is every byte of the area, zero bytes included.
static bound_value read_raw(const value_source &src, const value_sql_types &types) {
    src.cell->length = src.size;
    return {SQL_C_BINARY, types.binary, column_size_for(src.size), const_cast<uint8_t *>(src.bytes), src.size};
}

static bound_value read_double(const value_source &src, const value_sql_types &) {
    src.cell->length = sizeof(double);
    return {SQL_C_DOUBLE, SQL_DOUBLE, 15, const_cast<uint8_t *>(src.bytes), sizeof(double)};
}

// The host's 32-bit value of the argument, or of its element.
static int32_t read_number(const value_source &src) {
    int argno = src.element > 0 ? ARGNO_ELEMENT(src.element, src.arg) : src.arg;
    return host_getnum(*src.rq, argno);
}

static bound_value read_integer(const value_source &src, const value_sql_types &) {
    src.cell->number = read_number(src);
    src.cell->length = sizeof(SQLINTEGER);
    return {SQL_C_SLONG, SQL_INTEGER, 10, &src.cell->number, sizeof(SQLINTEGER)};
}

// HV_BINARY holds an unsigned 32-bit number, as the fetch stores it. It is
// bound widened to a signed 64-bit one: SQLite's driver reads SQL_C_ULONG
// as signed, and 4000000000 would arrive as -294967296.
static bound_value read_unsigned(const value_source &src, const value_sql_types &) {
    src.cell->wide = static_cast<uint32_t>(read_number(src));
    src.cell->length = sizeof(SQLBIGINT);
    return {SQL_C_SBIGINT, SQL_BIGINT, 19, &src.cell->wide, sizeof(SQLBIGINT)};
}

// How each host variable type is read; any type not named is raw.
struct value_kind {
    int host_type;
    value_reader read;
    bool reads_area;       // the value is in the data area, which must exist
    int32_t element_size;  // the one element size an array of it may have; 0 any above 0
};
static const value_kind value_kinds[] = {
    {HV_TEXT, read_text, true, 0},
    {HV_FLOAT, read_double, true, sizeof(double)},
    {HV_INTEGER, read_integer, false, 0},
    {HV_BINARY, read_unsigned, false, 0},
};
static const value_kind raw_kind = {HV_RAW, read_raw, true, 0};

static const value_kind &kind_of(uint16_t flags) {
    for (const value_kind &k : value_kinds)
        if (k.host_type == (flags & HV_TYPE_MASK)) return k;
    return raw_kind;
}

static int16_t check_value_arg(const request &rq, int arg) {
    uint16_t flags = arg_flags(rq, arg);
    const value_kind &kind = kind_of(flags);
    int32_t size = arg_size(rq, arg);
    bool array = (flags & ARG_ARRAY) != 0;
    if (array && (flags & ARG_DYNAMIC)) return ST_UNSUPPORTED;
    if (size < 0 || (kind.reads_area && arg_data(rq, arg) == nullptr)) return ST_BADARG;
    if (array && (size == 0 || (kind.element_size != 0 && size != kind.element_size))) return ST_BADARG;
    if (!array && kind.element_size != 0 && size < kind.element_size) return ST_BADARG;
    return ST_OK;
}

int16_t check_value_args(const request &rq) {
    int16_t found = ST_OK;
    for (int arg = FIRST_VALUE_ARG; arg <= arg_count(rq); ++arg) {
        int16_t st = check_value_arg(rq, arg);
        if (st == ST_BADARG) return st;
        if (st != ST_OK) found = st;
    }
    return found;
}

int bound_value_count(const request &rq, int markers) {
    int values = arg_count(rq) - (FIRST_VALUE_ARG - 1);
    if (values < 0) values = 0;
    return markers < values ? markers : values;
}

bool binds_array(const request &rq, int bound) {
    for (int m = 1; m <= bound; ++m)
        if (arg_flags(rq, FIRST_VALUE_ARG - 1 + m) & ARG_ARRAY) return true;
    return false;
}

bool reserve_value_cells(int count) {
    if (count <= cell_count) return true;
    void *grown = heap_realloc(cells, static_cast<size_t>(count) * sizeof(param_cell));
    if (grown == nullptr) return false;
    cells = static_cast<param_cell *>(grown);
    cell_count = count;
    return true;
}

// The value for the trace: texts and raw values as their bytes, numbers
// written out as text.
static void trace_bound_value(int32_t row, SQLUSMALLINT marker, const bound_value &v) {
    char number[32];
    int n;
    switch (v.c_type) {
    case SQL_C_SLONG:
        n = std::snprintf(number, sizeof number, "%ld", static_cast<long>(*static_cast<SQLINTEGER *>(v.data)));
        break;
    case SQL_C_SBIGINT:
        n = std::snprintf(number, sizeof number, "%lld", static_cast<long long>(*static_cast<SQLBIGINT *>(v.data)));
        break;
    case SQL_C_DOUBLE: {
        double d;
        std::memcpy(&d, v.data, sizeof d); // the host's area need not be aligned
        n = std::snprintf(number, sizeof number, "%.17g", d);
        break;
    }
    default:
        trace_value(row, marker, v.data, static_cast<size_t>(v.buffer_length));
        return;
    }
    trace_value(row, marker, number, n > 0 ? static_cast<size_t>(n) : 0);
}

// Every value bound by the library passes here: its row, its marker and
// the bytes (or number) bound.
static SQLRETURN bind_value(SQLHSTMT stmt, int32_t row, SQLUSMALLINT marker, const bound_value &v,
                            SQLLEN *length) {
    if (trace_values_on) trace_bound_value(row, marker, v);
    return SQLBindParameter(stmt, marker, SQL_PARAM_INPUT, v.c_type, v.sql_type, v.column_size, 0, v.data,
                            v.buffer_length, length);
}

static value_source source_of(const request &rq, int arg, int32_t row, param_cell *cell) {
    bool array = (arg_flags(rq, arg) & ARG_ARRAY) != 0;
    int32_t size = arg_size(rq, arg);
    const uint8_t *bytes = arg_data(rq, arg);
    if (array && bytes != nullptr) bytes += static_cast<size_t>(row - 1) * static_cast<size_t>(size);
    return {&rq, arg, array ? row : 0, bytes, size, cell};
}

SQLRETURN bind_row(const request &rq, SQLHSTMT stmt, int bound, int32_t row, const value_sql_types &types) {
    for (int m = 1; m <= bound; ++m) {
        int arg = FIRST_VALUE_ARG - 1 + m;
        param_cell *cell = &cells[m - 1];
        bound_value v = kind_of(arg_flags(rq, arg)).read(source_of(rq, arg, row, cell), types);
        SQLRETURN rc = bind_value(stmt, row, static_cast<SQLUSMALLINT>(m), v, &cell->length);
        if (!sql_ok(rc)) return rc;
    }
    return SQL_SUCCESS;
}

void param_values_release() {
    heap_free(cells);
    cells = nullptr;
    cell_count = 0;
}
