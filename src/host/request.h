// request.h - one request in flight: the parameter block, the host's service
// function, the status block and the request's slot, with small helpers to
// reach arguments and host services. Lives only for one call of vizori.
#ifndef RORI_REQUEST_H
#define RORI_REQUEST_H

#include <cstdint>

#include "roridorezu.h"
#include "host/record_io.h"

struct conn_slot;

struct request {
    uint8_t *params;     // call_params
    host_callback cb;    // host services for this call
    int32_t opcode;
    uint8_t *status;     // sql_status: argument 2's data area
    conn_slot *slot;     // the request's slot, or null
};

// --- arguments -------------------------------------------------------------
inline int32_t arg_count(const request &rq) { return rd_i32(rq.params, CP_ARGC); }
inline uint16_t arg_flags(const request &rq, int k) { return rd_u16(rq.params, CP_ARG(k) + AD_FLAGS); }
inline uint8_t *arg_data(const request &rq, int k) { return rd_addr(rq.params, CP_ARG(k) + AD_ADDR); }
inline int32_t arg_size(const request &rq, int k) { return rd_i32(rq.params, CP_ARG(k) + AD_SIZE); }

// --- host services ---------------------------------------------------------
int32_t host_getnum(const request &rq, int argno);
void host_getstr(const request &rq, int argno, char buf[HS_GETSTR_LIMIT]);
int host_putstr(const request &rq, int argno, const void *bytes, int32_t count);
int host_puttext(const request &rq, int argno, const char *text); // length -1
int host_resize(const request &rq, int argno, int32_t new_size);
void host_putnum(const request &rq, int argno, int64_t value);

// --- status block ----------------------------------------------------------
inline void set_status(request &rq, int16_t st) { wr_i16(rq.status, SS_STATUS, st); }
inline int16_t get_status(const request &rq) { return rd_i16(rq.status, SS_STATUS); }
inline int16_t status_subcode(const request &rq) { return rd_i16(rq.status, SS_SUBCODE); }
inline void set_result(request &rq, int32_t v) { wr_swapped(rq.status, SS_RESULT, v); }
inline void set_native(request &rq, int32_t v) { wr_swapped(rq.status, SS_NATIVE, v); }
inline void set_rowcount(request &rq, double v) { wr_f64(rq.status, SS_ROWCOUNT, v); }
inline char *sqlstate_field(request &rq) { return reinterpret_cast<char *>(rq.status + SS_SQLSTATE); }

#endif
