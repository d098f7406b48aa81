// getdata.h - reading one column value of the current row through the
// process-wide scratch buffer, which starts at 4096 bytes and grows to the
// longest value met; it is never shrunk, and OP_SHUTDOWN releases it.
#ifndef RORI_GETDATA_H
#define RORI_GETDATA_H

#include <cstdint>

#include "host/odbc.h"

// The scratch buffer (null until the first read) and its size in bytes.
extern uint8_t *getdata_buf;
extern int32_t getdata_size;

// True when the last column_getdata could not hold its value in full: for
// want of memory (the scratch buffer did not grow, or there was none to read
// into for a null destination), or because the driver stopped delivering the
// rest. The fetch reports such a column as ST_NOMEM.
extern bool getdata_cut;

// Reads column `column` of the statement's current row as target_type.
// *destination null: on return it points at the buffer holding the value
// (the scratch buffer, or null when there is none), valid until the next
// call. *destination set: the value is copied there, at most `capacity`
// bytes (the NUL of SQL_C_CHAR included when it fits), and only when the
// read succeeded. *indicator: the length of the value held, never more than
// what is held, or SQL_NULL_DATA. Returns the last SQLGetData result.
SQLRETURN column_getdata(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type, uint8_t **destination,
                         int32_t capacity, SQLLEN *indicator);

// Gives the scratch buffer back to the heap; the next read starts a new one.
void getdata_release();

// Copies a value held at `held` (indicator bytes, plus the NUL of SQL_C_CHAR)
// to destination, never more than capacity bytes. A NULL value (negative
// indicator) or a null `held` copies nothing.
void getdata_copy(const uint8_t *held, SQLSMALLINT target_type, SQLLEN indicator, uint8_t *destination,
                  int32_t capacity);

#endif
