// Connection and statement attributes (OP_GETCONNATTR, OP_SETCONNATTR,
// OP_GETSTMTATTR, OP_SETSTMTATTR) through the SQLite data source.
#include "support/result_fixture.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>

namespace {

// What one attribute request left behind.
struct attr_answer {
    int rc;
    std::string state;
    std::vector<int64_t> stored; // what HS_PUTNUM stored into argument 3
    int getnums;                 // HS_GETNUM calls: argument 3 was read
    int getstrs;                 // HS_GETSTR calls
};

bool is_connection_request(int opcode) { return opcode == OP_GETCONNATTR || opcode == OP_SETCONNATTR; }

// Sends an attribute request: the number goes to +4 (plain) for the
// connection requests, to +2 for the statement requests. Without a value
// the request has two arguments.
attr_answer send_attr(int opcode, int slot, int32_t number, host_var *value) {
    host_var st = status_block(slot);
    if (is_connection_request(opcode))
        status_view{st}.set_param_plain(number);
    else
        status_view{st}.set_subcode(static_cast<int16_t>(number));
    std::vector<host_var *> operands;
    if (value != nullptr) operands.push_back(value);
    sent s = send_traced(opcode, st, operands);
    int opcode_reads = 1; // the request's opcode is read with HS_GETNUM too
    return {s.rc, status_view{st}.sqlstate(), value ? value->putnums : std::vector<int64_t>{},
            s.service_calls[HS_GETNUM] - opcode_reads, s.service_calls[HS_GETSTR]};
}

attr_answer set_number(int opcode, int slot, int32_t number, int64_t value) {
    host_var v = host_var::integer(value);
    return send_attr(opcode, slot, number, &v);
}

attr_answer set_text(int slot, int32_t number, const std::string &text) {
    host_var v = host_var::text(text, 256);
    return send_attr(OP_SETCONNATTR, slot, number, &v);
}

// Reads an attribute that must be readable; its value as stored by HS_PUTNUM.
int64_t read_number(int opcode, int slot, int32_t number) {
    host_var v = host_var::integer(12345);
    attr_answer a = send_attr(opcode, slot, number, &v);
    EXPECT_EQ(a.rc, ST_OK) << "read of attribute " << number << ": " << a.state;
    EXPECT_EQ(a.stored.size(), 1u) << "read of attribute " << number;
    return a.stored.empty() ? 12345 : a.stored[0];
}

int run_sql(int slot, const std::string &sql) {
    host_var st = status_block(slot);
    host_var text = host_var::text(sql);
    return send(OP_QUERY, st, {&text});
}

void close_cursor(int slot) {
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_FREESTMT, st), ST_OK);
}

// Whether the slot holds a statement: OP_FREESTMT closing it (which does
// no harm) answers ST_NOSTMT when there is none.
bool has_statement(int slot) {
    host_var st = status_block(slot);
    return send(OP_FREESTMT, st) != ST_NOSTMT;
}

// One OP_FETCH into the given variables; false at the end of the result.
bool fetch_row(int slot, std::vector<host_var *> vars) {
    host_var st = status_block(slot);
    EXPECT_EQ(send(OP_FETCH, st, vars), ST_OK) << status_view{st}.sqlstate();
    return status_view{st}.native() != SQL_NO_DATA;
}

// The rows of table t as the slot's connection sees them.
int64_t rows_in_t(int slot) {
    EXPECT_EQ(run_sql(slot, "SELECT COUNT(*) FROM t"), ST_OK);
    host_var count = host_var::integer(-1);
    EXPECT_TRUE(fetch_row(slot, {&count}));
    close_cursor(slot);
    return count.int_value();
}

class attributes_test : public result_test {};

// --- connection attributes --------------------------------------------------

TEST_F(attributes_test, autocommit_off_keeps_an_insert_for_a_rollback_to_discard) {
    exec("CREATE TABLE t(a INTEGER)");
    EXPECT_EQ(set_number(OP_SETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT, 0).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT), 0);
    exec("INSERT INTO t VALUES(1)");
    EXPECT_EQ(rows_in_t(slot), 1);
    // With autocommit on, the insert would be committed already and SQLite
    // would refuse the ROLLBACK: no transaction is active.
    EXPECT_EQ(run_sql(slot, "ROLLBACK"), ST_OK);
    EXPECT_EQ(rows_in_t(slot), 0);

    // The driver does not notice a ROLLBACK sent as SQL and still counts
    // its transaction open: give it one to close, so that the slot
    // disconnects cleanly.
    exec("BEGIN");
    EXPECT_EQ(set_number(OP_SETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT, 1).rc, ST_OK);
}

TEST_F(attributes_test, autocommit_back_on_commits_what_another_connection_could_not_see) {
    int other = connect_slot("demo");
    exec("CREATE TABLE t(a INTEGER)");
    EXPECT_EQ(set_number(OP_SETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT, 0).rc, ST_OK);
    exec("INSERT INTO t VALUES(1)");
    EXPECT_EQ(rows_in_t(slot), 1);
    EXPECT_EQ(rows_in_t(other), 0) << "the insert is not committed yet";

    EXPECT_EQ(set_number(OP_SETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT, 1).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT), 1);
    EXPECT_EQ(rows_in_t(other), 1) << "turning autocommit on commits";
}

// Closing a connection, by OP_DISCONNECT or OP_SHUTDOWN, rolls back work
// not committed and really ends it: SQLite keeps no lock on the database.
TEST_F(attributes_test, teardown_with_work_not_committed_rolls_it_back_and_releases_the_database) {
    exec("CREATE TABLE t(a INTEGER)");
    for (int opcode : {OP_DISCONNECT, OP_SHUTDOWN}) {
        EXPECT_EQ(set_number(OP_SETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT, 0).rc, ST_OK);
        exec("INSERT INTO t VALUES(1)");
        host_var st = status_block(slot);
        EXPECT_EQ(send(opcode, st), ST_OK) << opcode;
        init_library();
        slot = connect_slot("demo");
        EXPECT_EQ(rows_in_t(slot), 0) << opcode << ": the insert was rolled back";
        host_var insert = status_block(slot);
        host_var text = host_var::text("INSERT INTO t VALUES(2)");
        EXPECT_EQ(send(OP_QUERY, insert, {&text}), ST_OK) << opcode << ": " << status_view{insert}.sqlstate();
        exec("DELETE FROM t");
    }
}

// The diagnostics are those of the call that failed, here on the
// connection, not of an earlier failed statement on the slot; OP_GETERROR
// gives the same record's message.
TEST_F(attributes_test, diagnostics_come_from_the_handle_whose_call_failed) {
    host_var failed = status_block(slot);
    host_var bad = host_var::text("SELEC nonsense");
    EXPECT_EQ(send(OP_QUERY, failed, {&bad}), ST_SQLERROR);
    EXPECT_EQ(status_view{failed}.sqlstate(), "HY000");

    attr_answer a = set_number(OP_SETCONNATTR, slot, SQL_ATTR_TXN_ISOLATION, 12345);
    EXPECT_EQ(a.rc, ST_SQLERROR);
    EXPECT_EQ(a.state, "HY024");
    host_var err = status_block(slot);
    host_var message = host_var::text("", 300);
    EXPECT_EQ(send(OP_GETERROR, err, {&message}), ST_SQLERROR);
    EXPECT_EQ(status_view{err}.sqlstate(), "HY024");
    EXPECT_EQ(message.text_value().find("SELEC"), std::string::npos) << message.text_value();
}

TEST_F(attributes_test, text_attributes_read_as_minus_99_and_set_from_the_text) {
    for (int32_t number : {SQL_ATTR_CURRENT_CATALOG, SQL_ATTR_TRACEFILE, SQL_ATTR_TRANSLATE_LIB}) {
        host_var v = host_var::integer(7);
        attr_answer a = send_attr(OP_GETCONNATTR, slot, number, &v);
        EXPECT_EQ(a.rc, ST_OK) << number;
        EXPECT_EQ(a.stored, std::vector<int64_t>{-99}) << number;
        EXPECT_EQ(a.getstrs, 1) << "a text attribute's argument is read as a text";
        EXPECT_EQ(a.getnums, 0);
    }
    // The driver takes the empty catalog with a warning: status 0, the
    // warning's SQLSTATE kept.
    attr_answer catalog = set_text(slot, SQL_ATTR_CURRENT_CATALOG, "");
    EXPECT_EQ(catalog.rc, ST_OK);
    EXPECT_EQ(catalog.state, "01S02");
    EXPECT_EQ(catalog.getstrs, 1);
    EXPECT_TRUE(catalog.stored.empty());
}

// The trace file named by a text set receives the driver manager's trace,
// and setting the trace back to 0 really stops it.
TEST_F(attributes_test, trace_file_set_by_text_and_trace_switched_on_and_off) {
    std::string path = test_odbc_env().dir + "/attributes-trace.log";
    std::remove(path.c_str());
    EXPECT_EQ(set_text(slot, SQL_ATTR_TRACEFILE, path).rc, ST_OK);
    EXPECT_EQ(set_number(OP_SETCONNATTR, slot, SQL_ATTR_TRACE, SQL_OPT_TRACE_ON).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETCONNATTR, slot, SQL_ATTR_TRACE), SQL_OPT_TRACE_ON);
    exec("SELECT 'traced'");
    EXPECT_EQ(set_number(OP_SETCONNATTR, slot, SQL_ATTR_TRACE, SQL_OPT_TRACE_OFF).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETCONNATTR, slot, SQL_ATTR_TRACE), SQL_OPT_TRACE_OFF);

    auto file_text = [&path]() {
        std::string text;
        FILE *f = std::fopen(path.c_str(), "r");
        if (f == nullptr) return text;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
        return text;
    };
    std::string traced = file_text();
    EXPECT_NE(traced.find("SQLExecDirect"), std::string::npos) << "the trace went to " << path;
    exec("SELECT 'not traced'");
    EXPECT_EQ(file_text(), traced) << "nothing is traced after the trace was set to 0";
}

TEST_F(attributes_test, failed_connection_attribute_read_leaves_argument_3) {
    // The SQLite driver does not know the connection timeout.
    host_var v = host_var::integer(7);
    attr_answer a = send_attr(OP_GETCONNATTR, slot, SQL_ATTR_CONNECTION_TIMEOUT, &v);
    EXPECT_EQ(a.rc, ST_SQLERROR);
    EXPECT_EQ(a.state, "HYC00");
    EXPECT_TRUE(a.stored.empty());
    EXPECT_EQ(v.int_value(), 7);
}

TEST_F(attributes_test, connection_numbers_outside_the_table_are_refused_unread) {
    // 102 with its 16-bit halves swapped stands at +4 as 00 00 66 00.
    const int32_t swapped_autocommit = 0x00660000;
    for (int32_t number : {0, 1, 5, 100, 114, 1208, 1210, 10013, 10015, -1, swapped_autocommit}) {
        for (int opcode : {OP_GETCONNATTR, OP_SETCONNATTR}) {
            host_var v = host_var::integer(1);
            attr_answer a = send_attr(opcode, slot, number, &v);
            EXPECT_EQ(a.rc, ST_BADARG) << opcode << " " << number;
            EXPECT_EQ(a.getnums + a.getstrs, 0) << "the value is never read: " << number;
            EXPECT_TRUE(a.stored.empty()) << number;
            EXPECT_EQ(v.int_value(), 1);
        }
    }
    EXPECT_EQ(read_number(OP_GETCONNATTR, slot, SQL_ATTR_AUTOCOMMIT), 1) << "autocommit untouched";
}

TEST_F(attributes_test, attribute_requests_need_argument_3) {
    for (int opcode : {OP_GETCONNATTR, OP_SETCONNATTR, OP_GETSTMTATTR, OP_SETSTMTATTR}) {
        int32_t number = is_connection_request(opcode) ? SQL_ATTR_AUTOCOMMIT : SQL_ATTR_MAX_ROWS;
        attr_answer a = send_attr(opcode, slot, number, nullptr);
        EXPECT_EQ(a.rc, ST_ARGS) << opcode;
        EXPECT_EQ(a.getnums + a.getstrs, 0) << opcode;
    }
}

// --- statement attributes ---------------------------------------------------

TEST_F(attributes_test, statement_numbers_refused_or_unsupported_without_a_call) {
    struct { int32_t number; int status; } cases[] = {
        {SQL_ROWSET_SIZE, ST_BADARG},           {SQL_GET_BOOKMARK, ST_BADARG},
        {SQL_ATTR_ROWS_FETCHED_PTR, ST_BADARG}, {28, ST_BADARG},
        {-3, ST_BADARG},                        {10009, ST_BADARG},
        {10015, ST_BADARG},                     {32767, ST_BADARG},
        {-32768, ST_BADARG},                    {SQL_ATTR_PARAM_OPERATION_PTR, ST_UNSUPPORTED},
        {SQL_ATTR_PARAM_STATUS_PTR, ST_UNSUPPORTED}, {SQL_ATTR_ROW_STATUS_PTR, ST_UNSUPPORTED},
        {SQL_ATTR_APP_ROW_DESC, ST_UNSUPPORTED},     {SQL_ATTR_APP_PARAM_DESC, ST_UNSUPPORTED},
        {SQL_ATTR_IMP_ROW_DESC, ST_UNSUPPORTED},     {SQL_ATTR_IMP_PARAM_DESC, ST_UNSUPPORTED},
    };
    for (auto c : cases) {
        for (int opcode : {OP_GETSTMTATTR, OP_SETSTMTATTR}) {
            host_var v = host_var::integer(4096);
            attr_answer a = send_attr(opcode, slot, c.number, &v);
            EXPECT_EQ(a.rc, c.status) << opcode << " " << c.number;
            EXPECT_EQ(a.getnums, 0) << "the value is never read: " << c.number;
            EXPECT_TRUE(a.stored.empty()) << c.number;
            EXPECT_EQ(a.state, "") << c.number;
        }
    }
}

TEST_F(attributes_test, negative_statement_numbers_reach_the_driver_sign_extended) {
    EXPECT_EQ(set_number(OP_SETSTMTATTR, slot, SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETSTMTATTR, slot, SQL_ATTR_CURSOR_SCROLLABLE), SQL_SCROLLABLE);
    EXPECT_EQ(set_number(OP_SETSTMTATTR, slot, SQL_ATTR_CURSOR_SENSITIVITY, SQL_UNSPECIFIED).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETSTMTATTR, slot, SQL_ATTR_CURSOR_SENSITIVITY), SQL_UNSPECIFIED);
}

TEST_F(attributes_test, statement_integer_set_to_0_really_sets_it) {
    EXPECT_EQ(set_number(OP_SETSTMTATTR, slot, SQL_ATTR_MAX_ROWS, 5).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETSTMTATTR, slot, SQL_ATTR_MAX_ROWS), 5);
    EXPECT_EQ(set_number(OP_SETSTMTATTR, slot, SQL_ATTR_MAX_ROWS, 0).rc, ST_OK);
    EXPECT_EQ(read_number(OP_GETSTMTATTR, slot, SQL_ATTR_MAX_ROWS), 0);
}

TEST_F(attributes_test, statement_allocated_by_an_attribute_serves_the_next_query) {
    int fresh = connect_slot("demo");
    EXPECT_FALSE(has_statement(fresh)) << "a fresh slot has no statement";

    EXPECT_EQ(set_number(OP_SETSTMTATTR, fresh, SQL_ATTR_MAX_ROWS, 2).rc, ST_OK);
    EXPECT_EQ(run_sql(fresh, "SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3"), ST_OK);
    int rows = 0;
    host_var value = host_var::integer(0);
    while (rows < 5 && fetch_row(fresh, {&value})) ++rows;
    EXPECT_EQ(rows, 2) << "the query ran on the statement whose row limit was set";
    EXPECT_EQ(read_number(OP_GETSTMTATTR, fresh, SQL_ATTR_MAX_ROWS), 2);
}

TEST_F(attributes_test, statement_request_without_argument_3_still_allocates) {
    int fresh = connect_slot("demo");
    attr_answer a = send_attr(OP_GETSTMTATTR, fresh, SQL_ATTR_MAX_ROWS, nullptr);
    EXPECT_EQ(a.rc, ST_ARGS);
    EXPECT_TRUE(has_statement(fresh));
}

TEST_F(attributes_test, statement_cannot_be_allocated_on_an_unconnected_slot) {
    int unconnected = take_slot();
    host_var v = host_var::integer(3);
    attr_answer a = send_attr(OP_GETSTMTATTR, unconnected, SQL_ATTR_MAX_ROWS, &v);
    EXPECT_EQ(a.rc, ST_NOSTMT);
    EXPECT_EQ(a.state, "08003");
    EXPECT_EQ(a.getnums, 0);
    EXPECT_TRUE(a.stored.empty());
}

// A number from the host is never handed to the driver as an address; the
// driver keeps the pointer it had (null), which reads back as 0.
TEST_F(attributes_test, pointer_attributes_can_only_be_set_to_null) {
    const int32_t pointers[] = {SQL_ATTR_FETCH_BOOKMARK_PTR, SQL_ATTR_PARAM_BIND_OFFSET_PTR,
                                SQL_ATTR_PARAMS_PROCESSED_PTR, SQL_ATTR_ROW_BIND_OFFSET_PTR,
                                SQL_ATTR_ROW_OPERATION_PTR};
    for (int32_t number : pointers) {
        attr_answer a = set_number(OP_SETSTMTATTR, slot, number, 0x1000);
        EXPECT_EQ(a.rc, ST_UNSUPPORTED) << number;
        EXPECT_EQ(a.getnums, 1) << number;
    }
    // The pointers that the SQLite driver lets a program read and set.
    for (int32_t number : {SQL_ATTR_FETCH_BOOKMARK_PTR, SQL_ATTR_PARAM_BIND_OFFSET_PTR,
                           SQL_ATTR_PARAMS_PROCESSED_PTR, SQL_ATTR_ROW_BIND_OFFSET_PTR}) {
        EXPECT_EQ(read_number(OP_GETSTMTATTR, slot, number), 0) << number;
        EXPECT_EQ(set_number(OP_SETSTMTATTR, slot, number, 0).rc, ST_OK) << number;
    }
    // A query still runs: no pointer of the host's reached the driver.
    open("SELECT 1");
    host_var value = host_var::integer(0);
    EXPECT_TRUE(fetch_row(slot, {&value}));
    EXPECT_EQ(value.int_value(), 1);
}

TEST_F(attributes_test, row_array_size_and_paramset_size_can_only_be_1) {
    for (int attr : {SQL_ATTR_ROW_ARRAY_SIZE, SQL_ATTR_PARAMSET_SIZE}) {
        EXPECT_EQ(set_number(OP_SETSTMTATTR, slot, attr, 1).rc, ST_OK) << attr;
        for (int64_t size : {0, 2, 100, -1}) {
            EXPECT_EQ(set_number(OP_SETSTMTATTR, slot, attr, size).rc, ST_UNSUPPORTED) << attr << " " << size;
            EXPECT_EQ(read_number(OP_GETSTMTATTR, slot, attr), 1) << attr << " " << size;
        }
    }
    // With no parameters bound, a parameter set size of 100 taken by the
    // driver would have made it run the INSERT 100 times.
    exec("CREATE TABLE t(a INTEGER)");
    exec("INSERT INTO t VALUES(1)");
    open("SELECT count(*) FROM t");
    host_var count = host_var::integer(0);
    EXPECT_TRUE(fetch_row(slot, {&count}));
    EXPECT_EQ(count.int_value(), 1);
}

// No request waits for a call that is still executing: asynchronous
// execution may only be switched off, and other values never reach the
// driver, which keeps reading 0.
TEST_F(attributes_test, asynchronous_execution_can_only_be_switched_off) {
    for (int set : {OP_SETCONNATTR, OP_SETSTMTATTR}) {
        int get = set == OP_SETCONNATTR ? OP_GETCONNATTR : OP_GETSTMTATTR;
        for (int64_t value : {1, 2, -1}) {
            attr_answer a = set_number(set, slot, SQL_ATTR_ASYNC_ENABLE, value);
            EXPECT_EQ(a.rc, ST_UNSUPPORTED) << set << " " << value;
            EXPECT_EQ(a.state, "") << set << " " << value;
        }
        EXPECT_EQ(read_number(get, slot, SQL_ATTR_ASYNC_ENABLE), 0) << set;
        EXPECT_EQ(set_number(set, slot, SQL_ATTR_ASYNC_ENABLE, 0).rc, ST_OK) << set;
    }
}

TEST_F(attributes_test, row_number_is_read_only_and_read_after_a_fetch) {
    open("SELECT 10 UNION ALL SELECT 20");
    host_var v = host_var::integer(5);
    attr_answer before = send_attr(OP_GETSTMTATTR, slot, SQL_ATTR_ROW_NUMBER, &v);
    EXPECT_EQ(before.rc, ST_SQLERROR) << "no row fetched yet";
    EXPECT_EQ(before.state, "24000");
    EXPECT_TRUE(before.stored.empty());

    host_var value = host_var::integer(0);
    ASSERT_TRUE(fetch_row(slot, {&value}));
    int64_t row = read_number(OP_GETSTMTATTR, slot, SQL_ATTR_ROW_NUMBER);
    // The SQLite driver does not count its rows and answers
    // SQL_ROW_NUMBER_UNKNOWN; either way the value arrives sign-extended.
    EXPECT_TRUE(row == 1 || row == SQL_ROW_NUMBER_UNKNOWN) << row;

    attr_answer set = set_number(OP_SETSTMTATTR, slot, SQL_ATTR_ROW_NUMBER, 1);
    EXPECT_EQ(set.rc, ST_BADARG);
    EXPECT_EQ(set.getnums, 1) << "argument 3 is read before the set is refused";
    EXPECT_EQ(set.state, "");
    EXPECT_TRUE(fetch_row(slot, {&value})) << "the cursor goes on";
    EXPECT_EQ(value.int_value(), 20);
}

} // namespace
