// param_values.h - the values of OP_QUERY's arguments 4..n as the
// statement's markers receive them: the checks of their descriptors, and
// the binding of one row of values.
#ifndef RORI_PARAM_VALUES_H
#define RORI_PARAM_VALUES_H

#include <cstdint>

#include "host/odbc.h"

struct request;

// Argument 4 is the value of marker 1.
#define FIRST_VALUE_ARG 4

// The SQL types that a driver is given for texts and raw values.
struct value_sql_types {
    SQLSMALLINT text;
    SQLSMALLINT binary;
};

// ST_OK when every value argument can be read; ST_UNSUPPORTED for a dynamic
// array; ST_BADARG for a negative size, a missing area, or an array
// element size that does not fit its type. Nothing is read from the values.
int16_t check_value_args(const request &rq);

// The number of values there are for the statement's markers: the smaller
// of the marker count and the count of value arguments.
int bound_value_count(const request &rq, int markers);

// True when one of the first `bound` value arguments is an array.
bool binds_array(const request &rq, int bound);

// Makes room for the lengths and integers of `count` markers; false when
// the memory could not be had.
bool reserve_value_cells(int count);

// Binds markers 1..bound (room reserved) to the values of row `row` (from
// 1): element `row` of an array argument, the one value of any other.
// Returns the first failed SQLBindParameter's result, or SQL_SUCCESS.
SQLRETURN bind_row(const request &rq, SQLHSTMT stmt, int bound, int32_t row, const value_sql_types &types);

// Frees the cells that integer values are bound from (OP_SHUTDOWN).
void param_values_release();

#endif
