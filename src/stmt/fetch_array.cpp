// fetch_array.cpp - the array form of OP_FETCH: column k of the row goes
// into element k of the array variable in argument 3, as text. Fixed arrays
// are written in place, one element of the argument's size after another;
// dynamic arrays are stored through the host, which sizes each element.
#include <cstring>

#include "conn/slots.h"
#include "host/request.h"
#include "stmt/fetch_forms.h"
#include "stmt/getdata.h"

#define ARRAY_ARG 3

// The element is cleared first, so a NULL or a failed read leaves it empty;
// a value as long as the element fills it without a terminator.
static SQLRETURN fill_fixed_element(request &rq, int32_t k) {
    int32_t size = arg_size(rq, ARRAY_ARG) > 0 ? arg_size(rq, ARRAY_ARG) : 0;
    uint8_t *element = arg_data(rq, ARRAY_ARG) + static_cast<size_t>(k - 1) * static_cast<size_t>(size);
    std::memset(element, 0, static_cast<size_t>(size));
    SQLLEN len = 0;
    SQLRETURN rc = column_getdata(rq.slot->stmt, static_cast<SQLUSMALLINT>(k), SQL_C_CHAR, &element, size, &len);
    return check_column(rq, k, rc);
}

// The value is handed to the host straight from the scratch buffer, with
// its length, so bytes after a NUL arrive too. A NULL or a failed read is
// stored as empty text, never as what the buffer held before.
static SQLRETURN store_dynamic_element(request &rq, int32_t k) {
    uint8_t *value = nullptr;
    SQLLEN len = 0;
    SQLRETURN rc = column_getdata(rq.slot->stmt, static_cast<SQLUSMALLINT>(k), SQL_C_CHAR, &value, 0, &len);
    bool held = sql_ok(rc) && value != nullptr && len > 0;
    SQLRETURN last = check_column(rq, k, rc);
    if (host_putstr(rq, ARGNO_ELEMENT(k, ARRAY_ARG), held ? value : reinterpret_cast<const uint8_t *>(""),
                    held ? static_cast<int32_t>(len) : 0) != 0)
        set_status(rq, ST_NOMEM);
    return last;
}

// Fills min(n, +4) elements; +4 counts the elements the caller has room
// for. +24 receives that count.
SQLRETURN fetch_into_array(request &rq, int32_t n, SQLRETURN last) {
    int32_t room = rd_swapped(rq.status, SS_PARAM);
    int32_t count = n < room ? n : room;
    uint16_t flags = arg_flags(rq, ARRAY_ARG);
    if (!(flags & ARG_ARRAY)) {
        set_status(rq, ST_BADARG);
        return last;
    }
    for (int32_t k = 1; k <= count; ++k)
        last = (flags & ARG_DYNAMIC) ? store_dynamic_element(rq, k) : fill_fixed_element(rq, k);
    set_result(rq, count);
    return last;
}
