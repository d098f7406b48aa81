// connections.cpp - opening, closing and switching the shell's connections.
#include "connections.h"

#include <algorithm>

#include "connect_text.h"

namespace {

// Information item 1 names the driver, which tells the SQL dialect.
sql_dialect driver_dialect(library &lib, int slot) {
    std::string driver;
    return lib.info(slot, 1, &driver).ok() ? dialect_of_driver(driver) : sql_dialect::standard;
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
    open_.push_back({slot, connection_label(connect_bytes), driver_dialect(lib_, slot)});
    std::sort(open_.begin(), open_.end(), [](const connection &a, const connection &b) { return a.slot < b.slot; });
    current_ = slot;
    o.slot = slot;
    return o;
}

bool connection_table::close(int slot) {
    auto it = std::find_if(open_.begin(), open_.end(), [slot](const connection &c) { return c.slot == slot; });
    if (it == open_.end()) return false;
    lib_.disconnect(slot);
    open_.erase(it);
    if (current_ == slot) current_ = open_.empty() ? 0 : open_.front().slot;
    return true;
}

void connection_table::close_all() {
    while (!open_.empty()) close(open_.front().slot);
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

const connection *connection_table::find(int slot) const {
    for (const connection &c : open_)
        if (c.slot == slot) return &c;
    return nullptr;
}

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
