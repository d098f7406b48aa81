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
// `delivered` is the text of a binary value, told by the column's field type
// code and display size: a BLOB column always holds one; a TINY column (the
// code of an SQL BINARY column, but also of a TINYINT) when the value is
// SQLite's literal, or when the driver delivers raw bytes and the column is
// wider than a TINYINT's four characters. An empty value of a binary
// column is "\x"; the caller keeps an empty text that may stand for NULL
// (the array fetch form's) from it.
bool binary_shown(const std::string &delivered, int32_t type_code, int32_t display_size,
                  binary_delivery delivery, std::string *shown);

#endif
