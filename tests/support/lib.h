// lib.h - what the tests use to send requests to the library through the
// stand-in host: the entry point, a request helper that checks the guard
// bytes and the result after every call, and the common opening sequences.
#ifndef RORI_TEST_LIB_H
#define RORI_TEST_LIB_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host.h"
#include "support/odbc_env.h"

// The library's entry point (linked in, or loaded from the DLL under Wine).
vizori_fn test_entry();

// A fresh status block of `size` bytes (zero-filled) naming `slot`.
host_var status_block(int slot = 0, size_t size = SQL_STATUS_MIN);

// Sends one request and checks that no guard byte was touched and, for a
// block of 48 bytes or more, that the result equals +18. argc < 0: the
// count of the variables given.
int send(int opcode, host_var &status, std::vector<host_var *> operands = {}, int argc = -1);

// The same, returning the call's record of host service use.
struct sent {
    int rc;
    int bad_requests;
    int service_calls[7];
};
sent send_traced(int opcode, host_var &status, std::vector<host_var *> operands = {}, int argc = -1);

// The library's state at the start of every test: the environment down.
void shutdown_library();

// True for the status codes a request may answer with.
bool is_table_code(int code);
void init_library();                   // OP_INIT, must succeed
int take_slot();                       // OP_NEWCONN, must succeed; the slot number
int connect_slot(const std::string &connect_text); // OP_NEWCONN + OP_CONNECT, must succeed

// Fixture: a private ODBC configuration, a fresh demo database, and the
// library initialised; shut down afterwards.
class library_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

#endif
