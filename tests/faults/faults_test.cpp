// ODBC fault injection: every failure that the handlers must survive, made
// to happen on purpose by libodbc_faults.so between the library and the
// driver manager, and every heap allocation of the library failing in turn.
//
// The rows covered, by request:
// - preamble: no ODBC call for a request the checks end;
// - diagnostics: SQLGetDiagRec failing ("?"), no handle at all, a native
//   error of the record, OP_GETERROR without a readable record, the message
//   copied into argument 3 for a failed information item;
// - OP_INIT: environment allocation failing (SQL_ERROR, SQL_INVALID_HANDLE),
//   version setting failing and with information;
// - OP_NEWCONN: connection allocation failing, field buffer not obtained;
// - OP_DISCONNECT, OP_SHUTDOWN: every teardown call failing;
// - OP_CONNECT: SQLConnect with information, failing, with a bad key in
//   each of the three outcomes; no memory for the private copy or for the
//   key schedule;
// - OP_QUERY: statement allocation failing and with information, SQLTables
//   failing (fall-back to direct execution) and with information,
//   SQLExecDirect failing and with information, SQLRowCount failing, with
//   information and reporting -1, a driver name beginning with "my" in
//   every case of its letters, the driver name not readable;
// - OP_FREESTMT: teardown calls failing;
// - OP_DESCRIBE: SQLNumResultCols failing, SQLColAttribute failing for each
//   attribute in turn, texts longer than their fields, SQL_NO_TOTAL as a
//   display size, more columns than records;
// - OP_FETCH: the fetch failing and with information, the column count
//   failing and disagreeing with the description, SQLGetData failing in each
//   form, SQL_NO_TOTAL in each form, HS_PUTSTR and HS_RESIZE failing, the
//   scratch buffer not obtained and not grown;
// - OP_INFO: SQLGetInfo failing (with and without a record) and cut with
//   information, SQLNumResultCols and SQLRowCount failing and with
//   information;
// - attributes: statement allocation failing and with information, every
//   get and set failing and with information, the value 0 passed on;
// - OP_DATASOURCES: failing, with information, a name cut to its buffer;
// - OP_QUERY with values: SQLPrepare, SQLNumParams, SQLBindParameter and
//   SQLExecute failing, with nothing left bound; the prepared statement
//   kept for the same text and given up when something replaces it;
// - the heap: each allocation of a full session failing in turn.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "conn/slots.h"
#include "host/heap.h"
#include "odbc_faults.h"
#include "stmt/getdata.h"
#include "support/result_fixture.h"

namespace {

// The four bytes at +20 as they stand in the block.
std::string native_bytes(const host_var &st) {
    return std::string(reinterpret_cast<const char *>(st.area.data()) + SS_NATIVE, 4);
}

std::string bytes_of(std::initializer_list<int> b) {
    std::string s;
    for (int x : b) s.push_back(static_cast<char>(x));
    return s;
}

// A fresh library with no slot taken; rules and heap failures are cleared
// before and after every test.
class bare_fault_test : public library_test {
protected:
    void SetUp() override {
        odbc_fault_reset();
        heap_fail_after(-1);
        library_test::SetUp();
        odbc_fault_reset();
    }
    void TearDown() override {
        odbc_fault_reset();
        heap_fail_after(-1);
        library_test::TearDown();
    }
};

// Slot 1 connected to the demo database.
class fault_test : public result_test {
protected:
    void SetUp() override {
        odbc_fault_reset();
        heap_fail_after(-1);
        result_test::SetUp();
        odbc_fault_reset();
    }
    void TearDown() override {
        odbc_fault_reset();
        heap_fail_after(-1);
        result_test::TearDown();
    }
    host_var block() { return status_block(slot); }
    int query(const std::string &sql, host_var &st) {
        host_var text = host_var::text(sql);
        return send(OP_QUERY, st, {&text});
    }
    // Three rows of three columns: 1 'one' 1.5, 2 NULL 2.5, 3 'three' NULL.
    void three_columns() {
        open_table("id INTEGER NOT NULL, name VARCHAR(10), r REAL",
                   "(1, 'one', 1.5), (2, NULL, 2.5), (3, 'three', NULL)");
    }
};

// --- the interposer itself -------------------------------------------------

TEST_F(bare_fault_test, every_odbc_call_of_the_library_passes_the_injector) {
    host_var st = status_block();
    ASSERT_EQ(send(OP_NEWCONN, st), ST_OK);
    EXPECT_EQ(odbc_fault_calls("SQLAllocHandle"), 1u);
    EXPECT_EQ(odbc_fault_last_key("SQLAllocHandle"), SQL_HANDLE_DBC);
    int rule = odbc_fault_fail("SQLAllocHandle", 1, SQL_ERROR);
    ASSERT_GE(rule, 0);
    EXPECT_EQ(odbc_fault_fail("SQLNoSuchFunction", 1, SQL_ERROR), -1);
    host_var st2 = status_block();
    EXPECT_EQ(send(OP_NEWCONN, st2), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
}

TEST_F(bare_fault_test, requests_that_the_checks_end_make_no_odbc_call) {
    struct {
        int opcode;
        int slot;
        int status;
    } cases[] = {{25, 0, ST_BADOP}, {-1, 1, ST_BADOP},    {0, 0, ST_BADCONN},  {5, 0, ST_BADCONN},
                 {9, 11, ST_BADCONN}, {12, 3, ST_BADCONN}, {19, 255, ST_BADCONN}, {13, 10, ST_BADCONN}};
    for (auto &c : cases) {
        host_var st = status_block(c.slot);
        host_var text = host_var::text("SELECT 1");
        EXPECT_EQ(send(c.opcode, st, {&text}), c.status) << c.opcode;
    }
    // Past the checks with a slot that holds a connection handle.
    host_var nc = status_block();
    ASSERT_EQ(send(OP_NEWCONN, nc), ST_OK);
    const int taken = status_view{nc}.slot();
    odbc_fault_reset();
    for (int op : {0, 5, 19, 20, 21, 22, 23, 24}) {
        host_var st = status_block(taken);
        host_var text = host_var::text("SELECT 1");
        EXPECT_EQ(send(op, st, {&text}), ST_BADOP) << op;
    }
    host_var small = status_block(taken, SQL_STATUS_MIN - 1);
    EXPECT_EQ(send(OP_QUERY, small), ST_BADARG);
    EXPECT_EQ(odbc_fault_total_calls(), 0u);

    shutdown_library();
    odbc_fault_reset();
    for (int op = 0; op <= 24; ++op) {
        if (op == OP_INIT) continue;
        host_var st = status_block(1);
        host_var text = host_var::text("SELECT 1");
        EXPECT_EQ(send(op, st, {&text}), ST_NOINIT) << op;
    }
    EXPECT_EQ(odbc_fault_total_calls(), 0u) << "no request reaches ODBC without an environment";
}

// --- OP_INIT ----------------------------------------------------------------

TEST_F(bare_fault_test, init_whose_environment_allocation_fails_reports_the_code_alone) {
    shutdown_library();
    for (int code : {SQL_ERROR, SQL_INVALID_HANDLE}) {
        odbc_fault_reset();
        int rule = odbc_fault_fail("SQLAllocHandle", 1, code);
        odbc_fault_only_key(rule, SQL_HANDLE_ENV);
        host_var st = status_block();
        EXPECT_EQ(send(OP_INIT, st), ST_SQLERROR);
        EXPECT_EQ(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(status_view{st}.sqlstate(), "") << "no handle: no record read";
        EXPECT_EQ(status_view{st}.native(), code);
        EXPECT_EQ(odbc_fault_calls("SQLGetDiagRec"), 0u);
        if (code == SQL_INVALID_HANDLE) {
            EXPECT_EQ(native_bytes(st), bytes_of({0xFF, 0xFF, 0xFE, 0xFF}));
        }
        host_var st2 = status_block();
        EXPECT_EQ(send(OP_NEWCONN, st2), ST_NOINIT) << "no environment was kept";
    }
    // A failure that still leaves a handle: its record is read, and the
    // handle is given back.
    odbc_fault_reset();
    int rule = odbc_fault_answer("SQLAllocHandle", 1, SQL_ERROR);
    odbc_fault_only_key(rule, SQL_HANDLE_ENV);
    host_var st = status_block();
    EXPECT_EQ(send(OP_INIT, st), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(odbc_fault_calls("SQLGetDiagRec"), 1u) << "the environment's record was asked for";
    EXPECT_EQ(odbc_fault_calls("SQLFreeHandle"), 1u);
    EXPECT_EQ(status_view{st}.native(), SQL_ERROR) << "no record: the return code";
    host_var st3 = status_block();
    EXPECT_EQ(send(OP_NEWCONN, st3), ST_NOINIT);
    host_var again = status_block();
    EXPECT_EQ(send(OP_INIT, again), ST_OK) << "the next OP_INIT tries again";
}

TEST_F(bare_fault_test, init_whose_version_setting_fails_gives_the_environment_back) {
    shutdown_library();
    odbc_fault_reset();
    int rule = odbc_fault_fail("SQLSetEnvAttr", 1, SQL_ERROR);
    host_var st = status_block();
    EXPECT_EQ(send(OP_INIT, st), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.native(), SQL_ERROR);
    EXPECT_EQ(odbc_fault_calls("SQLFreeHandle"), 1u);
    EXPECT_EQ(odbc_fault_last_key("SQLFreeHandle"), SQL_HANDLE_ENV);
    host_var st2 = status_block();
    EXPECT_EQ(send(OP_NEWCONN, st2), ST_NOINIT);

    // A real refusal by the driver manager leaves its record on the
    // environment, which the diagnostics step reads before it is freed.
    odbc_fault_reset();
    rule = odbc_fault_break("SQLSetEnvAttr", 1);
    host_var st3 = status_block();
    EXPECT_EQ(send(OP_INIT, st3), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st3}.sqlstate().size(), 5u) << status_view{st3}.sqlstate();

    odbc_fault_reset();
    host_var st4 = status_block();
    EXPECT_EQ(send(OP_INIT, st4), ST_OK);
    EXPECT_EQ(take_slot(), 1);
}

TEST_F(bare_fault_test, init_whose_version_setting_answers_with_information_is_ok) {
    shutdown_library();
    int rule = odbc_fault_answer("SQLSetEnvAttr", 1, SQL_SUCCESS_WITH_INFO);
    host_var st = status_block();
    EXPECT_EQ(send(OP_INIT, st), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(native_bytes(st), bytes_of({0, 0, 1, 0}));
    EXPECT_EQ(status_view{st}.sqlstate(), "?") << "the environment holds no record";
    EXPECT_EQ(connect_slot("-host=demo"), 1);
}

// --- diagnostics -------------------------------------------------------------

TEST_F(fault_test, unreadable_diagnostics_give_a_question_mark_and_the_return_code) {
    for (int code : {SQL_ERROR, SQL_INVALID_HANDLE, SQL_NO_DATA}) {
        odbc_fault_reset();
        int rule = odbc_fault_fail("SQLGetDiagRec", 0, code);
        host_var st = block();
        EXPECT_EQ(query("SELECT * FROM no_such_table", st), ST_SQLERROR);
        EXPECT_GE(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(status_view{st}.sqlstate(), "?");
        EXPECT_EQ(native_bytes(st), bytes_of({0xFF, 0xFF, 0xFF, 0xFF})) << "SQL_ERROR of SQLExecDirect";
    }
}

TEST_F(fault_test, native_error_of_the_record_stands_in_place_of_the_return_code) {
    int rule = odbc_fault_number("SQLGetDiagRec", 0, 42);
    host_var st = block();
    EXPECT_EQ(query("SELECT * FROM no_such_table", st), ST_SQLERROR);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(native_bytes(st), bytes_of({0, 0, 42, 0}));
    EXPECT_EQ(status_view{st}.sqlstate().size(), 5u);
}

// A message is read again with room for its reported length; one beyond the
// 16-bit buffer length is cut there, but not inside a UTF-8 character.
TEST_F(fault_test, geterror_hands_over_the_whole_message) {
    std::string cut_inside("a");
    while (cut_inside.size() < 33000) cut_inside += "\xC3\xA9";
    for (const std::string &text : {std::string(3000, 'm'), cut_inside}) {
        odbc_fault_reset();
        int rule = odbc_fault_text("SQLGetDiagRec", 0, text.c_str());
        host_var failed = block();
        EXPECT_EQ(query("SELECT * FROM no_such_table", failed), ST_SQLERROR);
        EXPECT_GE(odbc_fault_fired(rule), 2u) << "read again with more room";
        host_var st = block();
        host_var message = host_var::text("", 16, true);
        EXPECT_EQ(send(OP_GETERROR, st, {&message}), ST_SQLERROR);
        EXPECT_EQ(message.text_value(), text.size() < 32767 ? text : text.substr(0, 32765));
        EXPECT_EQ(status_view{st}.sqlstate(), status_view{failed}.sqlstate());
    }
}

TEST_F(fault_test, geterror_without_a_readable_record_leaves_argument_and_native_error) {
    int rule = odbc_fault_fail("SQLGetDiagRec", 0, SQL_ERROR);
    host_var failed = block();
    EXPECT_EQ(query("SELECT * FROM no_such_table", failed), ST_SQLERROR);
    EXPECT_EQ(status_view{failed}.sqlstate(), "?") << "nothing kept";
    host_var st = block();
    status_view{st}.set_native_raw(0x12345678);
    host_var message = host_var::text("kept", 64);
    EXPECT_EQ(send(OP_GETERROR, st, {&message}), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 2u) << "the handle is read again";
    EXPECT_EQ(status_view{st}.sqlstate(), "?");
    EXPECT_EQ(message.text_value(), "kept");
    uint32_t raw;
    std::memcpy(&raw, st.area.data() + SS_NATIVE, 4);
    EXPECT_EQ(raw, 0x12345678u);
}

// An informational record before the failure's own: a failure is explained
// by the 42S02, a success with information by record 1; OP_GETERROR gives
// both messages, also after a later column read cleanly.
TEST_F(fault_test, a_failure_is_explained_by_its_first_record_not_of_class_01) {
    const std::string both = "rori: changed database context\nrori: no such table";
    three_columns();
    struct {
        const char *fn;
        int rc, status;
        const char *state;
        int native;
    } cases[] = {{"SQLGetData", SQL_ERROR, ST_SQLERROR, "42S02", 1},
                 {"SQLExecDirect", SQL_ERROR, ST_SQLERROR, "42S02", 208},
                 {"SQLExecDirect", SQL_SUCCESS_WITH_INFO, ST_OK, "01000", 5701}};
    for (const auto &c : cases) {
        odbc_fault_reset();
        bool fetch = std::strcmp(c.fn, "SQLGetData") == 0;
        int rule = odbc_fault_answer(c.fn, 1, c.rc);
        odbc_fault_info_first(0);
        host_var st = fetch ? fetch_block() : block();
        host_var id = host_var::integer(0), name = host_var::text("", 10);
        EXPECT_EQ(fetch ? send(OP_FETCH, st, {&id, &name}) : query("SELECT 1", st), c.status) << c.fn;
        EXPECT_EQ(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(status_view{st}.sqlstate(), c.state) << c.fn << " " << c.rc;
        EXPECT_EQ(status_view{st}.native(), c.native) << "+20: the record's, or the column's number";
        odbc_fault_reset();
        host_var err = block();
        host_var message = host_var::text("", 200);
        EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
        EXPECT_EQ(odbc_fault_calls("SQLGetDiagRec"), 0u) << "answered from the kept copy";
        EXPECT_EQ(message.text_value(), both);
        EXPECT_EQ(status_view{err}.sqlstate(), c.state);
        close_result();
    }
}

// --- OP_NEWCONN, OP_DISCONNECT, OP_SHUTDOWN ------------------------------------

TEST_F(fault_test, newconn_whose_connection_allocation_fails_leaves_the_slot_free) {
    int rule = odbc_fault_fail("SQLAllocHandle", 1, SQL_ERROR);
    host_var st = status_block(7);
    EXPECT_EQ(send(OP_NEWCONN, st), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.slot(), 0);
    EXPECT_EQ(status_view{st}.native(), SQL_ERROR);
    odbc_fault_reset();
    EXPECT_EQ(take_slot(), 2) << "slot 2 stayed free";
}

TEST_F(fault_test, newconn_with_every_slot_taken_allocates_nothing) {
    for (int i = 2; i <= 10; ++i) EXPECT_EQ(take_slot(), i);
    odbc_fault_reset();
    unsigned long before = heap_request_count();
    host_var st = status_block(4);
    EXPECT_EQ(send(OP_NEWCONN, st), ST_NOSLOT);
    EXPECT_EQ(status_view{st}.slot(), 0);
    EXPECT_EQ(odbc_fault_total_calls(), 0u);
    EXPECT_EQ(heap_request_count(), before);
}

TEST_F(fault_test, newconn_without_a_field_buffer_gives_the_connection_handle_back) {
    heap_fail_nth(1);
    host_var st = status_block();
    EXPECT_EQ(send(OP_NEWCONN, st), ST_NOMEM);
    EXPECT_EQ(status_view{st}.slot(), 0);
    EXPECT_EQ(odbc_fault_calls("SQLAllocHandle"), 1u);
    EXPECT_EQ(odbc_fault_calls("SQLFreeHandle"), 1u);
    EXPECT_EQ(odbc_fault_last_key("SQLFreeHandle"), SQL_HANDLE_DBC);
    EXPECT_EQ(take_slot(), 2);

    // A connection handle that the driver manager refuses to free is kept
    // for the next OP_SHUTDOWN, which frees it with the two slots' ones and
    // the environment.
    odbc_fault_reset();
    heap_fail_nth(1);
    int refusal = odbc_fault_fail("SQLFreeHandle", 1, SQL_ERROR);
    odbc_fault_only_key(refusal, SQL_HANDLE_DBC);
    host_var refused = status_block();
    EXPECT_EQ(send(OP_NEWCONN, refused), ST_NOMEM);
    EXPECT_EQ(odbc_fault_fired(refusal), 1u);
    odbc_fault_reset();
    shutdown_library();
    EXPECT_EQ(odbc_fault_calls("SQLFreeHandle"), 4u) << "three connections and the environment";
}

TEST_F(bare_fault_test, init_keeps_an_environment_that_the_driver_manager_refuses_to_free) {
    shutdown_library();
    odbc_fault_reset();
    odbc_fault_fail("SQLSetEnvAttr", 1, SQL_ERROR);
    odbc_fault_only_key(odbc_fault_fail("SQLFreeHandle", 1, SQL_ERROR), SQL_HANDLE_ENV);
    host_var st = status_block();
    EXPECT_EQ(send(OP_INIT, st), ST_SQLERROR);
    odbc_fault_reset();
    init_library();
    shutdown_library();
    EXPECT_EQ(odbc_fault_calls("SQLFreeHandle"), 2u) << "the kept environment and the new one";
}

TEST_F(fault_test, disconnect_and_shutdown_examine_no_teardown_result) {
    open("SELECT 1");
    // The disconnect happens but is reported as failed. (A free reported as
    // failed after it happened would be a lie the library cannot detect: it
    // keeps such a handle for the next OP_SHUTDOWN.)
    odbc_fault_answer("SQLDisconnect", 0, SQL_ERROR);
    host_var st = block();
    EXPECT_EQ(send(OP_DISCONNECT, st), ST_OK);
    EXPECT_EQ(status_view{st}.sqlstate(), "");
    EXPECT_EQ(status_view{st}.native(), 0);
    EXPECT_EQ(odbc_fault_calls("SQLFreeHandle"), 2u) << "statement and connection";
    host_var again = block();
    host_var v = host_var::integer(0);
    EXPECT_EQ(send(OP_FETCH, again, {&v}), ST_BADCONN) << "the slot is free";

    int other = connect_slot("-host=demo");
    EXPECT_EQ(other, slot);
    host_var down = status_block(other);
    EXPECT_EQ(send(OP_SHUTDOWN, down), ST_OK);
    EXPECT_EQ(status_view{down}.sqlstate(), "");
    odbc_fault_reset();
    init_library();
    EXPECT_EQ(connect_slot("-host=demo"), 1);
}

TEST_F(fault_test, teardown_calls_refused_by_the_driver_manager_still_free_the_slot) {
    open("SELECT 1");
    // The connection stays open in the driver manager, which then refuses
    // to free it and the environment: the slot is free all the same, and
    // the library keeps both handles for the next OP_SHUTDOWN.
    int rule = odbc_fault_fail("SQLDisconnect", 0, SQL_ERROR);
    host_var st = block();
    EXPECT_EQ(send(OP_DISCONNECT, st), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 2u) << "tried again after a rollback";
    EXPECT_EQ(odbc_fault_calls("SQLEndTran"), 1u);
    EXPECT_EQ(connect_slot("-host=demo"), slot);
    host_var down = block();
    EXPECT_EQ(send(OP_SHUTDOWN, down), ST_OK);
    odbc_fault_reset();
    init_library();
    int again = connect_slot("-host=demo");
    EXPECT_EQ(again, 1);
    host_var last = block();
    EXPECT_EQ(send(OP_SHUTDOWN, last), ST_OK);
    EXPECT_EQ(odbc_fault_calls("SQLDisconnect"), 3u) << "the two kept connections and the new one";
    EXPECT_EQ(odbc_fault_calls("SQLFreeHandle"), 5u) << "three connections, the kept environment and the new one";
}

// --- OP_CONNECT ---------------------------------------------------------------

class connect_fault_test : public bare_fault_test {
protected:
    int connect(const std::string &text, host_var &st) {
        host_var t = host_var::text(text, 128);
        return send(OP_CONNECT, st, {&t});
    }
    int query_ok(int s) {
        host_var st = status_block(s);
        host_var text = host_var::text("SELECT 1");
        return send(OP_QUERY, st, {&text});
    }
};

TEST_F(connect_fault_test, too_few_arguments_make_no_call) {
    int s = take_slot();
    odbc_fault_reset();
    host_var st = status_block(s);
    EXPECT_EQ(send(OP_CONNECT, st, {}, 2), ST_ARGS);
    EXPECT_EQ(odbc_fault_total_calls(), 0u);
}

TEST_F(connect_fault_test, connect_with_information_is_ok_after_the_diagnostics_step) {
    int s = take_slot();
    int rule = odbc_fault_answer("SQLConnect", 1, SQL_SUCCESS_WITH_INFO);
    host_var st = status_block(s);
    EXPECT_EQ(connect("-host=demo", st), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(native_bytes(st), bytes_of({0, 0, 1, 0}));
    EXPECT_EQ(odbc_fault_calls("SQLGetDiagRec"), 1u);
    EXPECT_EQ(query_ok(s), ST_OK);
}

TEST_F(connect_fault_test, bad_keyword_in_each_outcome_of_the_connect) {
    // SQL_SUCCESS: the bad key is reported although the connection is open.
    int s = take_slot();
    host_var st = status_block(s);
    EXPECT_EQ(connect("-host=demo -bogus=1", st), ST_BADKEYWORD);
    EXPECT_EQ(status_view{st}.native(), 0);
    EXPECT_EQ(query_ok(s), ST_OK);

    // With information: still the bad key, after the diagnostics step.
    int s2 = take_slot();
    int rule = odbc_fault_answer("SQLConnect", 1, SQL_SUCCESS_WITH_INFO);
    host_var st2 = status_block(s2);
    EXPECT_EQ(connect("-host=demo -bogus=1", st2), ST_BADKEYWORD);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st2}.native(), SQL_SUCCESS_WITH_INFO);

    // Failure replaces it.
    odbc_fault_reset();
    int s3 = take_slot();
    rule = odbc_fault_break("SQLConnect", 1);
    host_var st3 = status_block(s3);
    EXPECT_EQ(connect("-host=demo -bogus=1", st3), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st3}.sqlstate(), "IM002") << "data source not found";
}

TEST_F(connect_fault_test, a_second_connect_is_refused_by_the_driver_manager) {
    int s = take_slot();
    host_var st = status_block(s);
    EXPECT_EQ(connect("-host=demo", st), ST_OK);
    host_var st2 = status_block(s);
    EXPECT_EQ(connect("-host=demo", st2), ST_SQLERROR);
    EXPECT_EQ(status_view{st2}.sqlstate(), "08002") << "connection name in use";
    EXPECT_EQ(query_ok(s), ST_OK) << "the first connection stays";
}

TEST_F(connect_fault_test, failed_connect_keeps_the_slot_for_another_try) {
    int s = take_slot();
    int rule = odbc_fault_fail("SQLConnect", 1, SQL_INVALID_HANDLE);
    host_var st = status_block(s);
    EXPECT_EQ(connect("-host=demo", st), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(native_bytes(st), bytes_of({0xFF, 0xFF, 0xFE, 0xFF}));
    host_var st2 = status_block(s);
    EXPECT_EQ(connect("-host=demo", st2), ST_OK);
    EXPECT_EQ(query_ok(s), ST_OK);
}

TEST_F(connect_fault_test, no_memory_for_the_connect_text_or_the_key_schedule) {
    // A form-3 password: the type byte, 4 check characters, 64 Base64
    // characters. SQLite ignores passwords, so the connection opens either way.
    const std::string pw = "\x03" "abcd" + std::string(64, 'A');
    int s = take_slot();
    unsigned long before = heap_request_count();
    heap_fail_nth(1);
    host_var st = status_block(s);
    EXPECT_EQ(connect("-host=demo -user=ann -pw=" + pw, st), ST_NOMEM);
    EXPECT_EQ(heap_request_count() - before, 1u);
    EXPECT_EQ(odbc_fault_calls("SQLConnect"), 0u);

    before = heap_request_count();
    heap_fail_nth(2);
    host_var st2 = status_block(s);
    EXPECT_EQ(connect("-host=demo -user=ann -pw=" + pw, st2), ST_OK) << "the value stays scrambled";
    EXPECT_EQ(heap_request_count() - before, 2u) << "the copy, then the key schedule";
    EXPECT_EQ(odbc_fault_calls("SQLConnect"), 1u);
}

// --- OP_QUERY and OP_FREESTMT ----------------------------------------------------

TEST_F(fault_test, query_whose_statement_allocation_fails_has_cleared_the_fields) {
    open("SELECT 1 AS a");
    host_var records = host_var::raw(FIELD_REC_SIZE);
    host_var d = block();
    ASSERT_EQ(send(OP_DESCRIBE, d, {&records}), ST_OK);
    ASSERT_NE(field_record(0)[0], '\0');
    host_var f = block();
    status_view{f}.set_subcode(1);
    ASSERT_EQ(send(OP_FREESTMT, f), ST_OK);

    odbc_fault_reset();
    int rule = odbc_fault_fail("SQLAllocHandle", 1, SQL_ERROR);
    host_var st = block();
    EXPECT_EQ(query("SELECT 2", st), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(field_record(0), std::string(FIELD_REC_SIZE, '\0'));
    EXPECT_EQ(field_record(1), std::string(FIELD_REC_SIZE, '\0'));
    EXPECT_EQ(odbc_fault_calls("SQLExecDirect"), 0u);
    EXPECT_EQ(odbc_fault_last_key("SQLGetDiagRec"), SQL_HANDLE_DBC) << "no statement: the connection's record";
    odbc_fault_reset();
    host_var st2 = block();
    EXPECT_EQ(query("SELECT 2", st2), ST_OK);
}

TEST_F(fault_test, success_with_information_of_the_statement_allocation_is_not_captured) {
    for (const char *fn : {"SQLAllocHandle"}) {
        host_var f = block();
        status_view{f}.set_subcode(1);
        send(OP_FREESTMT, f);
        odbc_fault_reset();
        int rule = odbc_fault_answer(fn, 1, SQL_SUCCESS_WITH_INFO);
        host_var st = block();
        EXPECT_EQ(query("SELECT 1", st), ST_OK) << fn;
        EXPECT_EQ(odbc_fault_fired(rule), 1u) << fn;
        EXPECT_EQ(status_view{st}.sqlstate(), "") << fn;
        EXPECT_EQ(status_view{st}.native(), 0) << fn;
        EXPECT_EQ(odbc_fault_calls("SQLGetDiagRec"), 0u) << fn;
    }
}

TEST_F(fault_test, failed_execution_reports_the_drivers_record) {
    int rule = odbc_fault_break("SQLExecDirect", 1);
    host_var st = block();
    status_view{st}.set_rowcount(5.0);
    EXPECT_EQ(query("SELECT 1", st), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.rowcount(), 0.0);
    EXPECT_EQ(status_view{st}.sqlstate().size(), 5u);
    EXPECT_EQ(odbc_fault_calls("SQLRowCount"), 0u);
    host_var err = block();
    host_var message = host_var::text("", 240);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_FALSE(message.text_value().empty());
    EXPECT_EQ(status_view{err}.sqlstate(), status_view{st}.sqlstate());

    // On a fresh statement, which holds no record of an earlier failure.
    host_var f = block();
    status_view{f}.set_subcode(1);
    ASSERT_EQ(send(OP_FREESTMT, f), ST_OK);
    odbc_fault_reset();
    odbc_fault_fail("SQLExecDirect", 1, SQL_INVALID_HANDLE);
    host_var st2 = block();
    EXPECT_EQ(query("SELECT 1", st2), ST_SQLERROR);
    EXPECT_EQ(native_bytes(st2), bytes_of({0xFF, 0xFF, 0xFE, 0xFF}));
}

TEST_F(fault_test, row_count_other_than_success_is_ok_with_zero_rows_and_diagnostics) {
    exec("CREATE TABLE t (x INTEGER)");
    struct {
        bool fail;
        int code;
    } cases[] = {{true, SQL_ERROR}, {false, SQL_SUCCESS_WITH_INFO}, {true, SQL_INVALID_HANDLE}};
    for (auto &c : cases) {
        odbc_fault_reset();
        int rule = c.fail ? odbc_fault_fail("SQLRowCount", 1, c.code) : odbc_fault_answer("SQLRowCount", 1, c.code);
        host_var st = block();
        EXPECT_EQ(query("INSERT INTO t VALUES (1), (2)", st), ST_OK) << c.code;
        EXPECT_EQ(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(status_view{st}.rowcount(), 0.0);
        EXPECT_EQ(status_view{st}.native(), c.code);
        EXPECT_EQ(status_view{st}.sqlstate(), "?") << "the statement holds no record";
    }
    odbc_fault_reset();
    int rule = odbc_fault_number("SQLRowCount", 1, -1);
    host_var st = block();
    EXPECT_EQ(query("INSERT INTO t VALUES (3)", st), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.rowcount(), -1.0);
    EXPECT_EQ(status_view{st}.sqlstate(), "");
}

TEST_F(fault_test, failed_catalog_call_falls_back_to_direct_execution) {
    exec("CREATE TABLE listed (x INTEGER)");
    odbc_fault_reset();
    int rule = odbc_fault_fail("SQLTables", 1, SQL_ERROR);
    host_var st = block();
    EXPECT_EQ(query("SHOW TABLES", st), ST_SQLERROR) << "SQLite does not know SHOW";
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(odbc_fault_calls("SQLExecDirect"), 1u);
    EXPECT_EQ(odbc_fault_last_value("SQLExecDirect"), 11) << "the command text, with its length";
    EXPECT_EQ(status_view{st}.sqlstate().size(), 5u);
}

TEST_F(fault_test, catalog_call_with_information_lists_the_tables) {
    exec("CREATE TABLE listed (x INTEGER)");
    odbc_fault_reset();
    int rule = odbc_fault_answer("SQLTables", 1, SQL_SUCCESS_WITH_INFO);
    host_var st = block();
    EXPECT_EQ(query("show tables", st), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(odbc_fault_calls("SQLExecDirect"), 0u);
    EXPECT_EQ(status_view{st}.sqlstate(), "");
    host_var cat = host_var::text("", 64), schema = host_var::text("", 64), name = host_var::text("", 64);
    EXPECT_EQ(fetch_into({&cat, &schema, &name}), ST_OK);
    EXPECT_EQ(name.text_value(), "listed");
}

TEST_F(fault_test, drivers_named_my_take_the_listing_commands_themselves) {
    for (const char *name : {"myodbc8a.so", "MyDriver", "MYODBC", "mY"}) {
        odbc_fault_reset();
        int rule = odbc_fault_text("SQLGetInfo", 0, name);
        odbc_fault_only_key(rule, SQL_DRIVER_NAME);
        host_var st = block();
        EXPECT_EQ(query("SHOW TABLES", st), ST_SQLERROR) << name;
        EXPECT_EQ(odbc_fault_fired(rule), 1u) << name;
        EXPECT_EQ(odbc_fault_calls("SQLTables"), 0u) << name;
        EXPECT_EQ(odbc_fault_calls("SQLExecDirect"), 1u) << name;
    }
    for (const char *name : {"m", "ymodbc", "sqlite3odbc.so", ""}) {
        odbc_fault_reset();
        odbc_fault_only_key(odbc_fault_text("SQLGetInfo", 0, name), SQL_DRIVER_NAME);
        host_var st = block();
        EXPECT_EQ(query("SHOW TABLES", st), ST_OK) << name;
        EXPECT_EQ(odbc_fault_calls("SQLTables"), 1u) << name;
        close_result();
    }
}

TEST_F(fault_test, unreadable_driver_name_counts_as_a_driver_to_translate_for) {
    for (int code : {SQL_ERROR, SQL_INVALID_HANDLE}) {
        odbc_fault_reset();
        int rule = odbc_fault_fail("SQLGetInfo", 0, code);
        odbc_fault_only_key(rule, SQL_DRIVER_NAME);
        host_var st = block();
        EXPECT_EQ(query("SHOW DATABASES", st), ST_OK);
        EXPECT_EQ(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(odbc_fault_calls("SQLTables"), 1u);
        close_result();
    }
}

TEST_F(fault_test, freestmt_examines_no_teardown_result) {
    open("SELECT 1");
    odbc_fault_answer("SQLFreeStmt", 0, SQL_ERROR);
    odbc_fault_answer("SQLFreeHandle", 0, SQL_ERROR);
    host_var st = block();
    EXPECT_EQ(send(OP_FREESTMT, st), ST_OK);
    EXPECT_EQ(status_view{st}.sqlstate(), "");
    host_var st2 = block();
    status_view{st2}.set_subcode(1);
    EXPECT_EQ(send(OP_FREESTMT, st2), ST_OK);
    EXPECT_EQ(status_view{st2}.sqlstate(), "");
    host_var st3 = block();
    EXPECT_EQ(send(OP_FREESTMT, st3), ST_NOSTMT) << "the handle is gone all the same";
}

// --- OP_DESCRIBE ----------------------------------------------------------------

TEST_F(fault_test, failed_column_count_describes_nothing) {
    three_columns();
    int rule = odbc_fault_fail("SQLNumResultCols", 0, SQL_ERROR);
    host_var records = host_var::raw(3 * FIELD_REC_SIZE);
    records.fill(0xAA);
    host_var st = block();
    EXPECT_EQ(send(OP_DESCRIBE, st, {&records}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.result(), 0);
    EXPECT_EQ(records.bytes(3 * FIELD_REC_SIZE), std::string(3 * FIELD_REC_SIZE, '\xAA'));
    EXPECT_EQ(field_record(0).substr(0, 10), std::string("bookmarks", 10));
    EXPECT_EQ(odbc_fault_calls("SQLColAttribute"), 0u);
}

// Each attribute read failing in turn leaves its own fields zero (and no
// flag bit) and every other field as a clean description has it.
TEST_F(fault_test, each_failed_column_attribute_leaves_only_its_own_fields_zero) {
    exec("CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, name VARCHAR(20))");
    auto describe = [&]() {
        open("SELECT id, name FROM t");
        host_var records = host_var::raw(2 * FIELD_REC_SIZE);
        host_var st = block();
        EXPECT_EQ(send(OP_DESCRIBE, st, {&records}), ST_OK);
        EXPECT_EQ(status_view{st}.result(), 2);
        close_result();
        return records.bytes(2 * FIELD_REC_SIZE);
    };
    const std::string clean = describe();
    ASSERT_EQ(clean.substr(0, 3), std::string("id\0", 3));
    uint32_t clean_flags;
    std::memcpy(&clean_flags, clean.data() + FR_FLAGS, 4);
    ASSERT_EQ(clean_flags, uint32_t(FR_FLAG_NOT_NULL | FR_FLAG_AUTO_UNIQUE)) << "the driver reports both";

    struct field_span {
        int offset, width;
    };
    struct attr_case {
        int id;
        std::vector<field_span> spans; // fields that become zero
        uint32_t flags_lost;
    } cases[] = {
        {SQL_DESC_SCHEMA_NAME, {{FR_SCHEMA_NAME, 32}}, 0},
        {SQL_DESC_NAME, {{FR_NAME, 32}, {FR_SOURCE_NAME, 32}}, 0},
        {SQL_DESC_TABLE_NAME, {{FR_TABLE_NAME, 32}, {FR_SOURCE_TABLE, 32}}, 0},
        {SQL_DESC_CATALOG_NAME, {{FR_CATALOG_NAME, 12}}, 0},
        {SQL_DESC_DISPLAY_SIZE, {{FR_LENGTH, 4}, {FR_WIDTH, 4}}, 0},
        {SQL_DESC_AUTO_UNIQUE_VALUE, {}, FR_FLAG_AUTO_UNIQUE},
        {SQL_DESC_NULLABLE, {}, FR_FLAG_NOT_NULL},
        {SQL_DESC_PRECISION, {{FR_PRECISION, 2}}, 0},
    };
    for (const attr_case &c : cases) {
        odbc_fault_reset();
        int rule = odbc_fault_fail("SQLColAttribute", 0, SQL_ERROR);
        odbc_fault_only_key(rule, c.id);
        std::string got = describe();
        EXPECT_GE(odbc_fault_fired(rule), 2u) << c.id;
        std::string want = clean;
        for (int rec = 0; rec < 2; ++rec) {
            for (const field_span &s : c.spans)
                std::memset(&want[static_cast<size_t>(rec * FIELD_REC_SIZE + s.offset)], 0, static_cast<size_t>(s.width));
            uint32_t flags;
            std::memcpy(&flags, want.data() + rec * FIELD_REC_SIZE + FR_FLAGS, 4);
            flags &= ~c.flags_lost;
            std::memcpy(&want[static_cast<size_t>(rec * FIELD_REC_SIZE + FR_FLAGS)], &flags, 4);
        }
        EXPECT_EQ(got, want) << "attribute " << c.id;
    }
    // A type that cannot be read is the unknown type: TYPE_TINY.
    odbc_fault_reset();
    odbc_fault_only_key(odbc_fault_fail("SQLColAttribute", 0, SQL_ERROR), SQL_DESC_TYPE);
    std::string got = describe();
    int32_t code;
    std::memcpy(&code, got.data() + FR_TYPE_CODE, 4);
    EXPECT_EQ(code, 1);
}

TEST_F(fault_test, attribute_texts_longer_than_their_fields_are_cut_without_terminator) {
    open("SELECT 1 AS a");
    odbc_fault_only_key(odbc_fault_text("SQLColAttribute", 0, std::string(40, 'n').c_str()), SQL_DESC_NAME);
    odbc_fault_only_key(odbc_fault_text("SQLColAttribute", 0, std::string(200, 'c').c_str()),
                        SQL_DESC_CATALOG_NAME);
    host_var records = host_var::raw(FIELD_REC_SIZE);
    host_var st = block();
    EXPECT_EQ(send(OP_DESCRIBE, st, {&records}), ST_OK);
    std::string rec = records.bytes(FIELD_REC_SIZE);
    EXPECT_EQ(rec.substr(FR_NAME, 32), std::string(32, 'n'));
    EXPECT_EQ(rec.substr(FR_SOURCE_NAME, 32), std::string(32, 'n'));
    EXPECT_EQ(rec.substr(FR_CATALOG_NAME, 12), std::string(12, 'c'));
    EXPECT_EQ(rec.substr(FR_DEFAULT_VALUE, 32), std::string(32, '\0'));
}

TEST_F(fault_test, display_size_of_no_total_counts_as_width_zero) {
    three_columns();
    int rule = odbc_fault_number("SQLColAttribute", 0, SQL_NO_TOTAL);
    odbc_fault_only_key(rule, SQL_DESC_DISPLAY_SIZE);
    host_var line = host_var::text("", 40);
    host_var st = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 3u);
    int32_t width;
    std::memcpy(&width, field_record(1).data() + FR_WIDTH, 4);
    EXPECT_EQ(width, SQL_NO_TOTAL) << "the record keeps what the driver said";
    EXPECT_EQ(line.text_value(), "") << "every column takes no room";
    EXPECT_EQ(status_view{st}.result(), 3);

    host_var grown = host_var::text("", 4, true);
    host_var st2 = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st2, {&grown}), ST_OK);
    EXPECT_TRUE(grown.resizes.empty()) << "a line of no width needs no growth";

    host_var id = host_var::integer(0), name = host_var::text("", 8, true);
    EXPECT_EQ(fetch_into({&id, &name}), ST_OK);
    EXPECT_EQ(id.int_value(), 3);
    EXPECT_EQ(name.text_value(), "three");
}

TEST_F(fault_test, describe_into_less_than_a_record_copies_nothing) {
    three_columns();
    host_var small = host_var::raw(FIELD_REC_SIZE - 1);
    small.fill(0xAA);
    host_var st = block();
    EXPECT_EQ(send(OP_DESCRIBE, st, {&small}), ST_OK);
    EXPECT_EQ(status_view{st}.result(), 3);
    EXPECT_EQ(small.bytes(FIELD_REC_SIZE - 1), std::string(FIELD_REC_SIZE - 1, '\xAA'));
    EXPECT_EQ(field_record(0).substr(0, 10), std::string("bookmarks", 10));
    EXPECT_EQ(field_record(1).substr(0, 3), std::string("id\0", 3)) << "the slot's records are described";
}

TEST_F(fault_test, a_column_count_beyond_the_records_describes_31) {
    three_columns();
    int rule = odbc_fault_number("SQLNumResultCols", 0, 40);
    host_var records = host_var::raw(40 * FIELD_REC_SIZE);
    records.fill(0xAA);
    host_var st = block();
    EXPECT_EQ(send(OP_DESCRIBE, st, {&records}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.result(), 40);
    std::string got = records.bytes(40 * FIELD_REC_SIZE);
    EXPECT_EQ(got.substr(0, 2), "id");
    EXPECT_EQ(got.substr(31 * FIELD_REC_SIZE), std::string(9 * FIELD_REC_SIZE, '\xAA')) << "records 32..40 untouched";
    EXPECT_EQ(odbc_fault_last_value("SQLColAttribute"), 31) << "the last column described";
}

// --- OP_FETCH -------------------------------------------------------------------

TEST_F(fault_test, fetch_checks_come_before_any_call) {
    three_columns();
    host_var st = fetch_block();
    EXPECT_EQ(send(OP_FETCH, st, {}, 2), ST_ARGS);
    close_result();
    host_var f = block();
    status_view{f}.set_subcode(1);
    send(OP_FREESTMT, f);
    odbc_fault_reset();
    host_var v = host_var::integer(0);
    host_var st2 = fetch_block();
    EXPECT_EQ(send(OP_FETCH, st2, {&v}), ST_NOSTMT);
    EXPECT_EQ(odbc_fault_total_calls(), 0u);
}

TEST_F(fault_test, failed_fetch_is_an_error_and_keeps_the_counter) {
    three_columns();
    for (bool real : {false, true}) {
        odbc_fault_reset();
        int rule = real ? odbc_fault_break("SQLFetchScroll", 1) : odbc_fault_fail("SQLFetchScroll", 1, SQL_ERROR);
        host_var v = host_var::integer(-7);
        host_var st = fetch_block();
        status_view{st}.set_rowcount(5.0);
        EXPECT_EQ(send(OP_FETCH, st, {&v}), ST_SQLERROR);
        EXPECT_EQ(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(status_view{st}.rowcount(), 5.0);
        EXPECT_EQ(v.int_value(), -7);
        EXPECT_EQ(odbc_fault_calls("SQLGetData"), 0u);
        if (real) {
            EXPECT_EQ(status_view{st}.sqlstate(), "HY106") << "fetch type out of range";
        } else {
            EXPECT_EQ(status_view{st}.native(), SQL_ERROR);
        }
    }
}

TEST_F(fault_test, fetch_with_information_delivers_the_row_without_its_diagnostics) {
    three_columns();
    int rule = odbc_fault_answer("SQLFetchScroll", 1, SQL_SUCCESS_WITH_INFO);
    host_var id = host_var::integer(0), name = host_var::text("", 10);
    host_var st = fetch_block();
    EXPECT_EQ(send(OP_FETCH, st, {&id, &name}), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(id.int_value(), 1);
    EXPECT_EQ(name.text_value(), "one");
    EXPECT_EQ(status_view{st}.sqlstate(), "");
    EXPECT_EQ(status_view{st}.rowcount(), 1.0);
}

TEST_F(fault_test, description_disagreeing_with_the_column_count_is_refused) {
    three_columns();
    // The fetch counts the columns first, describe_columns counts again.
    int rule = odbc_fault_number("SQLNumResultCols", 2, 5);
    host_var id = host_var::integer(-7);
    host_var st = fetch_block();
    status_view{st}.set_rowcount(4.0);
    EXPECT_EQ(send(OP_FETCH, st, {&id}), ST_FIELDS);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.rowcount(), 4.0);
    EXPECT_EQ(id.int_value(), -7);

    // A count that cannot be read at all is 0 columns, never garbage. The
    // count is asked at a result's first fetch (later fetches keep it), so
    // the failure is made there, on a result described beforehand.
    close_result();
    open("SELECT * FROM t");
    host_var records = host_var::raw(3 * FIELD_REC_SIZE);
    host_var d = block();
    ASSERT_EQ(send(OP_DESCRIBE, d, {&records}), ST_OK);
    odbc_fault_reset();
    rule = odbc_fault_fail("SQLNumResultCols", 1, SQL_ERROR);
    host_var st2 = fetch_block();
    EXPECT_EQ(send(OP_FETCH, st2, {&id}), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st2}.result(), 0);
    EXPECT_EQ(id.int_value(), -7);

    // Not kept: the next fetch asks again and delivers its row.
    host_var st3 = fetch_block();
    EXPECT_EQ(send(OP_FETCH, st3, {&id}), ST_OK);
    EXPECT_EQ(odbc_fault_calls("SQLNumResultCols"), 2u);
    EXPECT_EQ(id.int_value(), 2);
}

// A result's column count is asked once, at its first fetch; a new result
// on the same slot is counted afresh.
TEST_F(fault_test, column_count_is_asked_once_per_result) {
    three_columns();
    host_var id = host_var::integer(0);
    for (int row = 1; row <= 3; ++row) {
        host_var st = fetch_block();
        EXPECT_EQ(send(OP_FETCH, st, {&id}), ST_OK);
        EXPECT_EQ(id.int_value(), row);
    }
    EXPECT_EQ(odbc_fault_calls("SQLNumResultCols"), 2u) << "the first fetch and its description";

    close_result();
    host_var st = block();
    ASSERT_EQ(query("SELECT 42, 'x'", st), ST_OK);
    host_var a = host_var::integer(0), b = host_var::text("");
    host_var f = fetch_block();
    EXPECT_EQ(send(OP_FETCH, f, {&a, &b}), ST_OK);
    EXPECT_EQ(status_view{f}.result(), 2);
    EXPECT_EQ(a.int_value(), 42);
    EXPECT_EQ(b.text_value(), "x");
}

// SQLGetData of column 2 fails for real (the driver refuses a spoiled
// column number and records why) or without a record.
class getdata_fault_test : public fault_test {
protected:
    int fail_column_2(bool with_record) {
        int rule = with_record ? odbc_fault_break("SQLGetData", 1) : odbc_fault_fail("SQLGetData", 1, SQL_ERROR);
        odbc_fault_only_key(rule, 2);
        return rule;
    }
};

TEST_F(getdata_fault_test, variable_form_reports_the_column_and_delivers_the_others) {
    three_columns();
    for (bool with_record : {true, false}) {
        odbc_fault_reset();
        int rule = fail_column_2(with_record);
        host_var id = host_var::integer(0), name = host_var::text("old", 10), r = host_var::real(0);
        host_var st = fetch_block();
        EXPECT_EQ(send(OP_FETCH, st, {&id, &name, &r}), ST_SQLERROR);
        EXPECT_EQ(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(native_bytes(st), bytes_of({0, 0, 2, 0}));
        EXPECT_EQ(name.text_value(), "old");
        if (with_record) {
            EXPECT_EQ(status_view{st}.sqlstate().size(), 5u);
            EXPECT_EQ(status_view{st}.result(), 3) << "a failure with a record counts as delivered";
        } else {
            EXPECT_EQ(status_view{st}.result(), 2);
        }
        EXPECT_EQ(id.int_value(), with_record ? 1 : 2);
        EXPECT_EQ(r.real_value(), with_record ? 1.5 : 2.5);
    }
}

TEST_F(getdata_fault_test, line_form_reports_the_column_and_pads_it) {
    three_columns();
    int rule = fail_column_2(true);
    host_var line = host_var::text("", 200);
    host_var st = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.native(), 2);
    EXPECT_EQ(status_view{st}.sqlstate().size(), 5u);
    int32_t w1, w2;
    std::memcpy(&w1, field_record(1).data() + FR_WIDTH, 4);
    std::memcpy(&w2, field_record(2).data() + FR_WIDTH, 4);
    std::string text = line.text_value();
    ASSERT_GE(text.size(), static_cast<size_t>(w1 + w2));
    EXPECT_EQ(text.substr(0, 1), "1");
    EXPECT_EQ(text.substr(static_cast<size_t>(w1), static_cast<size_t>(w2)), std::string(static_cast<size_t>(w2), ' '));
    EXPECT_EQ(text.substr(static_cast<size_t>(w1 + w2), 3), "1.5");
}

// Columns 1 and 3 both fail for real: the report is the last one's, and
// column 2 between them is still delivered, in both forms.
TEST_F(getdata_fault_test, several_failed_columns_leave_the_last_ones_report) {
    three_columns();
    for (bool line_form : {false, true}) {
        close_result();
        open("SELECT * FROM t");
        odbc_fault_reset();
        int first = odbc_fault_break("SQLGetData", 1);
        odbc_fault_only_key(first, 1);
        int third = odbc_fault_break("SQLGetData", 1);
        odbc_fault_only_key(third, 3);
        host_var id = host_var::integer(-1), name = host_var::text("", 10), r = host_var::real(-1.0);
        host_var line = host_var::text("", 200);
        host_var st = fetch_block(0.0, line_form ? FETCH_LINE : 0);
        int rc = line_form ? send(OP_FETCH, st, {&line}) : send(OP_FETCH, st, {&id, &name, &r});
        EXPECT_EQ(rc, ST_SQLERROR) << line_form;
        EXPECT_EQ(odbc_fault_fired(first), 1u);
        EXPECT_EQ(odbc_fault_fired(third), 1u);
        EXPECT_EQ(status_view{st}.native(), 3) << line_form;
        EXPECT_EQ(status_view{st}.sqlstate().size(), 5u);
        if (line_form) {
            EXPECT_NE(line.text_value().find("one"), std::string::npos) << line.text_value();
        } else {
            EXPECT_EQ(name.text_value(), "one");
            EXPECT_EQ(id.int_value(), 0) << "a failed integer column stores its empty work value";
        }
    }
}

TEST_F(getdata_fault_test, array_forms_report_the_column_and_leave_its_element_empty) {
    three_columns();
    int rule = fail_column_2(true);
    host_var fixed = host_var::array(8, 3);
    fixed.fill('#');
    host_var st = fetch_block(0.0, FETCH_ARRAY, 3);
    EXPECT_EQ(send(OP_FETCH, st, {&fixed}), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(native_bytes(st), bytes_of({0, 0, 2, 0}));
    EXPECT_EQ(fixed.element(1), "1");
    EXPECT_EQ(fixed.element(2), "");
    EXPECT_EQ(fixed.element(3), "1.5");
    EXPECT_EQ(status_view{st}.result(), 3);

    odbc_fault_reset();
    rule = fail_column_2(false);
    host_var dyn = host_var::dynamic_array();
    host_var st2 = fetch_block(0.0, FETCH_ARRAY, 3);
    EXPECT_EQ(send(OP_FETCH, st2, {&dyn}), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st2}.native(), 2);
    EXPECT_EQ(dyn.element(1), "2");
    EXPECT_EQ(dyn.element(2), "") << "never the previous column's text";
    EXPECT_EQ(dyn.element(3), "2.5");
}

// After a column that could not be read, OP_GETERROR reads that column's
// record, not one that an earlier request left on the connection. The last
// column fails: reading a later one would clear the statement's record, as
// every call on a handle does.
TEST_F(getdata_fault_test, geterror_after_a_failed_column_reads_that_columns_record) {
    three_columns();
    for (int16_t form : {int16_t{0}, int16_t{FETCH_LINE}, int16_t{FETCH_ARRAY}}) {
        close_result();
        open("SELECT * FROM t");
        host_var attr = block();
        status_view{attr}.set_param_plain(SQL_ATTR_TXN_ISOLATION);
        host_var bad_level = host_var::integer(12345);
        ASSERT_EQ(send(OP_SETCONNATTR, attr, {&bad_level}), ST_SQLERROR);
        ASSERT_EQ(status_view{attr}.sqlstate(), "HY024");

        odbc_fault_reset();
        odbc_fault_only_key(odbc_fault_break("SQLGetData", 1), 3);
        host_var id = host_var::integer(0), name = host_var::text("", 10), r = host_var::real(0);
        host_var line = host_var::text("", 200), elements = host_var::array(16, 3);
        std::vector<host_var *> args = form == 0 ? std::vector<host_var *>{&id, &name, &r}
                                                 : std::vector<host_var *>{form == FETCH_LINE ? &line : &elements};
        host_var st = fetch_block(0.0, form, 3);
        ASSERT_EQ(send(OP_FETCH, st, args), ST_SQLERROR) << form;
        std::string column_state = status_view{st}.sqlstate();
        EXPECT_NE(column_state, "HY024") << form;

        host_var err = block();
        host_var message = host_var::text("", 300);
        EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
        EXPECT_EQ(status_view{err}.sqlstate(), column_state) << form;
        EXPECT_EQ(message.text_value().find("Invalid attribute value"), std::string::npos) << message.text_value();
    }
}

TEST_F(fault_test, refused_forms_have_fetched_the_row) {
    three_columns();
    host_var not_array = host_var::text("", 16);
    host_var st = fetch_block(0.0, FETCH_ARRAY, 3);
    EXPECT_EQ(send(OP_FETCH, st, {&not_array}), ST_BADARG);
    EXPECT_EQ(status_view{st}.rowcount(), 1.0);
    EXPECT_EQ(not_array.text_value(), "") << "nothing delivered";
    for (int16_t flags : {FETCH_LINE | 4, FETCH_LINE | 8}) {
        host_var line = host_var::text("untouched?", 16);
        host_var st2 = fetch_block(0.0, flags);
        status_view{st2}.set_rowcount(1.0);
        EXPECT_EQ(send(OP_FETCH, st2, {&line}), ST_UNSUPPORTED);
        EXPECT_EQ(status_view{st2}.rowcount(), 2.0);
        EXPECT_EQ(line.bytes(16), std::string(16, '\0')) << "cleared all the same";
    }
    EXPECT_EQ(odbc_fault_calls("SQLGetData"), 0u);
}

TEST_F(fault_test, array_form_whose_host_refuses_to_store_is_out_of_memory) {
    three_columns();
    host_var dyn = host_var::dynamic_array();
    dyn.putstr_result = 1;
    host_var st = fetch_block(0.0, FETCH_ARRAY, 3);
    sent s = send_traced(OP_FETCH, st, {&dyn});
    EXPECT_EQ(s.rc, ST_NOMEM);
    EXPECT_EQ(s.service_calls[HS_PUTSTR], 3) << "the remaining columns are still delivered";
}

// SQL_NO_TOTAL for a value longer than the scratch buffer: the value is
// read on in chunks and arrives whole wherever the caller has room.
class no_total_test : public fault_test {
protected:
    const std::string value = std::string(6000, 'a') + std::string(6000, 'b');
    int rule = -1;
    void SetUp() override {
        fault_test::SetUp();
        exec("CREATE TABLE big (v TEXT)");
        exec("INSERT INTO big VALUES ('" + value + "')");
        open("SELECT v, 'tail' FROM big");
        release_scratch_buffer(); // 4096 bytes again: the value does not fit
        rule = odbc_fault_no_total(0);
    }
};

TEST_F(no_total_test, variable_form) {
    host_var whole = host_var::text("", 20000), tail = host_var::text("", 8);
    EXPECT_EQ(fetch_into({&whole, &tail}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(whole.text_value(), value);
    EXPECT_EQ(tail.text_value(), "tail");
}

TEST_F(no_total_test, dynamic_variable_form) {
    int32_t width;
    host_var grown = host_var::text("", 4, true), tail = host_var::text("", 2, true);
    EXPECT_EQ(fetch_into({&grown, &tail}), ST_OK);
    std::memcpy(&width, field_record(1).data() + FR_WIDTH, 4);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    ASSERT_EQ(grown.resizes.size(), 1u);
    // Grown for the value as the width allows: 2 x 12000 + 1 for a wide
    // column, the width and one byte for a narrow one.
    size_t want = width > 255 ? std::min<size_t>(2 * value.size(), static_cast<size_t>(width)) : static_cast<size_t>(width);
    EXPECT_EQ(grown.resizes[0], want + 1);
    EXPECT_EQ(grown.text_value(), value.substr(0, std::min(want + 1, value.size())));
    EXPECT_EQ(tail.text_value(), "tail");
}

TEST_F(no_total_test, variable_form_into_a_small_variable) {
    host_var small = host_var::text("", 100);
    EXPECT_EQ(fetch_into({&small}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(small.text_value(), value.substr(0, 100)) << "a value that fills the variable has no terminator";
}

TEST_F(no_total_test, dynamic_array_form) {
    host_var dyn = host_var::dynamic_array();
    host_var st = fetch_block(0.0, FETCH_ARRAY, 2);
    EXPECT_EQ(send(OP_FETCH, st, {&dyn}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(dyn.element(1), value);
    EXPECT_EQ(dyn.element(2), "tail");
}

TEST_F(no_total_test, fixed_array_form) {
    host_var fixed = host_var::array(50, 2);
    host_var st = fetch_block(0.0, FETCH_ARRAY, 2);
    EXPECT_EQ(send(OP_FETCH, st, {&fixed}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(fixed.bytes(50), value.substr(0, 50));
    EXPECT_EQ(fixed.element(2), "tail");
}

TEST_F(no_total_test, line_form) {
    host_var line = host_var::text("", 16, true);
    host_var st = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_OK);
    EXPECT_GE(odbc_fault_fired(rule), 1u);
    int32_t w1;
    std::memcpy(&w1, field_record(1).data() + FR_WIDTH, 4);
    std::string text = line.text_value();
    size_t first = static_cast<size_t>(w1) < value.size() ? static_cast<size_t>(w1) : value.size();
    EXPECT_EQ(text.substr(0, first), value.substr(0, first));
}

// A driver that stops a text 1 to 3 bytes short of the buffer rather than
// split a multi-byte character (the interposer cuts at random): values of
// 5,000 bytes to a million, read in several chunks each, arrive exact in
// every form, in a dynamic variable too; the line holds the column's width.
TEST_F(fault_test, texts_cut_short_of_the_buffer_arrive_exact_in_every_form) {
    static const char *const pieces[] = {"a", "\xC3\xA9", "\xD0\xB6", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "7"};
    std::vector<std::string> values;
    exec("CREATE TABLE mb (id INTEGER PRIMARY KEY, v TEXT)");
    for (size_t n : {5000u, 37003u, 250001u, 1000000u}) {
        std::string v;
        for (size_t i = 0; v.size() + 4 <= n; i = (i * 7 + 3) % 11) v += pieces[i % 6];
        values.push_back(v + std::string(n - v.size(), 'x'));
        exec("INSERT INTO mb (v) VALUES ('" + values.back() + "')");
    }
    int rule = odbc_fault_short_reads(28);
    host_var fixed = host_var::text("", 1000001), grown = host_var::text("", 2, true);
    host_var elements = host_var::array(1000001, 1), line = host_var::text("", 1, true);
    std::vector<std::pair<const char *, std::function<std::string()>>> forms = {
        {"variable", [&] { return fetch_into({&fixed}) == ST_OK ? fixed.text_value() : "failed"; }},
        {"dynamic variable", [&] { return fetch_into({&grown}) == ST_OK ? grown.text_value() : "failed"; }},
        {"fixed array", [&] {
             host_var st = fetch_block(0.0, FETCH_ARRAY, 1);
             return send(OP_FETCH, st, {&elements}) == ST_OK ? elements.element(1) : "failed";
         }},
        {"dynamic array", [&] {
             host_var dyn = host_var::dynamic_array(), st = fetch_block(0.0, FETCH_ARRAY, 1);
             return send(OP_FETCH, st, {&dyn}) == ST_OK ? dyn.element(1) : "failed";
         }},
        {"line", [&] {
             host_var st = fetch_block(0.0, FETCH_LINE);
             return send(OP_FETCH, st, {&line}) == ST_OK ? line.text_value() : "failed";
         }}};
    for (auto &form : forms) {
        open("SELECT v FROM mb ORDER BY id");
        release_scratch_buffer();
        for (const std::string &v : values) {
            std::string got = form.second();
            std::string want = v;
            if (form.first == std::string("line")) { // the column's width, padded with spaces
                int32_t w;
                std::memcpy(&w, field_record(1).data() + FR_WIDTH, 4);
                want = v.substr(0, static_cast<size_t>(w)) + std::string(static_cast<size_t>(w) - std::min(static_cast<size_t>(w), v.size()), ' ');
            }
            EXPECT_TRUE(got == want) << form.first << ", " << v.size() << " bytes, " << got.size() << " arrived";
        }
        close_result();
    }
    EXPECT_GE(odbc_fault_fired(rule), 5u * values.size());
}

// A driver that reports its texts with wide types (SQLite's on Windows):
// TEXT and VARCHAR keep the type codes of SQL_WLONGVARCHAR and SQL_WVARCHAR,
// and only the binary columns have the binary flag, whatever their codes.
TEST_F(fault_test, wide_text_types_keep_their_codes_and_binary_columns_their_flag) {
    int rule = odbc_fault_wide_texts();
    open_table("tx TEXT, vc VARCHAR(10), bl BLOB, vb VARBINARY(6), t TINYINT", "('a', 'b', x'00', x'01', 1)");
    host_var recs = host_var::raw(5 * FIELD_REC_SIZE), st = block();
    ASSERT_EQ(send(OP_DESCRIBE, st, {&recs}), ST_OK);
    const int32_t want[][2] = {{252, 0}, {253, 0}, {1, FR_FLAG_BINARY}, {252, FR_FLAG_BINARY}, {1, 0}};
    for (int k = 1; k <= 5; ++k) {
        int32_t code, flags;
        std::memcpy(&code, field_record(k).data() + FR_TYPE_CODE, 4);
        std::memcpy(&flags, field_record(k).data() + FR_FLAGS, 4);
        EXPECT_EQ(code, want[k - 1][0]) << k;
        EXPECT_EQ(flags, want[k - 1][1]) << k;
    }
    EXPECT_GE(odbc_fault_fired(rule), 2u);
}

// --- the scratch buffer and the host's areas ------------------------------------

class scratch_fault_test : public fault_test {
protected:
    void SetUp() override {
        fault_test::SetUp();
        release_scratch_buffer();
    }
};

TEST_F(scratch_fault_test, growth_that_fails_hands_over_no_more_than_is_held) {
    exec("CREATE TABLE big (v TEXT)");
    exec("INSERT INTO big VALUES ('" + std::string(10000, 'x') + "')");
    open("SELECT v FROM big");
    unsigned long before = heap_request_count();
    heap_fail_nth(2); // the first allocation of 4096 bytes succeeds, the growth fails
    host_var dyn = host_var::dynamic_array();
    host_var st = fetch_block(0.0, FETCH_ARRAY, 1);
    EXPECT_EQ(send(OP_FETCH, st, {&dyn}), ST_NOMEM);
    EXPECT_EQ(heap_request_count() - before, 3u) << "and the area of the column's kept record";
    EXPECT_EQ(dyn.element(1), std::string(4095, 'x'));
}

TEST_F(scratch_fault_test, growth_that_fails_in_the_variable_form_cuts_to_the_variable) {
    exec("CREATE TABLE big (v TEXT)");
    exec("INSERT INTO big VALUES ('" + std::string(10000, 'x') + "')");
    open("SELECT v FROM big");
    heap_fail_nth(2);
    host_var v = host_var::text("", 9000);
    EXPECT_EQ(fetch_into({&v}), ST_NOMEM);
    EXPECT_EQ(v.text_value(), std::string(4095, 'x'));
}

// Without a scratch buffer each value is read straight into the caller's
// area, and no type may write beyond it.
TEST_F(scratch_fault_test, without_a_scratch_buffer_no_value_lands_outside_its_variable) {
    exec("CREATE TABLE t (r REAL, i INTEGER, s TEXT, b BLOB)");
    exec("INSERT INTO t VALUES (2.5, -5, 'abcdefgh', x'0102030405060708')");
    open("SELECT r, i, i, s, b FROM t");
    heap_fail_after(0);
    host_var small_float = host_var::raw(4, HV_FLOAT);
    small_float.fill(0x11);
    host_var i = host_var::integer(0);
    host_var bin = host_var::raw(8, HV_BINARY);
    host_var text = host_var::text("", 5);
    host_var raw = host_var::raw(3);
    int rc = fetch_into({&small_float, &i, &bin, &text, &raw});
    EXPECT_TRUE(rc == ST_OK || rc == ST_NOMEM) << rc;
    EXPECT_EQ(i.int_value(), -5);
    EXPECT_EQ(text.text_value(), "abcd");
    EXPECT_EQ(raw.bytes(3), "\x01\x02\x03");
    double d = 2.5;
    EXPECT_EQ(small_float.bytes(4), std::string(reinterpret_cast<const char *>(&d), 4));
    EXPECT_EQ(getdata_buf, nullptr);
}

TEST_F(scratch_fault_test, without_a_scratch_buffer_the_line_and_arrays_stay_within_their_areas) {
    exec("CREATE TABLE t (a TEXT, b TEXT)");
    exec("INSERT INTO t VALUES ('abcdefghij', 'klmnopqrst'), ('0123456789', 'uvwxyz')");
    open("SELECT a, b FROM t");
    heap_fail_after(0);
    // The driver cuts each value to the room it is given and ends it with a
    // NUL: a character is lost, for want of memory.
    host_var line = host_var::text("", 7);
    host_var st = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_NOMEM);
    EXPECT_EQ(line.text_value().substr(0, 5), "abcde");
    EXPECT_LE(line.text_value().size(), 6u);
    host_var fixed = host_var::array(4, 2);
    host_var st2 = fetch_block(0.0, FETCH_ARRAY, 2);
    EXPECT_EQ(send(OP_FETCH, st2, {&fixed}), ST_NOMEM);
    EXPECT_EQ(fixed.element(1), "012") << "the driver cuts the text and ends it";
    EXPECT_EQ(fixed.element(2), "uvw");
    close_result();
    open("SELECT a, b FROM t");
    host_var dyn = host_var::dynamic_array();
    host_var st3 = fetch_block(0.0, FETCH_ARRAY, 2);
    EXPECT_EQ(send(OP_FETCH, st3, {&dyn}), ST_NOMEM) << "no buffer to hand over";
    EXPECT_EQ(dyn.element(1), "");
}

TEST_F(fault_test, resize_refused_by_the_host_cuts_to_the_old_area) {
    exec("CREATE TABLE t (a VARCHAR(4), b VARCHAR(4))");
    exec("INSERT INTO t VALUES ('abcd', 'efgh'), ('ijkl', 'mnop')");
    open("SELECT a, b FROM t");
    host_var line = host_var::text("", 6, true);
    line.resize_result = 1;
    host_var st = fetch_block(0.0, FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st, {&line}), ST_OK);
    EXPECT_EQ(line.resizes.size(), 1u);
    EXPECT_EQ(line.bytes(6), std::string("abcde\0", 6));
    host_var a = host_var::text("", 2, true), b = host_var::text("", 3, true);
    a.resize_result = 1;
    b.resize_result = 1;
    EXPECT_EQ(fetch_into({&a, &b}), ST_OK);
    EXPECT_EQ(a.resizes.size(), 2u) << "to the width, then to the value";
    EXPECT_EQ(a.bytes(2), "ij") << "a value that fills the variable has no terminator";
    EXPECT_EQ(b.bytes(3), "mno");
}

// --- OP_INFO ----------------------------------------------------------------------

TEST_F(fault_test, info_whose_driver_answer_fails_is_an_error) {
    host_var first = host_var::text("", 64);
    host_var st0 = block();
    status_view{st0}.set_subcode(1);
    ASSERT_EQ(send(OP_INFO, st0, {&first}), ST_OK) << "a call on the connection that leaves no record";
    odbc_fault_reset();
    int rule = odbc_fault_fail("SQLGetInfo", 1, SQL_ERROR);
    host_var text = host_var::text("before", 64);
    host_var st = block();
    status_view{st}.set_subcode(1);
    EXPECT_EQ(send(OP_INFO, st, {&text}), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(text.text_value(), "") << "the empty answer, no record to replace it";
    EXPECT_EQ(status_view{st}.result(), 0);

    odbc_fault_reset();
    rule = odbc_fault_break("SQLGetInfo", 1);
    host_var text2 = host_var::text("", 20);
    host_var st2 = block();
    status_view{st2}.set_subcode(3);
    EXPECT_EQ(send(OP_INFO, st2, {&text2}), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st2}.sqlstate().size(), 5u);
    EXPECT_EQ(text2.text_value().size(), 19u) << "the message, cut to the variable: " << text2.text_value();

    odbc_fault_reset();
    odbc_fault_break("SQLGetInfo", 1);
    odbc_fault_text("SQLGetDiagRec", 0, "\xC3\xA9\xC3\xA9\xC3\xA9");
    host_var text3 = host_var::text("", 6);
    host_var st3 = block();
    status_view{st3}.set_subcode(3);
    EXPECT_EQ(send(OP_INFO, st3, {&text3}), ST_SQLERROR);
    EXPECT_EQ(text3.text_value(), "\xC3\xA9\xC3\xA9") << "never half a character";
}

TEST_F(fault_test, info_whose_driver_answer_is_cut_keeps_the_answer) {
    const std::string name(300, 'd');
    int rule = odbc_fault_text("SQLGetInfo", 1, name.c_str());
    host_var text = host_var::text("", 400);
    host_var st = block();
    status_view{st}.set_subcode(1);
    EXPECT_EQ(send(OP_INFO, st, {&text}), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(text.text_value(), name.substr(0, 239));
    EXPECT_EQ(status_view{st}.native(), SQL_SUCCESS_WITH_INFO);

    odbc_fault_reset();
    odbc_fault_text("SQLGetInfo", 1, "03.51.0012");
    host_var st2 = block();
    status_view{st2}.set_subcode(3);
    EXPECT_EQ(send(OP_INFO, st2, {&text}), ST_OK);
    EXPECT_EQ(status_view{st2}.result(), 3005112);
}

TEST_F(fault_test, info_counts_that_fail_are_errors) {
    open("SELECT 1, 2");
    int rule = odbc_fault_fail("SQLNumResultCols", 1, SQL_ERROR);
    host_var st = block();
    status_view{st}.set_subcode(5);
    EXPECT_EQ(send(OP_INFO, st, {}, 2), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st}.result(), 0);

    odbc_fault_reset();
    odbc_fault_answer("SQLNumResultCols", 1, SQL_SUCCESS_WITH_INFO);
    host_var st2 = block();
    status_view{st2}.set_subcode(5);
    EXPECT_EQ(send(OP_INFO, st2, {}, 2), ST_OK);
    EXPECT_EQ(status_view{st2}.result(), 2);
    EXPECT_EQ(status_view{st2}.native(), SQL_SUCCESS_WITH_INFO);

    for (int item : {6, 10}) {
        for (bool fail : {true, false}) {
            odbc_fault_reset();
            rule = fail ? odbc_fault_fail("SQLRowCount", 1, SQL_ERROR)
                        : odbc_fault_answer("SQLRowCount", 1, SQL_SUCCESS_WITH_INFO);
            host_var st3 = block();
            status_view{st3}.set_subcode(static_cast<int16_t>(item));
            status_view{st3}.set_rowcount(9.0);
            EXPECT_EQ(send(OP_INFO, st3, {}, 2), ST_SQLERROR) << item;
            EXPECT_EQ(odbc_fault_fired(rule), 1u);
            EXPECT_EQ(status_view{st3}.rowcount(), 0.0);
        }
    }
    odbc_fault_reset();
    host_var st4 = block();
    status_view{st4}.set_subcode(2);
    EXPECT_EQ(send(OP_INFO, st4, {}, 2), ST_ARGS);
    EXPECT_EQ(odbc_fault_total_calls(), 0u);
}

// --- attributes -------------------------------------------------------------------

TEST_F(fault_test, statement_attribute_without_a_statement_to_allocate) {
    for (int op : {OP_GETSTMTATTR, OP_SETSTMTATTR}) {
        odbc_fault_reset();
        int rule = odbc_fault_fail("SQLAllocHandle", 1, SQL_ERROR);
        host_var v = host_var::integer(30);
        host_var st = block();
        EXPECT_EQ(send(op, st, {&v}), ST_NOSTMT) << op;
        EXPECT_EQ(odbc_fault_fired(rule), 1u);
        EXPECT_EQ(status_view{st}.native(), SQL_ERROR);
        EXPECT_EQ(odbc_fault_calls("SQLSetStmtAttr") + odbc_fault_calls("SQLGetStmtAttr"), 0u);
    }
    // An allocation with information is captured on the early exits too.
    odbc_fault_reset();
    odbc_fault_answer("SQLAllocHandle", 1, SQL_SUCCESS_WITH_INFO);
    host_var v = host_var::integer(1);
    host_var st = block();
    status_view{st}.set_subcode(28);
    EXPECT_EQ(send(OP_SETSTMTATTR, st, {&v}), ST_BADARG);
    EXPECT_EQ(status_view{st}.native(), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(odbc_fault_calls("SQLSetStmtAttr"), 0u);
}

TEST_F(fault_test, every_attribute_call_that_fails_is_an_error_and_stores_nothing) {
    struct {
        int opcode;
        const char *fn;
    } cases[] = {{OP_GETCONNATTR, "SQLGetConnectAttr"},
                 {OP_SETCONNATTR, "SQLSetConnectAttr"},
                 {OP_GETSTMTATTR, "SQLGetStmtAttr"},
                 {OP_SETSTMTATTR, "SQLSetStmtAttr"}};
    // Without a record first: a failure that never reaches the driver
    // manager finds the record of an earlier one on the handle.
    for (bool real : {false, true}) {
        for (auto &c : cases) {
            if (c.opcode == OP_GETCONNATTR || c.opcode == OP_SETCONNATTR) {
                // The diagnostics step prefers the statement: without one
                // it reads the connection, where the failure is recorded.
                host_var f = block();
                status_view{f}.set_subcode(1);
                send(OP_FREESTMT, f);
            }
            odbc_fault_reset();
            int rule = real ? odbc_fault_break(c.fn, 1) : odbc_fault_fail(c.fn, 1, SQL_INVALID_HANDLE);
            host_var v = host_var::integer(1);
            host_var st = block();
            status_view{st}.set_param_plain(SQL_ATTR_AUTOCOMMIT);
            status_view{st}.set_subcode(SQL_ATTR_MAX_ROWS);
            EXPECT_EQ(send(c.opcode, st, {&v}), ST_SQLERROR) << c.fn;
            EXPECT_EQ(odbc_fault_fired(rule), 1u) << c.fn;
            EXPECT_TRUE(v.putnums.empty()) << c.fn;
            if (real) {
                EXPECT_EQ(status_view{st}.sqlstate().size(), 5u) << c.fn;
            } else {
                EXPECT_EQ(native_bytes(st), bytes_of({0xFF, 0xFF, 0xFE, 0xFF})) << c.fn;
            }
        }
    }
}

TEST_F(fault_test, attribute_answers_with_information_are_ok_and_captured) {
    int rule = odbc_fault_answer("SQLGetConnectAttr", 1, SQL_SUCCESS_WITH_INFO);
    host_var v = host_var::integer(-1);
    host_var st = block();
    status_view{st}.set_param_plain(SQL_ATTR_AUTOCOMMIT);
    EXPECT_EQ(send(OP_GETCONNATTR, st, {&v}), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(v.int_value(), 1);
    EXPECT_EQ(status_view{st}.native(), SQL_SUCCESS_WITH_INFO);
}

TEST_F(fault_test, setting_an_attribute_to_zero_reaches_the_driver_and_refusals_do_not) {
    host_var zero = host_var::integer(0);
    host_var st = block();
    status_view{st}.set_param_plain(SQL_ATTR_AUTOCOMMIT);
    EXPECT_EQ(send(OP_SETCONNATTR, st, {&zero}), ST_OK);
    EXPECT_EQ(odbc_fault_calls("SQLSetConnectAttr"), 1u);
    EXPECT_EQ(odbc_fault_last_key("SQLSetConnectAttr"), SQL_ATTR_AUTOCOMMIT);
    EXPECT_EQ(odbc_fault_last_value("SQLSetConnectAttr"), 0);

    odbc_fault_reset();
    for (int32_t number : {0, 100, 1208, 0x00660000}) {
        host_var s = block();
        status_view{s}.set_param_plain(number);
        EXPECT_EQ(send(OP_SETCONNATTR, s, {&zero}), ST_BADARG) << number;
    }
    for (int16_t number : {-3, 9, 13, 28, 26}) {
        host_var s = block();
        status_view{s}.set_subcode(number);
        EXPECT_EQ(send(OP_SETSTMTATTR, s, {&zero}), ST_BADARG) << number;
    }
    host_var addr = host_var::integer(0x1000);
    for (int16_t number : {16, 17, 21, 23, 24, 19, 20, 25, 10010}) {
        host_var s = block();
        status_view{s}.set_subcode(number);
        EXPECT_EQ(send(OP_SETSTMTATTR, s, {&addr}), ST_UNSUPPORTED) << number;
    }
    host_var quiet = block(), window = host_var::integer(0x00010010); // what a window handle looks like
    status_view{quiet}.set_param_plain(SQL_ATTR_QUIET_MODE);
    EXPECT_EQ(send(OP_SETCONNATTR, quiet, {&window}), ST_UNSUPPORTED) << "no number is a window of the host";
    EXPECT_EQ(odbc_fault_calls("SQLSetConnectAttr") + odbc_fault_calls("SQLSetStmtAttr") +
                  odbc_fault_calls("SQLGetStmtAttr"),
              0u);
}

// --- OP_DATASOURCES -----------------------------------------------------------------

TEST_F(fault_test, data_source_enumeration_failures) {
    host_var name = host_var::text("", 64), desc = host_var::text("", 64);
    host_var st = block();
    EXPECT_EQ(send(OP_DATASOURCES, st, {&name}), ST_ARGS);
    EXPECT_EQ(odbc_fault_total_calls(), 0u);

    int rule = odbc_fault_break("SQLDataSources", 1);
    host_var st2 = block();
    status_view{st2}.set_subcode(SQL_FETCH_FIRST);
    EXPECT_EQ(send(OP_DATASOURCES, st2, {&name, &desc}), ST_SQLERROR);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st2}.sqlstate(), "HY103") << "the environment's record";

    odbc_fault_reset();
    rule = odbc_fault_fail("SQLDataSources", 1, SQL_ERROR);
    host_var st3 = block();
    status_view{st3}.set_subcode(SQL_FETCH_FIRST);
    EXPECT_EQ(send(OP_DATASOURCES, st3, {&name, &desc}), ST_SQLERROR);
    EXPECT_EQ(status_view{st3}.native(), SQL_ERROR);

    odbc_fault_reset();
    rule = odbc_fault_answer("SQLDataSources", 1, SQL_SUCCESS_WITH_INFO);
    host_var st4 = block();
    status_view{st4}.set_subcode(SQL_FETCH_FIRST);
    EXPECT_EQ(send(OP_DATASOURCES, st4, {&name, &desc}), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(status_view{st4}.native(), SQL_SUCCESS_WITH_INFO);
    EXPECT_FALSE(name.text_value().empty());

    odbc_fault_reset();
    rule = odbc_fault_text("SQLDataSources", 1, "a-data-source-with-a-long-name");
    host_var small = host_var::text("", 8);
    host_var st5 = block();
    status_view{st5}.set_subcode(SQL_FETCH_FIRST);
    EXPECT_EQ(send(OP_DATASOURCES, st5, {&small, &desc}), ST_OK);
    EXPECT_EQ(odbc_fault_fired(rule), 1u);
    EXPECT_EQ(small.text_value(), "a-data-");
    EXPECT_EQ(status_view{st5}.native(), SQL_SUCCESS_WITH_INFO);
}

// Given a buffer length of 0 the driver manager writes a NUL one byte before
// the buffer; a variable of size 0 or less must not be handed over at all,
// whatever the low 16 bits of a negative size say.
TEST_F(fault_test, data_source_variables_of_length_zero_receive_nothing) {
    const size_t size = 200;
    for (int32_t declared : {0, -65536 + 200}) {
        for (int which : {3, 4}) {
            host_var empty = host_var::raw(size, HV_TEXT);
            empty.fill(0xEE);
            empty.declared_size = declared;
            host_var other = host_var::text("", 64);
            host_var st = block();
            status_view{st}.set_subcode(SQL_FETCH_FIRST);
            if (which == 3)
                EXPECT_EQ(send(OP_DATASOURCES, st, {&empty, &other}), ST_OK) << declared;
            else
                EXPECT_EQ(send(OP_DATASOURCES, st, {&other, &empty}), ST_OK) << declared;
            EXPECT_TRUE(empty.guards_intact()) << declared << " argument " << which;
            EXPECT_EQ(empty.bytes(size), std::string(size, '\xEE')) << declared << " argument " << which;
            EXPECT_FALSE(other.text_value().empty()) << "the other text is delivered";
        }
    }
}

// --- the heap -------------------------------------------------------------------------

// One session that reaches every allocation of the library: a field buffer,
// the private copy of the connect text, a form-3 key schedule, the scratch
// buffer and its growth. Returns the statuses it saw.
std::vector<int> heap_session(std::string *value_read) {
    std::vector<int> seen;
    auto note = [&](int rc) {
        seen.push_back(rc);
        return rc;
    };
    host_var st = status_block();
    if (note(send(OP_NEWCONN, st)) != ST_OK) return seen;
    int s = status_view{st}.slot();
    host_var c = status_block(s);
    host_var text = host_var::text("-host=demo -user=ann -pw=\x03" "abcd" + std::string(64, 'Q'), 128);
    if (note(send(OP_CONNECT, c, {&text})) != ST_OK) return seen;
    host_var q = status_block(s);
    host_var sql = host_var::text(repeated_text_query(9000));
    if (note(send(OP_QUERY, q, {&sql})) != ST_OK) return seen;
    host_var f = status_block(s);
    host_var v = host_var::text("", 9001);
    note(send(OP_FETCH, f, {&v}));
    *value_read = v.text_value();
    host_var d = status_block(s);
    note(send(OP_DISCONNECT, d));
    return seen;
}

TEST_F(bare_fault_test, every_allocation_of_a_session_failing_in_turn) {
    release_scratch_buffer();
    unsigned long before = heap_request_count();
    std::string value;
    std::vector<int> clean = heap_session(&value);
    const unsigned long allocations = heap_request_count() - before;
    ASSERT_EQ(value, std::string(9000, 'x'));
    for (int rc : clean) ASSERT_EQ(rc, ST_OK);
    ASSERT_GE(allocations, 5u) << "field buffer, connect text, key schedule, scratch buffer, growth";

    for (unsigned long n = 1; n <= allocations; ++n) {
        shutdown_library();
        init_library();
        release_scratch_buffer();
        before = heap_request_count();
        heap_fail_nth(static_cast<long>(n));
        std::string got;
        std::vector<int> statuses = heap_session(&got);
        heap_fail_after(-1);
        EXPECT_GE(heap_request_count() - before, n) << "allocation " << n << " was reached";
        bool reported = false;
        for (int rc : statuses) {
            EXPECT_TRUE(is_table_code(rc)) << rc;
            EXPECT_TRUE(rc == ST_OK || rc == ST_NOMEM) << "allocation " << n << ": " << rc;
            reported = reported || rc == ST_NOMEM;
        }
        // A failed key schedule leaves the password scrambled, which SQLite
        // ignores: the one allocation whose failure a caller does not see.
        if (!reported) {
            EXPECT_EQ(got, std::string(9000, 'x')) << "allocation " << n;
        } else if (!got.empty()) {
            EXPECT_EQ(got, std::string(got.size(), 'x')) << "allocation " << n;
        }
    }
    // And afterwards everything works again.
    shutdown_library();
    init_library();
    std::string again;
    for (int rc : heap_session(&again)) EXPECT_EQ(rc, ST_OK);
    EXPECT_EQ(again, std::string(9000, 'x'));
}

// --- OP_QUERY with values --------------------------------------------------

class values_fault_test : public fault_test {
protected:
    int insert(host_var &st, const std::string &sql = "INSERT INTO p VALUES (?)") {
        host_var text = host_var::text(sql), value = host_var::integer(7);
        return send(OP_QUERY, st, {&text, &value});
    }
    std::string stored() {
        open("SELECT COUNT(*) FROM p");
        host_var n = host_var::text("", 20);
        EXPECT_EQ(fetch_into({&n}), ST_OK);
        close_result();
        return n.text_value();
    }
};

TEST_F(values_fault_test, each_failed_call_gives_its_record_and_leaves_nothing_bound) {
    exec("CREATE TABLE p (a INTEGER)");
    for (const char *fn : {"SQLPrepare", "SQLNumParams", "SQLBindParameter", "SQLExecute"}) {
        odbc_fault_reset();
        int rule = odbc_fault_fail(fn, 1, SQL_ERROR);
        host_var st = block();
        EXPECT_EQ(insert(st), ST_SQLERROR) << fn;
        EXPECT_EQ(odbc_fault_fired(rule), 1u) << fn;
        EXPECT_EQ(status_view{st}.native(), SQL_ERROR) << fn << ": the return code, as no record was left";
        EXPECT_EQ(status_view{st}.result(), 0) << fn;
        odbc_fault_reset();
        host_var plain = block();
        EXPECT_EQ(query("INSERT INTO p VALUES (?)", plain), ST_SQLERROR) << fn << ": a value stayed bound";
    }
    EXPECT_EQ(stored(), "0");
    host_var st = block();
    EXPECT_EQ(insert(st), ST_OK);
    EXPECT_EQ(stored(), "1");
}

TEST_F(values_fault_test, the_same_text_is_prepared_once_until_something_replaces_it) {
    exec("CREATE TABLE p (a INTEGER)");
    odbc_fault_reset();
    host_var st = block();
    struct step {
        const char *between; // what runs between two inserts of the same text
        unsigned long prepares; // from there to the second insert
    };
    for (const step &c : {step{"", 0}, step{"close", 0}, step{"other text", 2}, step{"plain", 1},
                          step{"show", 1}, step{"attribute", 1}, step{"free", 1}}) {
        EXPECT_EQ(insert(st), ST_OK) << c.between;
        odbc_fault_reset();
        std::string between = c.between;
        host_var b = block();
        if (between == "close" || between == "free") {
            status_view{b}.set_subcode(between == "free" ? 1 : 0);
            send(OP_FREESTMT, b);
        } else if (between == "other text") {
            EXPECT_EQ(insert(b, "INSERT INTO p SELECT ?"), ST_OK);
        } else if (between == "plain" || between == "show") {
            EXPECT_EQ(query(between == "plain" ? "SELECT 1" : "SHOW TABLES", b), ST_OK);
            close_result();
        } else if (between == "attribute") {
            status_view{b}.set_subcode(SQL_ATTR_QUERY_TIMEOUT);
            host_var v = host_var::integer(0);
            send(OP_SETSTMTATTR, b, {&v});
        }
        EXPECT_EQ(insert(st), ST_OK) << c.between;
        EXPECT_EQ(odbc_fault_calls("SQLPrepare"), c.prepares) << c.between;
    }
}

} // namespace
