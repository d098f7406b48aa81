// library.cpp - the request wrappers: status blocks in, outcomes out.
#include "library.h"

#include <cstring>

#include "cells.h"
#include "console.h"

namespace {

// Room for texts the library copies into a data area. The variables are
// dynamic: a text stored with HS_PUTSTR, such as a diagnostic message of
// any length, grows its variable to hold it whole.
const size_t text_room = 512;

host_var status_block(int slot, int16_t subcode = 0) {
    host_var st = host_var::raw(SQL_STATUS_MIN);
    status_view view{st};
    view.set_slot(static_cast<uint8_t>(slot));
    view.set_subcode(subcode);
    return st;
}

host_var text_buffer() { return host_var::text("", text_room, true); }

std::string bounded_text(const uint8_t *p, size_t width) {
    size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char *>(p), n);
}

int32_t read_i32(const uint8_t *p) {
    int32_t x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

column_info column_from_record(const uint8_t *rec) {
    column_info c;
    c.name = bounded_text(rec + FR_NAME, FR_TEXT_WIDTH);
    // A longer name is cut at the field's width, maybe inside a character.
    c.name_filled = c.name.size() == FR_TEXT_WIDTH;
    if (c.name_filled) c.name = without_cut_character(c.name);
    c.width = read_i32(rec + FR_WIDTH);
    c.type_code = read_i32(rec + FR_TYPE_CODE);
    c.binary = (read_i32(rec + FR_FLAGS) & FR_FLAG_BINARY) != 0;
    return c;
}

} // namespace

outcome library::send(int opcode, host_var &status, std::vector<host_var *> operands) {
    host_var op = host_var::integer(opcode);
    host_call call(op, status, std::move(operands));
    return sent(call, opcode, status);
}

// Runs the request and reads what it left in its status block.
outcome library::sent(host_call &call, int opcode, host_var &status) {
    request_started();
    call.run(entry_);
    request_ended();
    status_view view{status};
    outcome o;
    o.opcode = opcode;
    o.status = view.status();
    o.native = view.native();
    o.sqlstate = view.sqlstate();
    o.result = view.result();
    o.rowcount = view.rowcount();
    o.slot = view.slot();
    if (o.has_record() && opcode != OP_GETERROR) o.message = error_message(o.slot);
    return o;
}

std::string library::error_message(int slot) {
    host_var st = status_block(slot);
    host_var text = text_buffer();
    send(OP_GETERROR, st, {&text});
    return text.text_value();
}

outcome library::init() {
    host_var st = status_block(0);
    return send(OP_INIT, st);
}

outcome library::shutdown() {
    host_var st = status_block(0);
    return send(OP_SHUTDOWN, st);
}

outcome library::new_slot() {
    host_var st = status_block(0);
    return send(OP_NEWCONN, st);
}

outcome library::connect(int slot, const std::string &connect_text) {
    host_var st = status_block(slot);
    host_var text = host_var::text(connect_text, connect_text.size() + 1);
    return send(OP_CONNECT, st, {&text});
}

outcome library::disconnect(int slot) {
    host_var st = status_block(slot);
    return send(OP_DISCONNECT, st);
}

outcome library::query(int slot, const std::string &sql, const std::vector<std::string> &values) {
    host_var st = status_block(slot);
    host_var text = host_var::text(sql, sql.size() + 1);
    std::vector<host_var> vars;
    vars.reserve(values.size());
    for (const std::string &v : values) vars.push_back(host_var::text(v, v.size() + 1));
    std::vector<host_var *> operands{&text};
    for (host_var &v : vars) operands.push_back(&v);
    return send(OP_QUERY, st, operands);
}

outcome library::describe(int slot, std::vector<column_info> *columns) {
    const size_t records = 31;
    host_var st = status_block(slot);
    host_var recs = host_var::raw(records * FIELD_REC_SIZE);
    outcome o = send(OP_DESCRIBE, st, {&recs});
    columns->clear();
    size_t described = o.result < 0 ? 0 : static_cast<size_t>(o.result);
    for (size_t i = 0; i < described; ++i) {
        if (i < records) columns->push_back(column_from_record(recs.area.data() + i * FIELD_REC_SIZE));
        else columns->push_back(column_info{"column" + std::to_string(i + 1), 0, 0});
    }
    return o;
}

outcome library::free_statement(int slot, int16_t subcode) {
    host_var st = status_block(slot, subcode);
    return send(OP_FREESTMT, st);
}

outcome library::info(int slot, int item, std::string *text) {
    host_var st = status_block(slot, static_cast<int16_t>(item));
    host_var answer = text_buffer();
    outcome o = send(OP_INFO, st, {&answer});
    *text = answer.text_value();
    return o;
}

outcome library::get_attribute(int slot, bool statement, int number, int64_t *value) {
    host_var st = status_block(slot, statement ? static_cast<int16_t>(number) : 0);
    if (!statement) status_view{st}.set_param_plain(number);
    host_var v = host_var::integer(0);
    outcome o = send(statement ? OP_GETSTMTATTR : OP_GETCONNATTR, st, {&v});
    *value = v.int_value();
    return o;
}

outcome library::set_attribute(int slot, bool statement, int number, host_var &value_var) {
    host_var st = status_block(slot, statement ? static_cast<int16_t>(number) : 0);
    if (!statement) status_view{st}.set_param_plain(number);
    return send(statement ? OP_SETSTMTATTR : OP_SETCONNATTR, st, {&value_var});
}

outcome library::next_data_source(int slot, int direction, data_source *ds) {
    host_var st = status_block(slot, static_cast<int16_t>(direction));
    host_var name = host_var::text("", 256);
    host_var description = host_var::text("", text_room);
    outcome o = send(OP_DATASOURCES, st, {&name, &description});
    ds->name = name.text_value();
    ds->description = description.text_value();
    return o;
}

fetch_request::fetch_request(library &lib, int slot, uint16_t flags, std::vector<host_var *> operands)
    : lib_(lib), slot_(slot), flags_(flags), opcode_(host_var::integer(OP_FETCH)), status_(status_block(slot)),
      call_(opcode_, status_, std::move(operands)) {}

outcome fetch_request::next(int32_t elements, double *row_counter) {
    status_.fill(0); // as fresh as the block of any other request
    status_view view{status_};
    view.set_slot(static_cast<uint8_t>(slot_));
    view.set_subcode(static_cast<int16_t>(flags_));
    view.set_param_swapped(elements);
    view.set_rowcount(*row_counter);
    outcome o = lib_.sent(call_, OP_FETCH, status_);
    *row_counter = o.rowcount;
    return o;
}
