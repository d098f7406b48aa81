// connections.cpp - opening, closing and switching the shell's connections.
#include "connections.h"

#include <algorithm>

#include "connect_text.h"
#include "transaction.h"

namespace {

const int info_driver_name = 1; // the information item of the driver's file name
const int attr_autocommit = 102; // SQL_ATTR_AUTOCOMMIT
const int attr_connection_dead = 1209; // SQL_ATTR_CONNECTION_DEAD: 1 when lost

// The connection of a slot in the table's list, or null; for the list and
// for the const list alike.
template <typename List> auto connection_in(List &open, int slot) -> decltype(&open.front()) {
    for (auto &c : open)
        if (c.slot == slot) return &c;
    return nullptr;
}

} // namespace

outcome connection_table::open(const std::string &connect_bytes) {
    outcome taken = lib_.new_slot();
    if (!taken.ok()) return taken;
    int slot = taken.slot;
    outcome o = lib_.connect(slot, connect_bytes);
    if (!o.ok()) {
        lib_.disconnect(slot);
        return o;
    }
    // The driver's file name tells how it hands over binary columns and
    // which SQL dialect splits its statements.
    std::string driver;
    bool named = lib_.info(slot, info_driver_name, &driver).ok();
    open_.push_back({slot, connection_label(connect_bytes), delivery_of_driver(driver),
                     named ? dialect_of_driver(driver) : sql_dialect::standard, connect_bytes});
    sort_by_slot();
    current_ = slot;
    o.slot = slot;
    return o;
}

void connection_table::sort_by_slot() {
    std::sort(open_.begin(), open_.end(), [](const connection &a, const connection &b) { return a.slot < b.slot; });
}

bool connection_table::close(int slot) {
    auto it = std::find_if(open_.begin(), open_.end(), [slot](const connection &c) { return c.slot == slot; });
    if (it == open_.end()) return false;
    lib_.disconnect(slot);
    open_.erase(it);
    if (current_ == slot) current_ = open_.empty() ? 0 : open_.front().slot;
    return true;
}

bool connection_table::autocommit_off(int slot) {
    int64_t value = 1;
    return lib_.get_attribute(slot, false, attr_autocommit, &value).ok() && value == 0;
}

bool connection_table::is_dead(int slot) {
    const connection *c = find(slot);
    if (c != nullptr && c->unconnected) return true;
    int64_t value = 0;
    return lib_.get_attribute(slot, false, attr_connection_dead, &value).ok() && value == 1;
}

void connection_table::keep_unconnected(connection c, bool make_current) {
    outcome taken = lib_.new_slot();
    if (!taken.ok()) return;
    c.slot = taken.slot;
    c.unconnected = true;
    c.work_pending = false;
    open_.push_back(c);
    sort_by_slot();
    if (make_current || current_ == 0) current_ = c.slot;
}

void connection_table::statement_ran(int slot, const std::string &sql) {
    connection *c = connection_in(open_, slot);
    if (c == nullptr) return;
    transaction_effect effect = effect_on_transaction(sql);
    if (effect == transaction_effect::begins || effect == transaction_effect::ends)
        c->transaction_begun = effect == transaction_effect::begins;
    if (effect == transaction_effect::ends) c->work_pending = false;
    else if (effect == transaction_effect::changes && !c->work_pending) c->work_pending = autocommit_off(slot);
}

void connection_table::autocommit_turned_on(int slot) {
    connection *c = connection_in(open_, slot);
    if (c != nullptr) c->work_pending = c->transaction_begun = false;
}

bool connection_table::work_pending(int slot) const {
    const connection *c = find(slot);
    return c != nullptr && c->work_pending;
}

bool connection_table::in_transaction(int slot) {
    const connection *c = find(slot);
    return c != nullptr && (c->transaction_begun || autocommit_off(slot));
}

bool connection_table::use(int slot) {
    if (find(slot) == nullptr) return false;
    current_ = slot;
    return true;
}

sql_dialect connection_table::current_dialect() const {
    const connection *c = find(current_);
    return c != nullptr ? c->dialect : sql_dialect::standard;
}

const connection *connection_table::find(int slot) const { return connection_in(open_, slot); }

outcome connection_table::borrow(int *slot) {
    outcome o;
    if (current_ != 0) {
        *slot = current_;
        return o;
    }
    o = lib_.new_slot();
    *slot = o.ok() ? o.slot : 0;
    return o;
}

void connection_table::give_back(int slot) {
    if (slot != 0 && find(slot) == nullptr) lib_.disconnect(slot);
}
