// params_host.cpp - values bound to a statement's markers, worked through
// with the stand-in host (standin_host/host.h): a text with quotes and
// semicolons and a binary value with zero bytes stored and read back
// unchanged, then 10,000 rows inserted from arrays in one request.
//
//   params_host CONNECT_TEXT [BINARY_TYPE]
//
// BINARY_TYPE is the database's binary column type: BLOB (the default, for
// SQLite and MariaDB) or bytea (PostgreSQL). Prints what it read back and
// exits 1 when anything differs or fails.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "entry.h"
#include "host.h"

static vizori_fn entry = nullptr;
static int slot = 0;

// One request; on failure the status, SQLSTATE and the driver's message.
static bool request(int opcode, host_var &st, std::vector<host_var *> operands) {
    host_var op = host_var::integer(opcode);
    int rc = host_call(op, st, operands).run(entry);
    if (rc == ST_OK) return true;
    host_var err(HV_RAW, SQL_STATUS_MIN), message = host_var::text("", 300), geterror = host_var::integer(OP_GETERROR);
    status_view{err}.set_slot(static_cast<uint8_t>(slot));
    host_call(geterror, err, {&message}).run(entry);
    std::fprintf(stderr, "request %d: status %d, SQLSTATE %s: %s\n", opcode, rc, status_view{st}.sqlstate().c_str(),
                 message.text_value().c_str());
    return false;
}

static host_var status_for(int32_t rows = 0) {
    host_var st(HV_RAW, SQL_STATUS_MIN);
    status_view{st}.set_slot(static_cast<uint8_t>(slot));
    status_view{st}.set_param_swapped(rows);
    return st;
}

// OP_QUERY of the text with the values; +4 = rows for arrays.
static bool query(const std::string &sql, std::vector<host_var *> values, int32_t rows = 0) {
    host_var st = status_for(rows), text = host_var::text(sql);
    values.insert(values.begin(), &text);
    return request(OP_QUERY, st, values);
}

static bool close_cursor() {
    host_var st = status_for();
    return request(OP_FREESTMT, st, {});
}

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: params_host CONNECT_TEXT [BINARY_TYPE]\n");
        return 2;
    }
    std::string problem, binary_type = argc > 2 ? argv[2] : "BLOB";
    if ((entry = library_entry(&problem)) == nullptr) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    host_var init = status_for(), conn = status_for(), text = host_var::text(argv[1], std::strlen(argv[1]) + 1);
    if (!request(OP_INIT, init, {}) || !request(OP_NEWCONN, conn, {})) return 1;
    slot = status_view{conn}.slot();
    host_var connect = status_for();
    if (!request(OP_CONNECT, connect, {&text})) return 1;
    query("DROP TABLE IF EXISTS params_example", {});
    if (!query("CREATE TABLE params_example (id INTEGER, note VARCHAR(100), data " + binary_type + ")", {}))
        return 1;

    // One row: the values never touch the statement text.
    const std::string note = "it's a \"quoted\" text; DROP TABLE params_example; --";
    const std::string bytes("\x00\x01\x00\xff", 4);
    host_var id = host_var::integer(1), note_var = host_var::text(note, 100), data = host_var::raw(bytes.size());
    std::memcpy(data.area.data(), bytes.data(), bytes.size());
    if (!query("INSERT INTO params_example VALUES (?, ?, ?)", {&id, &note_var, &data})) return 1;

    // Read back into a text and a raw variable (the variable form of OP_FETCH).
    if (!query("SELECT note, data FROM params_example WHERE id = ?", {&id})) return 1;
    host_var got_note = host_var::text("", 100), got_data = host_var::raw(bytes.size());
    host_var fetch = status_for();
    if (!request(OP_FETCH, fetch, {&got_note, &got_data}) || !close_cursor()) return 1;
    bool same = got_note.text_value() == note && got_data.bytes(bytes.size()) == bytes;
    std::printf("read back: %s | %zu bytes, %s\n", got_note.text_value().c_str(), bytes.size(),
                same ? "unchanged" : "DIFFERENT");

    // 10,000 rows from arrays: integer elements through HS_GETNUM, text
    // elements of 16 bytes; the one text value serves every row.
    const int rows = 10000;
    host_var ids = host_var::int_array(rows), notes = host_var::array(16, rows), kind = host_var::raw(2);
    for (int i = 1; i <= rows; ++i) {
        ids.set_element_int(static_cast<size_t>(i), 100 + i);
        notes.set_element(static_cast<size_t>(i), "row " + std::to_string(i));
    }
    std::memcpy(kind.area.data(), "ab", 2);
    host_var st = status_for(rows), sql = host_var::text("INSERT INTO params_example VALUES (?, ?, ?)");
    if (!request(OP_QUERY, st, {&sql, &ids, &notes, &kind})) return 1;
    std::printf("arrays: %d rows applied, row count %.0f\n", status_view{st}.result(), status_view{st}.rowcount());

    query("DROP TABLE params_example", {});
    host_var down = status_for();
    request(OP_SHUTDOWN, down, {});
    return same && status_view{st}.result() == rows ? 0 : 1;
}
