// nested_call.cpp - the nested call of nested_call.h.
#include "support/nested_call.h"

#include <cstring>
#include <string>

#include "support/lib.h"

namespace {

void call_back_in(int service, int argno, void *context) {
    nested_probe *p = static_cast<nested_probe *>(context);
    if (p->calls > 0 || service != p->service || (p->argno >= 0 && argno != p->argno)) return;
    ++p->calls;
    host_var op = host_var::integer(p->nested_opcode);
    host_var st = status_block(p->slot);
    std::memset(st.area.data() + 1, 0x5A, SQL_STATUS_MIN - 1);
    std::string before = st.bytes(SQL_STATUS_MIN);
    host_var value = host_var::text("", 8, true);
    host_call nested(op, st, {&value});
    unsigned long odbc_before = p->odbc_calls ? p->odbc_calls() : 0;
    p->rc = nested.run(test_entry());
    p->odbc_calls_made = p->odbc_calls ? p->odbc_calls() - odbc_before : 0;
    p->status_untouched = st.bytes(SQL_STATUS_MIN) == before && value.text_value().empty();
    for (int s = 1; s <= 6; ++s) p->services_used += nested.service_calls[s];
}

} // namespace

void call_back_in_during(host_call &call, nested_probe &probe) {
    call.during_service = call_back_in;
    call.service_context = &probe;
}
