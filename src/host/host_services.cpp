// host_services.cpp - calls of the host's service function, one helper per
// service, with the argument order the host expects.
#include <cstring>

#include "host/request.h"

static int call_host(const request &rq, int service, int argno, int a, int b, void *ptr, int len) {
    return rq.cb(service, rq.params, argno, a, b, ptr, len);
}

int32_t host_getnum(const request &rq, int argno) {
    return call_host(rq, HS_GETNUM, argno, 0, 0, nullptr, 0);
}

void host_getstr(const request &rq, int argno, char buf[HS_GETSTR_LIMIT]) {
    buf[0] = '\0';
    call_host(rq, HS_GETSTR, argno, 0, 0, buf, HS_GETSTR_LIMIT);
    buf[HS_GETSTR_LIMIT - 1] = '\0'; // never trust the host to terminate
}

int host_putstr(const request &rq, int argno, const void *bytes, int32_t count) {
    return call_host(rq, HS_PUTSTR, argno, 0, 0, const_cast<void *>(bytes), count);
}

int host_puttext(const request &rq, int argno, const char *text) { return host_putstr(rq, argno, text, -1); }

int host_resize(const request &rq, int argno, int32_t new_size) {
    return call_host(rq, HS_RESIZE, argno, 0, 0, nullptr, new_size);
}

void host_putnum(const request &rq, int argno, int64_t value) {
    uint64_t u = static_cast<uint64_t>(value);
    call_host(rq, HS_PUTNUM, argno, static_cast<int>(static_cast<uint32_t>(u)),
              static_cast<int>(static_cast<uint32_t>(u >> 32)), nullptr, 0);
}
