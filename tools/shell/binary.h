// binary.h - binary column values, shown in one notation whatever the
// driver delivered: "\x" and two lower-case hex digits a byte, as psql
// shows a bytea. Drivers hand binary columns over as text in three ways:
// hex digits (the ODBC rule, e.g. PostgreSQL), an SQL literal X'..'
// (SQLite), or the raw bytes themselves (MariaDB).
#ifndef RORI_SHELL_BINARY_H
#define RORI_SHELL_BINARY_H

#include <cstdint>
#include <string>

// How a connection's driver delivers binary columns as text.
enum class binary_delivery { hex_digits, raw_bytes };

// From the driver's file name (information item 1).
binary_delivery delivery_of_driver(const std::string &driver_name);

// The value in the one notation: *shown is set and true is returned when
// `delivered` is the text of a binary value. The column's field type code
// and display size tell binary columns:
// - BLOB (SQL_VARBINARY, SQL_LONGVARBINARY): always binary;
// - BIT (SQL_BIT): binary unless the value is the text "0" or "1", which
//   is what a driver following the ODBC rule delivers;
// - TINY (SQL_BINARY, but also TINYINT and types unknown to the library):
//   binary when the value is SQLite's literal, or when the driver delivers
//   raw bytes and the display size is not a TINYINT's. A BINARY(n) column
//   shows 2n hex digits, a TINYINT three or four characters; at four, the
//   value decides: a TINYINT's number stays text.
// An empty value of a binary column is "\x"; the caller keeps an empty text
// that may stand for NULL (the array fetch form's) from it.
bool binary_shown(const std::string &delivered, int32_t type_code, int32_t display_size,
                  binary_delivery delivery, std::string *shown);

#endif
