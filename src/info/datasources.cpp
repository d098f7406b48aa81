// datasources.cpp - OP_DATASOURCES: one entry of the driver manager's list of
// data sources per request, its name into argument 3 and its description
// into argument 4, written by the driver manager straight into the
// variables' data areas.
#include "conn/slots.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/request.h"

// ODBC takes buffer lengths as 16 bits: a larger size is passed as the
// largest length, and a size of 0 or less as no room at all.
#define LARGEST_BUFFER_LENGTH 32767

static SQLSMALLINT buffer_length(const request &rq, int argno) {
    int32_t size = arg_size(rq, argno);
    if (size <= 0) return 0;
    return static_cast<SQLSMALLINT>(size < LARGEST_BUFFER_LENGTH ? size : LARGEST_BUFFER_LENGTH);
}

// The variable's area, or none when the length passed is 0: given a zero
// length with a buffer, the driver manager still ends the text with a NUL,
// one byte before the buffer, outside the variable.
static SQLCHAR *buffer_of(const request &rq, int argno) {
    return buffer_length(rq, argno) == 0 ? nullptr : arg_data(rq, argno);
}

void op_datasources(request &rq) {
    if (arg_count(rq) < 4) {
        set_status(rq, ST_ARGS);
        return;
    }
    // The direction (first, next, first user, first system) is the driver
    // manager's to judge.
    SQLUSMALLINT direction = static_cast<uint16_t>(status_subcode(rq));
    SQLSMALLINT name_len = 0;
    SQLSMALLINT description_len = 0;
    SQLRETURN rc = SQLDataSources(env_handle, direction, buffer_of(rq, 3), buffer_length(rq, 3), &name_len,
                                  buffer_of(rq, 4), buffer_length(rq, 4), &description_len);
    if (rc == SQL_NO_DATA) {
        // The end of the list: no diagnostic to read, the code says it all.
        set_status(rq, ST_SQLERROR);
        set_native(rq, SQL_NO_DATA);
        return;
    }
    if (!sql_ok(rc)) set_status(rq, ST_SQLERROR);
    // The driver manager records the diagnostics of the enumeration on the
    // environment, not on the slot's handles.
    diag_on_env(rq, rc);
}
