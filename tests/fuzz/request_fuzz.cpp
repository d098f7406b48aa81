// Request fuzzing: random requests through the stand-in host to the library,
// against live SQLite data sources, in random orders of life. Seeded and
// reproducible: RORI_FUZZ_SEED picks the sequence (default 1) and
// RORI_FUZZ_REQUESTS its length (default 3000).
//
// After every request: the call returned, the result equals +18 and is one
// of the status codes for a block of 48 bytes or more, the opcode echo is
// right, a smaller block is untouched with the result 11, service 3 was
// never called, and no guard byte of the parameter block or of any
// variable (nor of an area left behind by a resize) was touched. After the
// run a clean connect, query and fetch in all three forms reads back the
// rows it wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host.h"
#include "scramble.h"
#include "support/lib.h"
#include "support/odbc_env.h"

namespace {

long env_number(const char *name, long fallback) {
    const char *v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtol(v, nullptr, 10) : fallback;
}

// Data sources of our own: busy waits of one millisecond, so that slots
// fighting over a file fail fast instead of waiting.
void declare_fuzz_sources() {
    const odbc_env &e = test_odbc_env();
    std::string user_ini = std::getenv("ODBCINI");
    FILE *f = std::fopen(user_ini.c_str(), "a");
    ASSERT_NE(f, nullptr);
    for (const char *name : {"fuzz1", "fuzz2", "fuzzcheck"}) {
        std::string db = e.dir + "/" + name + ".db";
        std::remove(db.c_str());
        std::fprintf(f, "\n[%s]\nDescription=request fuzzing\nDriver=SQLite3\nDatabase=%s\nTimeout=1\n", name,
                     db.c_str());
    }
    std::fclose(f);
}

class generator {
public:
    explicit generator(unsigned seed) : rng_(seed) {}

    unsigned below(unsigned n) { return n == 0 ? 0 : static_cast<unsigned>(rng_() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T> const T &pick(const std::vector<T> &v) { return v[below(static_cast<unsigned>(v.size()))]; }
    uint32_t word() { return static_cast<uint32_t>(rng_()); }

    // Random bytes, without '{': the SQLite driver's parser of ODBC escape
    // clauses takes time exponential in the nesting of braces, which would
    // only measure the driver.
    std::string random_bytes(size_t n, bool allow_nul) {
        std::string s(n, '\0');
        for (char &c : s) c = byte(allow_nul);
        return s;
    }
    char byte(bool allow_nul = true) {
        char c = static_cast<char>(below(256));
        if (c == '{') c = '(';
        if (!allow_nul && c == '\0') c = 'x';
        return c;
    }

private:
    std::mt19937 rng_;
};

std::string scrambled(int form, const std::string &clear, const char *user) {
    char out[128];
    scramble_status st = form == 3 ? scramble_blowfish(clear.data(), clear.size(), user, "Ab12", out, sizeof out)
                                   : scramble_xor(form, clear.data(), clear.size(), out, sizeof out);
    return st == SCRAMBLE_OK ? std::string(out) : clear;
}

std::vector<std::string> connect_texts() {
    return {
        "-host=fuzz1",
        "-host=fuzz2",
        "fuzz1",
        "-host=fuzz1 -user=ann -pw=secret -db=x -port=1 -flags=3 -sockfile=/s",
        "-host=" + scrambled(1, "fuzz2", nullptr),
        "-host=" + scrambled(2, "fuzz1", nullptr) + " -user=" + scrambled(1, "ann", nullptr),
        "-host=fuzz2 -user=bob -pw=" + scrambled(3, "pass word", "bob"),
        "-host=fuzz2 -user=bob -pw=" + scrambled(3, "pass word", "eve"),
        "-host=fuzz1 -pw=\x03short",
        "-host=fuzz1  -user=two-spaces",
        "host=fuzz1",
        "-Host=fuzz1",
        "-host=broken",
        "-host=no-such-source",
        "-host=",
        "=",
        "-=-=-=",
        "",
    };
}

std::string many_columns(int n) {
    std::string s = "SELECT 1";
    for (int i = 2; i <= n; ++i) s += ", " + std::to_string(i) + " AS c" + std::to_string(i);
    return s;
}

std::vector<std::string> statements() {
    return {
        "CREATE TABLE IF NOT EXISTS t1 (id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, a TEXT, b REAL, c BLOB)",
        "INSERT INTO t1 (a, b, c) VALUES ('x', 1.5, x'00ff00'), (NULL, NULL, NULL), ('long " +
            std::string(300, 'L') + "', -2.25, zeroblob(10))",
        "SELECT * FROM t1",
        "SELECT id, a FROM t1 ORDER BY id LIMIT 5",
        "SELECT 1, 'two', 3.0, NULL, x'00010203'",
        "SELECT printf('%.*c', 5000, 'y'), printf('%.*c', 4096, 'z')",
        "SELECT randomblob(300), zeroblob(70000)",
        many_columns(40),
        "DELETE FROM t1 WHERE id > 30",
        "UPDATE t1 SET a = 'z' WHERE id = 999",
        "INSERT INTO t1 (a, b, c) VALUES (?, ?, ?)",
        "SELECT ?, ? || '?', NULLIF(?, '')",
        "UPDATE t1 SET a = ? WHERE id = ?",
        "UPDATE t1 SET b = b + 1",
        "SHOW TABLES",
        "show databases",
        "SHOW CATALOGS",
        "Show Schemas",
        "SHOW GRANTS",
        "SELECT * FROM no_such_table",
        "not a statement",
        "BEGIN",
        "COMMIT",
        "ROLLBACK",
        "PRAGMA table_info(t1)",
        "SELECT count(*) FROM t1",
        "",
    };
}

// Connection attribute numbers worth trying: the table's (trace and trace
// file left out: they write files), and some that are not in it.
const std::vector<int32_t> conn_attrs = {4,   101, 102, 103, 106, 107, 108,  109,       110,        111, 112,
                                         113, 1209, 10014, 0,  100, 114, 0x00660000, -1, 100000};
const std::vector<int16_t> stmt_attrs = {-2, -1, 0,  1,  2,  3,  4,  5,  6,     7,     8,     9,    10,  11,  12, 13,
                                         14, 15, 16, 17, 18, 19, 20, 21, 22,    23,    24,    25,   26,  27,  28, -3,
                                         10010, 10011, 10012, 10013, 10014, 10015, 32767, -32768};

struct stats {
    unsigned long requests = 0;
    unsigned long invariants = 0;
    std::map<int, unsigned long> by_status;
    std::map<int, unsigned long> by_opcode;
};

class request_fuzzer {
public:
    explicit request_fuzzer(unsigned seed) : g_(seed), connects_(connect_texts()), sqls_(statements()) {}

    stats run(unsigned long count) {
        for (unsigned long i = 0; i < count && !::testing::Test::HasFatalFailure(); ++i) one_request(i);
        return stats_;
    }

private:
    generator g_;
    std::vector<std::string> connects_;
    std::vector<std::string> sqls_;
    // What the fuzzer believes of the library's state, to steer requests
    // towards slots that can go deep; the library is never told.
    bool env_up_ = true;
    std::vector<int> taken_;     // slots handed out, not yet connected
    std::vector<int> connected_; // slots connected
    stats stats_;
    // RORI_FUZZ_TRACE=1: each request is described on stderr before it is sent.
    bool trace_ = env_number("RORI_FUZZ_TRACE", 0) != 0;

    static void drop(std::vector<int> &v, int s) {
        for (size_t i = 0; i < v.size(); ++i)
            if (v[i] == s) {
                v.erase(v.begin() + static_cast<long>(i));
                return;
            }
    }

    int opcode() {
        if (!env_up_ && g_.chance(40)) return OP_INIT;
        if (connected_.empty() && g_.chance(30)) return taken_.empty() ? OP_NEWCONN : OP_CONNECT;
        unsigned r = g_.below(1000);
        if (r < 8) return OP_INIT;
        if (r < 11) return OP_SHUTDOWN;
        if (r < 60) return OP_NEWCONN;
        if (r < 130) return OP_CONNECT;
        if (r < 160) return OP_DISCONNECT;
        if (r < 320) return OP_QUERY;
        if (r < 520) return OP_FETCH;
        if (r < 580) return OP_FREESTMT;
        if (r < 640) return OP_DESCRIBE;
        if (r < 670) return OP_SETFIELDS;
        if (r < 720) return OP_INFO;
        if (r < 800) return 14 + static_cast<int>(g_.below(4));
        if (r < 830) return OP_DATASOURCES;
        if (r < 850) return OP_GETERROR;
        static const std::vector<int> odd = {0, 5, 19, 20, 21, 22, 23, 24, 25, 100, -1, -24, 65537, 65536 + 9,
                                             std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
        return g_.pick(odd);
    }

    uint8_t slot_number(int op) {
        if (op == OP_CONNECT && !taken_.empty() && g_.chance(70)) return static_cast<uint8_t>(g_.pick(taken_));
        if (!connected_.empty() && g_.chance(75)) return static_cast<uint8_t>(g_.pick(connected_));
        if (!taken_.empty() && g_.chance(30)) return static_cast<uint8_t>(g_.pick(taken_));
        if (g_.chance(50)) return static_cast<uint8_t>(1 + g_.below(10));
        return static_cast<uint8_t>(g_.below(256));
    }

    size_t status_size() {
        if (g_.chance(94)) return 48 + g_.below(17);
        return g_.below(48);
    }

    // A text variable: the text, maybe with a NUL inside, in an area that
    // is exact, larger, or filled without a terminator.
    std::unique_ptr<host_var> text_var(std::string text) {
        if (g_.chance(5)) text.insert(g_.below(static_cast<unsigned>(text.size()) + 1), 1, '\0');
        size_t size;
        switch (g_.below(4)) {
        case 0: size = text.size(); break; // no terminator
        case 1: size = text.size() + 1 + g_.below(300); break;
        default: size = text.size() + 1; break;
        }
        auto v = std::make_unique<host_var>(static_cast<uint16_t>(HV_TEXT | (g_.chance(20) ? ARG_DYNAMIC : 0)), size);
        std::memcpy(v->area.data(), text.data(), std::min(size, text.size()));
        return v;
    }

    size_t data_size() {
        switch (g_.below(8)) {
        case 0: return 0;
        case 1: return 1;
        case 2: return 1 + 2 * g_.below(20);            // odd
        case 3: return 224 * (1 + g_.below(40)) + g_.below(3); // field records
        case 4: return 4096 + g_.below(8192);
        case 5: return g_.chance(20) ? 70001 + g_.below(200000) : 8; // big, but really allocated
        default: return 1 + g_.below(64);
        }
    }

    uint16_t type_flags() {
        static const std::vector<uint16_t> types = {HV_TEXT, HV_FLOAT, HV_BINARY, HV_INTEGER, 0, 1, 3, 5, 7, 9, 15};
        uint16_t t = g_.pick(types);
        if (g_.chance(15)) t |= ARG_ARRAY;
        if (g_.chance(25)) t |= ARG_DYNAMIC;
        if (g_.chance(3)) t |= static_cast<uint16_t>(g_.word() & 0xFFA0); // stray bits the library ignores
        return t;
    }

    std::unique_ptr<host_var> any_var() {
        switch (g_.below(8)) {
        case 0: return std::make_unique<host_var>(host_var::integer(static_cast<int32_t>(g_.word() % 5) - 1));
        case 1: return std::make_unique<host_var>(host_var::real(g_.chance(50) ? 0.0 : 2.5));
        case 2: return std::make_unique<host_var>(host_var::array(1 + g_.below(40), 1 + g_.below(8)));
        case 3:
            if (g_.chance(50)) return std::make_unique<host_var>(host_var::dynamic_array());
            return std::make_unique<host_var>(host_var::int_array(1 + g_.below(8)));
        case 4: return text_var(g_.chance(50) ? g_.pick(sqls_) : g_.random_bytes(g_.below(40), g_.chance(30)));
        default: {
            auto v = std::make_unique<host_var>(type_flags(), data_size());
            if (g_.chance(50)) v->fill(static_cast<uint8_t>(g_.byte()));
            return v;
        }
        }
    }

    // Field records for OP_SETFIELDS: random bytes, with widths the host
    // can grow a line to.
    std::unique_ptr<host_var> field_records() {
        size_t n = g_.below(40);
        auto v = std::make_unique<host_var>(host_var::raw(n * FIELD_REC_SIZE + g_.below(5)));
        std::string bytes = g_.random_bytes(v->area.size(), true);
        std::memcpy(v->area.data(), bytes.data(), bytes.size());
        for (size_t k = 0; k < n; ++k) {
            int32_t w = static_cast<int32_t>(g_.below(3000)) - 5;
            std::memcpy(v->area.data() + k * FIELD_REC_SIZE + FR_WIDTH, &w, 4);
        }
        return v;
    }

    std::vector<std::unique_ptr<host_var>> operands(int op) {
        std::vector<std::unique_ptr<host_var>> ops;
        size_t n = g_.below(7);
        if (g_.chance(70)) {
            // A well-formed first operand for the opcode.
            switch (op) {
            case OP_CONNECT:
                ops.push_back(text_var(g_.chance(90) ? g_.pick(connects_) : g_.random_bytes(g_.below(80), true)));
                break;
            case OP_QUERY:
                ops.push_back(text_var(g_.chance(95) ? g_.pick(sqls_) : g_.random_bytes(g_.below(80), true)));
                break;
            case OP_SETFIELDS: ops.push_back(field_records()); break;
            case OP_DESCRIBE:
                ops.push_back(std::make_unique<host_var>(host_var::raw(FIELD_REC_SIZE * g_.below(45) + g_.below(3))));
                break;
            case OP_SETCONNATTR:
                if (g_.chance(50)) {
                    ops.push_back(text_var(g_.chance(50) ? "main" : ""));
                    break;
                }
                // fall through
            default: ops.push_back(any_var()); break;
            }
        }
        while (ops.size() < n) ops.push_back(any_var());
        for (auto &v : ops) {
            // Now and then the host refuses to store or to grow.
            if (g_.chance(5)) v->putstr_result = 1;
            if (g_.chance(5)) v->resize_result = 1;
        }
        return ops;
    }

    void fill_status(host_var &st, int op, const std::vector<std::unique_ptr<host_var>> &ops) {
        if (st.area.size() < SQL_STATUS_MIN) {
            std::string b = g_.random_bytes(st.area.size(), true);
            std::memcpy(st.area.data(), b.data(), b.size());
            return;
        }
        std::string b = g_.random_bytes(st.area.size(), true);
        std::memcpy(st.area.data(), b.data(), b.size());
        status_view v{st};
        v.set_slot(slot_number(op));
        if (op == OP_FETCH) {
            static const std::vector<double> rows = {0.0, 0.0, 0.0, 1.0, 2.0, 7.9, -1.0, 1e12, 3.5};
            v.set_rowpos(g_.chance(5) ? std::nan("") : g_.pick(rows));
            uint16_t flags = static_cast<uint16_t>(g_.chance(80) ? g_.below(4) : g_.word());
            v.set_subcode(static_cast<int16_t>(flags));
            int32_t elements = static_cast<int32_t>(g_.below(12)) - 2;
            // The caller never offers more elements than a fixed array holds.
            if ((flags & FETCH_ARRAY) && !ops.empty() && (ops[0]->type_flags & ARG_ARRAY) &&
                !(ops[0]->type_flags & ARG_DYNAMIC) && ops[0]->declared_size > 0) {
                int32_t held = static_cast<int32_t>(ops[0]->area.size() / static_cast<size_t>(ops[0]->declared_size));
                if (elements > held) elements = held;
            }
            v.set_param_swapped(elements);
            if (g_.chance(50)) v.set_rowcount(0.0);
        } else if (op == OP_QUERY) {
            // The rows of arrays of values: never more than every fixed array holds.
            int32_t held = 1000;
            for (size_t i = 1; i < ops.size(); ++i)
                if ((ops[i]->type_flags & ARG_ARRAY) && !(ops[i]->type_flags & ARG_DYNAMIC) && ops[i]->declared_size > 0)
                    held = std::min(held, static_cast<int32_t>(ops[i]->area.size() /
                                                               static_cast<size_t>(ops[i]->declared_size)));
            v.set_param_swapped(static_cast<int32_t>(g_.below(static_cast<unsigned>(held) + 2)) - 1);
        } else if (op == OP_GETCONNATTR || op == OP_SETCONNATTR) {
            v.set_param_plain(g_.pick(conn_attrs));
        } else if (op == OP_GETSTMTATTR || op == OP_SETSTMTATTR) {
            v.set_subcode(g_.pick(stmt_attrs));
        } else if (op == OP_INFO) {
            v.set_subcode(static_cast<int16_t>(static_cast<int>(g_.below(13)) - 1));
        } else if (op == OP_FREESTMT) {
            v.set_subcode(static_cast<int16_t>(g_.chance(80) ? g_.below(5) : g_.word()));
        } else if (op == OP_DATASOURCES) {
            static const std::vector<int16_t> directions = {1, 1, 1, 2, 31, 32, 0, 99};
            v.set_subcode(g_.pick(directions));
        }
    }

    void one_request(unsigned long index) {
        int op = opcode();
        std::vector<std::unique_ptr<host_var>> ops = operands(op);
        host_var st = host_var::raw(status_size());
        fill_status(st, op, ops);
        std::string before = st.bytes(st.area.size());

        host_var opvar = host_var::integer(op);
        std::vector<host_var *> raw_ops;
        for (auto &v : ops) raw_ops.push_back(v.get());
        host_call call(opvar, st, raw_ops);
        if (g_.chance(10)) call.argc_override = static_cast<int32_t>(g_.below(static_cast<unsigned>(raw_ops.size()) + 3));
        if (trace_) {
            std::fprintf(stderr, "request %lu opcode %d slot %d block %zu operands %zu", index, op,
                         st.area.size() >= SQL_STATUS_MIN ? status_view{st}.slot() : -1, st.area.size(), ops.size());
            if (!ops.empty()) {
                std::fprintf(stderr, " first:");
                for (size_t k = 0; k < ops[0]->area.size() && k < 48; ++k) std::fprintf(stderr, " %02x", ops[0]->area.data()[k]);
            }
            std::fprintf(stderr, "\n");
        }
        int rc = call.run(test_entry());

        ++stats_.requests;
        ++stats_.by_opcode[op];
        ++stats_.by_status[rc];
        const std::string where = "request " + std::to_string(index) + " opcode " + std::to_string(op);
        check(call.guards_intact(), where + ": a guard byte was overwritten");
        check(call.service_calls[3] == 0, where + ": service 3 was called");
        if (st.area.size() >= SQL_STATUS_MIN) {
            status_view v{st};
            check(rc == v.status(), where + ": result " + std::to_string(rc) + " differs from +18");
            check(is_table_code(rc), where + ": status " + std::to_string(rc) + " is not a status code");
            check(v.opcode() == static_cast<int16_t>(op), where + ": opcode echo");
            follow(op, rc, v.slot());
        } else {
            check(rc == ST_BADARG, where + ": a small block answers 11");
            check(st.bytes(st.area.size()) == before, where + ": a small block was written");
        }
    }

    void follow(int op, int rc, int s) {
        if (op == OP_INIT && rc == ST_OK) env_up_ = true;
        if (op == OP_SHUTDOWN && rc == ST_OK) {
            env_up_ = false;
            taken_.clear();
            connected_.clear();
        }
        if (op == OP_NEWCONN && rc == ST_OK) {
            check(s >= 1 && s <= 10, "new slot number " + std::to_string(s));
            taken_.push_back(s);
        }
        if (op == OP_CONNECT && (rc == ST_OK || rc == ST_BADKEYWORD)) {
            drop(taken_, s);
            drop(connected_, s);
            connected_.push_back(s);
        }
        if (op == OP_DISCONNECT && rc == ST_OK) {
            drop(taken_, s);
            drop(connected_, s);
        }
    }

    void check(bool ok, const std::string &what) {
        ++stats_.invariants;
        EXPECT_TRUE(ok) << what;
    }
};

// The clean round trip after the storm: every slot given back, then one
// connection writes rows and reads them in the three forms.
void round_trip() {
    for (int s = 1; s <= 10; ++s) {
        host_var st = status_block(s);
        send(OP_DISCONNECT, st);
    }
    host_var init = status_block();
    int rc = send(OP_INIT, init);
    ASSERT_EQ(rc, ST_OK);
    int slot = connect_slot("-host=fuzzcheck");
    auto run = [&](const std::string &sql) {
        host_var st = status_block(slot);
        host_var text = host_var::text(sql);
        EXPECT_EQ(send(OP_QUERY, st, {&text}), ST_OK) << sql << " " << status_view{st}.sqlstate();
        return status_view{st}.rowcount();
    };
    auto close = [&]() {
        host_var st = status_block(slot);
        EXPECT_EQ(send(OP_FREESTMT, st), ST_OK);
    };
    run("DROP TABLE IF EXISTS rt");
    close();
    run("CREATE TABLE rt (id INTEGER, name TEXT)");
    close();
    EXPECT_EQ(run("INSERT INTO rt VALUES (1, 'one'), (2, 'two'), (3, 'three')"), 3.0);
    close();
    run("SELECT id, name FROM rt ORDER BY id");
    host_var id = host_var::integer(0), name = host_var::text("", 16);
    host_var st1 = status_block(slot);
    EXPECT_EQ(send(OP_FETCH, st1, {&id, &name}), ST_OK);
    EXPECT_EQ(id.int_value(), 1);
    EXPECT_EQ(name.text_value(), "one");
    host_var arr = host_var::dynamic_array();
    host_var st2 = status_block(slot);
    status_view{st2}.set_subcode(FETCH_ARRAY);
    status_view{st2}.set_param_swapped(2);
    EXPECT_EQ(send(OP_FETCH, st2, {&arr}), ST_OK);
    EXPECT_EQ(arr.element(1), "2");
    EXPECT_EQ(arr.element(2), "two");
    host_var line = host_var::text("", 2, true);
    host_var st3 = status_block(slot);
    status_view{st3}.set_subcode(FETCH_LINE);
    EXPECT_EQ(send(OP_FETCH, st3, {&line}), ST_OK);
    std::string l = line.text_value();
    EXPECT_EQ(l.substr(0, 1), "3");
    EXPECT_NE(l.find("three"), std::string::npos) << l;
    host_var st4 = status_block(slot);
    EXPECT_EQ(send(OP_FETCH, st4, {&id}), ST_OK);
    EXPECT_EQ(status_view{st4}.native(), 100) << "three rows, then the end";
    close();
    host_var d = status_block(slot);
    EXPECT_EQ(send(OP_DISCONNECT, d), ST_OK);
}

TEST(request_fuzz, random_requests_keep_every_invariant_and_a_clean_round_trip_follows) {
    declare_fuzz_sources();
    shutdown_library();
    init_library();
    const unsigned seed = static_cast<unsigned>(env_number("RORI_FUZZ_SEED", 1));
    const unsigned long count = static_cast<unsigned long>(env_number("RORI_FUZZ_REQUESTS", 3000));
    request_fuzzer fuzzer(seed);
    stats s = fuzzer.run(count);
    std::printf("request fuzzing, seed %u: %lu requests, %lu invariants checked\n", seed, s.requests, s.invariants);
    std::printf("statuses:");
    for (auto &kv : s.by_status) std::printf(" %d:%lu", kv.first, kv.second);
    std::printf("\nopcodes:");
    for (auto &kv : s.by_opcode) std::printf(" %d:%lu", kv.first, kv.second);
    std::printf("\n");
    EXPECT_EQ(s.requests, count);
    round_trip();
    shutdown_library();
}

} // namespace
