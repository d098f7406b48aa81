// reentry_test.cpp - a host service that calls the library again before it
// returns, from every service and every request that calls services. The
// nested call must get ST_BUSY at once, make no host service and no ODBC
// call, write nothing, and the running call must end exactly as it does
// without the nested one. The nested call names the running call's slot and
// would free its statement, its connection and the scratch buffer if it
// were let in, which AddressSanitizer would catch in the running call.
#include <cstring>
#include <functional>

#include "host/odbc.h"
#include "odbc_faults.h"
#include "support/nested_call.h"
#include "support/result_fixture.h"

namespace {

// What a request left: its result, its status block, its operand.
struct outcome {
    int rc;
    std::string status;
    std::string value;
    bool operator==(const outcome &o) const { return rc == o.rc && status == o.status && value == o.value; }
};

int16_t rd_opcode(const outcome &o) {
    int16_t op = 0;
    std::memcpy(&op, o.status.data() + SS_OPCODE, sizeof op);
    return op;
}

class reentry_test : public result_test {
protected:
    nested_probe *probe = nullptr; // null: the host does not call back in

    void SetUp() override {
        odbc_fault_reset();
        result_test::SetUp();
    }

    outcome send_probed(int opcode, host_var &st, std::vector<host_var *> operands, const std::string &value) {
        host_var op = host_var::integer(opcode);
        host_call call(op, st, operands);
        if (probe != nullptr) call_back_in_during(call, *probe);
        int rc = call.run(test_entry());
        EXPECT_TRUE(call.guards_intact());
        return {rc, st.bytes(SQL_STATUS_MIN), value};
    }

    // `run` brings the state about and sends the request; it runs once as
    // it is and once with the host calling back in at the service.
    void expect_refused_inside(int service, int argno, const std::function<outcome()> &run,
                               int nested_opcode = OP_SHUTDOWN) {
        outcome plain = run();
        nested_probe p{service, argno, slot, nested_opcode, odbc_fault_total_calls};
        probe = &p;
        outcome with_nested = run();
        probe = nullptr;
        EXPECT_EQ(p.calls, 1) << "service " << service << " was not called";
        EXPECT_EQ(p.rc, ST_BUSY);
        EXPECT_TRUE(p.status_untouched) << "the refused call wrote into its status block or operand";
        EXPECT_EQ(p.services_used, 0);
        EXPECT_EQ(p.odbc_calls_made, 0u);
        EXPECT_TRUE(with_nested == plain) << "opcode " << rd_opcode(plain) << ", service " << service << ": rc " << with_nested.rc << " against "
                                          << plain.rc << ", value '" << with_nested.value.substr(0, 40) << "'";
    }

    // Closes the slot's result, if there is one, and opens the query's.
    void reopen(const std::string &sql) {
        host_var st = status_block(slot);
        send(OP_FREESTMT, st);
        open(sql);
    }

    outcome fetch_from(const std::string &sql, int16_t flags, host_var &var) {
        reopen(sql);
        host_var st = fetch_block(0.0, flags, 3);
        outcome o = send_probed(OP_FETCH, st, {&var}, "");
        o.value = flags & FETCH_ARRAY ? var.element(1) + "|" + var.element(2) : var.text_value();
        return o;
    }

    outcome attribute(int opcode, int32_t number, host_var &value) {
        host_var st = status_block(slot);
        if (opcode == OP_GETCONNATTR || opcode == OP_SETCONNATTR)
            status_view{st}.set_param_plain(number);
        else
            status_view{st}.set_subcode(static_cast<int16_t>(number));
        return send_probed(opcode, st, {&value}, std::to_string(value.int_value()));
    }
};

// The first service of every request reads its opcode.
TEST_F(reentry_test, from_the_opcode_read_of_every_request) {
    for (int opcode = 0; opcode <= OP_LAST + 1; ++opcode) {
        // These end the fixture's slot or take a new one each time.
        if (opcode == OP_SHUTDOWN || opcode == OP_DISCONNECT || opcode == OP_NEWCONN) continue;
        expect_refused_inside(HS_GETNUM, 1, [&] {
            reopen("SELECT 1");
            host_var st = status_block(slot);
            host_var text = host_var::text("SELECT 1", 16);
            return send_probed(opcode, st, {&text}, text.text_value());
        });
    }
}

// A nested fetch of a longer value would grow the scratch buffer under the
// running fetch, which copies from it after HS_RESIZE returns.
TEST_F(reentry_test, from_every_service_of_a_fetch) {
    std::string two_values = "SELECT printf('%.*c', 5000, 'a') UNION ALL SELECT printf('%.*c', 100000, 'b')";
    expect_refused_inside(HS_RESIZE, -1, [&] {
        host_var v = host_var::text("", 8, true);
        return fetch_from(two_values, 0, v);
    }, OP_FETCH);
    expect_refused_inside(HS_RESIZE, -1, [&] {
        host_var line = host_var::text("", 8, true);
        return fetch_from(two_values, FETCH_LINE, line);
    }, OP_FETCH);
    expect_refused_inside(HS_PUTSTR, -1, [&] {
        host_var elements = host_var::dynamic_array();
        return fetch_from("SELECT 'one', 'two'", FETCH_ARRAY, elements);
    });
    expect_refused_inside(HS_PUTNUM, -1, [&] {
        host_var n = host_var::integer(0);
        outcome o = fetch_from("SELECT 42", 0, n);
        o.value = std::to_string(n.int_value());
        return o;
    });
}

// Attribute requests hold the slot's handle across the services that read
// the value; a nested OP_DISCONNECT would free it.
TEST_F(reentry_test, from_every_service_of_the_attribute_and_text_requests) {
    open("SELECT 1");
    expect_refused_inside(HS_GETNUM, 3, [&] {
        host_var v = host_var::integer(1);
        return attribute(OP_SETCONNATTR, SQL_ATTR_AUTOCOMMIT, v);
    }, OP_DISCONNECT);
    expect_refused_inside(HS_GETSTR, 3, [&] {
        host_var v = host_var::text("main", 16);
        return attribute(OP_SETCONNATTR, SQL_ATTR_CURRENT_CATALOG, v);
    }, OP_DISCONNECT);
    expect_refused_inside(HS_PUTNUM, 3, [&] {
        host_var v = host_var::integer(-1);
        return attribute(OP_GETCONNATTR, SQL_ATTR_AUTOCOMMIT, v);
    });
    expect_refused_inside(HS_GETNUM, 3, [&] {
        host_var v = host_var::integer(0);
        return attribute(OP_SETSTMTATTR, SQL_ATTR_QUERY_TIMEOUT, v);
    });
    expect_refused_inside(HS_PUTNUM, 3, [&] {
        host_var v = host_var::integer(-1);
        return attribute(OP_GETSTMTATTR, SQL_ATTR_QUERY_TIMEOUT, v);
    });
    expect_refused_inside(HS_PUTSTR, 3, [&] {
        host_var st = status_block(slot);
        status_view{st}.set_subcode(1); // the driver's name
        host_var text = host_var::text("", 64);
        return send_probed(OP_INFO, st, {&text}, text.text_value());
    });
    expect_refused_inside(HS_PUTSTR, 3, [&] {
        host_var failing = host_var::text("SELECT * FROM no_such_table", 64);
        host_var q = status_block(slot);
        send(OP_QUERY, q, {&failing});
        host_var st = status_block(slot);
        host_var message = host_var::text("", 300);
        outcome o = send_probed(OP_GETERROR, st, {&message}, "");
        o.value = message.text_value();
        return o;
    });
}

} // namespace
