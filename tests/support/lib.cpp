// lib.cpp - request helpers for the tests.
#include "support/lib.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#endif

#if !defined(_WIN32)
extern "C" int RORI_CDECL vizori(void *p, host_callback cb);
#endif

vizori_fn test_entry() {
#if defined(_WIN32)
    static vizori_fn entry = nullptr;
    if (entry == nullptr) {
        HMODULE lib = LoadLibraryA("roridorezu.dll");
        FARPROC proc = lib ? GetProcAddress(lib, "vizori") : nullptr;
        if (proc == nullptr) {
            std::fprintf(stderr, "roridorezu.dll or its export vizori not found (error %lu)\n",
                         static_cast<unsigned long>(GetLastError()));
            std::abort();
        }
        entry = reinterpret_cast<vizori_fn>(reinterpret_cast<void *>(proc));
    }
    return entry;
#else
    return vizori;
#endif
}

host_var status_block(int slot, size_t size) {
    host_var st = host_var::raw(size);
    if (size > 0) st.area.data()[SS_SLOT] = static_cast<uint8_t>(slot);
    return st;
}

sent send_traced(int opcode, host_var &status, std::vector<host_var *> operands, int argc) {
    host_var op = host_var::integer(opcode);
    host_call call(op, status, operands);
    call.argc_override = argc;
    sent s{};
    s.rc = call.run(test_entry());
    s.bad_requests = call.bad_requests;
    for (int i = 0; i < 7; ++i) s.service_calls[i] = call.service_calls[i];
    EXPECT_TRUE(call.guards_intact()) << "a guard byte was overwritten by opcode " << opcode;
    if (status.declared_size >= SQL_STATUS_MIN && status.area.size() >= SQL_STATUS_MIN) {
        EXPECT_EQ(s.rc, status_view{status}.status()) << "result differs from +18 for opcode " << opcode;
    }
    return s;
}

int send(int opcode, host_var &status, std::vector<host_var *> operands, int argc) {
    return send_traced(opcode, status, operands, argc).rc;
}

void shutdown_library() {
    host_var st = status_block();
    send(OP_SHUTDOWN, st);
}

void init_library() {
    host_var st = status_block();
    ASSERT_EQ(send(OP_INIT, st), ST_OK);
}

int take_slot() {
    host_var st = status_block();
    EXPECT_EQ(send(OP_NEWCONN, st), ST_OK);
    return status_view{st}.slot();
}

int connect_slot(const std::string &connect_text) {
    int slot = take_slot();
    host_var st = status_block(slot);
    host_var text = host_var::text(connect_text, 256);
    EXPECT_EQ(send(OP_CONNECT, st, {&text}), ST_OK) << "connect " << connect_text << ": " << status_view{st}.sqlstate();
    return slot;
}

void library_test::SetUp() {
    test_odbc_env();
    reset_demo_db();
    shutdown_library();
    init_library();
}

void library_test::TearDown() { shutdown_library(); }

bool is_table_code(int code) {
    static const int table_codes[] = {ST_OK,      ST_SQLERROR, ST_ARGS,       ST_NOINIT, ST_NOSLOT,
                                      ST_NOMEM,   ST_BADOP,    ST_BADCONN,    ST_BADARG, ST_BADKEYWORD,
                                      ST_NOSTMT,  ST_UNSUPPORTED, ST_FIELDS};
    for (int c : table_codes)
        if (c == code) return true;
    return false;
}
