// fields.h - field records: the 224-byte column descriptions of a slot's
// result, filled from ODBC column attributes.
#ifndef RORI_FIELDS_H
#define RORI_FIELDS_H

#include <cstdint>

struct conn_slot;

// Describes the result columns of the slot's statement into its field
// buffer (records 1..min(count, 31)), marks record 0, copies the first
// max_records of them to destination when given, and returns the column
// count that SQLNumResultCols reports (0 when it fails).
int32_t describe_columns(conn_slot *slot, uint8_t *destination, int32_t max_records);

// The field type code for an ODBC SQL type.
int32_t field_type_code(int sql_type);

// The width of column k (from 1) as the slot's field record gives it.
int32_t field_width(const conn_slot *slot, int k);

#endif
