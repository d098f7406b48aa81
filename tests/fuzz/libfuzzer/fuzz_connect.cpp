// libFuzzer target: OP_CONNECT's handling of the connect text, on arbitrary
// bytes in a data area of arbitrary size, with or without a NUL. The text
// is parsed and its values decoded by the library's own code; SQLConnect
// and the diagnostics step are stand-ins here that check what reaches them.
//
// Input: byte 0 chooses the layout (bit 0: a NUL is added after the bytes;
// bit 1: the declared size is cut by byte 1), the rest is the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "conn/pw_decode.h"
#include "conn/slots.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/request.h"

namespace {
size_t area_size;
bool connect_called;

void must(bool ok) {
    if (!ok) std::abort();
}

// A value handed to SQLConnect: a terminated text no longer than the
// caller's text, read whole (ASan checks every byte).
void check_value(const SQLCHAR *text, SQLSMALLINT length) {
    must(text != nullptr);
    must(length == SQL_NTS);
    must(std::strlen(reinterpret_cast<const char *>(text)) <= area_size);
}
} // namespace

extern "C" SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR *dsn, SQLSMALLINT l1, SQLCHAR *user, SQLSMALLINT l2,
                                        SQLCHAR *pw, SQLSMALLINT l3) {
    must(dbc != nullptr);
    check_value(dsn, l1);
    check_value(user, l2);
    check_value(pw, l3);
    connect_called = true;
    return SQL_SUCCESS;
}

void diag_on_dbc(request &, SQLRETURN) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const uint8_t layout = data[0];
    const uint8_t cut = data[1];
    std::vector<uint8_t> bytes(data + 2, data + size);
    if (layout & 1) bytes.push_back(0);
    size_t declared = bytes.size();
    if ((layout & 2) && cut < declared) declared = cut;

    // The caller's area holds exactly the declared bytes.
    uint8_t *area = static_cast<uint8_t *>(std::malloc(declared > 0 ? declared : 1));
    if (declared > 0) std::memcpy(area, bytes.data(), declared);
    std::vector<uint8_t> before(area, area + declared);
    area_size = declared;
    connect_called = false;

    uint8_t params[ARG_DESC_SIZE * 4] = {};
    uint8_t status[SQL_STATUS_MIN] = {};
    wr_i32(params, CP_ARGC, 3);
    uint32_t addr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(area));
    std::memcpy(params + CP_ARG(3) + AD_ADDR, &addr, 4);
    wr_i32(params, CP_ARG(3) + AD_SIZE, static_cast<int32_t>(declared));
    int dummy_dbc = 0;
    conn_slot slot{&dummy_dbc, nullptr, nullptr, 32, -1, 0, nullptr};

    request rq{};
    rq.params = params;
    rq.opcode = OP_CONNECT;
    rq.status = status;
    rq.slot = &slot;
    op_connect(rq);

    int16_t st = rd_i16(status, SS_STATUS);
    must(st == ST_OK || st == ST_BADKEYWORD || st == ST_BADARG);
    must(connect_called == (st != ST_BADARG));
    must(declared == 0 ? st == ST_BADARG : true);
    must(declared == 0 || std::memcmp(area, before.data(), declared) == 0); // the caller's variable is never written
    must(std::memchr(pw_buf, 0, sizeof pw_buf) != nullptr);
    std::free(area);
    return 0;
}
