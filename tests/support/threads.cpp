// threads.cpp - the threads of threads.h. The threads count their wrong
// answers rather than assert, since the test framework's assertions are
// not safe to use from several threads here.
#include "support/threads.h"

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "support/lib.h"

namespace {

// One request; counts a result other than `expected` or a touched guard.
int request(int opcode, host_var &st, std::vector<host_var *> operands, int expected, int *wrong) {
    host_var op = host_var::integer(opcode);
    host_call call(op, st, operands);
    int rc = call.run(test_entry());
    if (rc != expected || !call.guards_intact()) ++*wrong;
    return rc;
}

// The value lengths differ between threads and rounds, so that the scratch
// buffer grows under one thread while another has just used it.
size_t text_length(int thread, int round) { return 100 + static_cast<size_t>((thread * 7919 + round * 104729) % 20000); }

void fetch_own_rows(int thread, int slot, int rounds, int *wrong) {
    for (int round = 0; round < rounds; ++round) {
        int32_t number = thread * 100000 + round;
        std::string text(text_length(thread, round), static_cast<char>('a' + thread));
        host_var q = status_block(slot);
        host_var sql = host_var::text("SELECT " + std::to_string(number) + ", printf('%.*c', " +
                                      std::to_string(text.size()) + ", '" + text.substr(0, 1) + "')");
        request(OP_QUERY, q, {&sql}, ST_OK, wrong);
        host_var f = status_block(slot);
        host_var n = host_var::integer(-1), t = host_var::text("", 8, true);
        request(OP_FETCH, f, {&n, &t}, ST_OK, wrong);
        if (n.int_value() != number || t.text_value() != text || status_view{f}.result() != 2) ++*wrong;
        host_var close = status_block(slot);
        request(OP_FREESTMT, close, {}, ST_OK, wrong);
    }
}

void thread_work(int thread, int rounds, int *wrong) {
    host_var take = status_block();
    request(OP_NEWCONN, take, {}, ST_OK, wrong);
    int slot = status_view{take}.slot();
    host_var c = status_block(slot);
    host_var text = host_var::text("demo", 64);
    if (request(OP_CONNECT, c, {&text}, ST_OK, wrong) != ST_OK) return;
    fetch_own_rows(thread, slot, rounds, wrong);
    host_var d = status_block(slot);
    request(OP_DISCONNECT, d, {}, ST_OK, wrong);
}

} // namespace

int wrong_answers_from_threads(int threads, int rounds) {
    if (const char *r = std::getenv("RORI_THREAD_ROUNDS")) rounds = std::atoi(r);
    std::vector<int> wrong(static_cast<size_t>(threads), 0);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) running.emplace_back(thread_work, t, rounds, &wrong[static_cast<size_t>(t)]);
    int total = 0;
    for (int t = 0; t < threads; ++t) {
        running[static_cast<size_t>(t)].join();
        total += wrong[static_cast<size_t>(t)];
    }
    return total;
}
