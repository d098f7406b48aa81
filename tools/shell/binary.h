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
// `delivered` is the text of a binary value. The field record tells binary
// columns: its binary flag (FR_FLAG_BINARY) marks SQL_BINARY, SQL_VARBINARY
// and SQL_LONGVARBINARY columns, whose type codes are shared with texts and
// TINYINT; a BIT column (type code 16) is binary unless the value is the
// text "0" or "1", which is what a driver following the ODBC rule delivers.
// An empty value of a binary column is "\x"; the caller keeps an empty text
// that may stand for NULL (the array fetch form's) from it.
bool binary_shown(const std::string &delivered, bool binary_column, int32_t type_code, binary_delivery delivery,
                  std::string *shown);

#endif
