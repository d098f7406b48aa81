// names.cpp - the tables behind names.h.
#include "names.h"

#include <cctype>
#include <cstdlib>

#include "roridorezu.h"

namespace {

const status_name statuses[] = {
    {ST_OK, "ST_OK", "success"},
    {ST_SQLERROR, "ST_SQLERROR", "an ODBC call failed"},
    {ST_ARGS, "ST_ARGS", "too few arguments for the request"},
    {ST_NOINIT, "ST_NOINIT", "the environment is not initialised"},
    {ST_NOSLOT, "ST_NOSLOT", "all ten connection slots are taken"},
    {ST_NOMEM, "ST_NOMEM", "memory was not obtained, or the host could not store a value"},
    {ST_BADOP, "ST_BADOP", "the library does not implement this request"},
    {ST_BADCONN, "ST_BADCONN", "the slot number is not 1 to 10, or the slot holds no connection"},
    {ST_BADARG, "ST_BADARG", "an unrecognised sub-code or attribute number"},
    {ST_BADKEYWORD, "ST_BADKEYWORD", "a key in the connect text matches no keyword"},
    {ST_NOSTMT, "ST_NOSTMT", "the slot has no statement"},
    {ST_UNSUPPORTED, "ST_UNSUPPORTED", "the library does not support this form of the request"},
    {ST_FIELDS, "ST_FIELDS", "the field records do not match the result's columns"},
    {ST_BUSY, "ST_BUSY", "a request was made while another one was running on the same thread"},
};

const char *const opcodes[] = {
    nullptr,          "OP_INIT",       "OP_SHUTDOWN",    "OP_GETERROR",    "OP_NEWCONN",
    nullptr,          "OP_CONNECT",    "OP_DISCONNECT",  "OP_INFO",        "OP_QUERY",
    "OP_DESCRIBE",    "OP_SETFIELDS",  "OP_FETCH",       "OP_FREESTMT",    "OP_GETCONNATTR",
    "OP_SETCONNATTR", "OP_GETSTMTATTR", "OP_SETSTMTATTR", "OP_DATASOURCES",
};

const attr_name connection_table[] = {
    {4, "async_enable", attr_kind::integer},
    {101, "access_mode", attr_kind::integer},
    {102, "autocommit", attr_kind::integer},
    {103, "login_timeout", attr_kind::integer},
    {104, "trace", attr_kind::integer},
    {105, "tracefile", attr_kind::text},
    {106, "translate_lib", attr_kind::text},
    {107, "translate_option", attr_kind::integer},
    {108, "txn_isolation", attr_kind::integer},
    {109, "current_catalog", attr_kind::text},
    {110, "odbc_cursors", attr_kind::integer},
    {111, "quiet_mode", attr_kind::integer},
    {112, "packet_size", attr_kind::integer},
    {113, "connection_timeout", attr_kind::integer},
    {1209, "connection_dead", attr_kind::integer},
    {10014, "metadata_id", attr_kind::integer},
};

const attr_name statement_table[] = {
    {-2, "cursor_sensitivity", attr_kind::integer},
    {-1, "cursor_scrollable", attr_kind::integer},
    {0, "query_timeout", attr_kind::integer},
    {1, "max_rows", attr_kind::integer},
    {2, "noscan", attr_kind::integer},
    {3, "max_length", attr_kind::integer},
    {4, "async_enable", attr_kind::integer},
    {5, "row_bind_type", attr_kind::integer},
    {6, "cursor_type", attr_kind::integer},
    {7, "concurrency", attr_kind::integer},
    {8, "keyset_size", attr_kind::integer},
    {9, "rowset_size", attr_kind::refused},
    {10, "simulate_cursor", attr_kind::integer},
    {11, "retrieve_data", attr_kind::integer},
    {12, "use_bookmarks", attr_kind::integer},
    {13, "get_bookmark", attr_kind::refused},
    {14, "row_number", attr_kind::integer},
    {15, "enable_auto_ipd", attr_kind::integer},
    {16, "fetch_bookmark_ptr", attr_kind::pointer},
    {17, "param_bind_offset_ptr", attr_kind::pointer},
    {18, "param_bind_type", attr_kind::integer},
    {19, "param_operation_ptr", attr_kind::unsupported},
    {20, "param_status_ptr", attr_kind::unsupported},
    {21, "params_processed_ptr", attr_kind::pointer},
    {22, "paramset_size", attr_kind::integer},
    {23, "row_bind_offset_ptr", attr_kind::pointer},
    {24, "row_operation_ptr", attr_kind::pointer},
    {25, "row_status_ptr", attr_kind::unsupported},
    {26, "rows_fetched_ptr", attr_kind::refused},
    {27, "row_array_size", attr_kind::integer},
    {10010, "app_row_desc", attr_kind::unsupported},
    {10011, "app_param_desc", attr_kind::unsupported},
    {10012, "imp_row_desc", attr_kind::unsupported},
    {10013, "imp_param_desc", attr_kind::unsupported},
    {10014, "metadata_id", attr_kind::integer},
};

const info_item items[] = {
    {1, "driver_name", "driver name", info_number::result},
    {2, "dbms_version", "database server version", info_number::result},
    {3, "driver_version", "driver version", info_number::result},
    {4, "unsupported", "not supported by the library", info_number::none},
    {5, "column_count", "columns of the current result", info_number::result},
    {6, "row_count", "row count of the last statement", info_number::rowcount},
    {7, "library_name", "library name", info_number::none},
    {8, "library_version", "library version", info_number::result},
    {9, "interface", "interface name", info_number::none},
    {10, "row_count_10", "row count of the last statement (same as 6)", info_number::rowcount},
};

std::string lower(const std::string &s) {
    std::string out = s;
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "-12" or "102": the whole word is a decimal number.
bool parse_number(const std::string &word, int *number) {
    if (word.empty()) return false;
    char *end = nullptr;
    long v = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0') return false;
    *number = static_cast<int>(v);
    return true;
}

// "autocommit", "sql_attr_autocommit" and "SQL_ATTR_AUTOCOMMIT" alike.
std::string short_name(const std::string &word) {
    std::string w = lower(word);
    const std::string prefix = "sql_attr_";
    return w.compare(0, prefix.size(), prefix) == 0 ? w.substr(prefix.size()) : w;
}

} // namespace

std::string opcode_name(int opcode) {
    const int count = sizeof opcodes / sizeof opcodes[0];
    if (opcode >= 0 && opcode < count && opcodes[opcode] != nullptr) return opcodes[opcode];
    return "opcode " + std::to_string(opcode);
}

const status_name *find_status(int code) {
    for (const status_name &s : statuses)
        if (s.code == code) return &s;
    return nullptr;
}

std::string status_label(int code) {
    const status_name *s = find_status(code);
    if (s == nullptr) return "status " + std::to_string(code);
    return std::string(s->name) + " (" + std::to_string(code) + ")";
}

attr_table connection_attributes() {
    return {connection_table, sizeof connection_table / sizeof connection_table[0]};
}

attr_table statement_attributes() {
    return {statement_table, sizeof statement_table / sizeof statement_table[0]};
}

bool find_attribute(const attr_table &table, const std::string &word, int *number,
                    const attr_name **entry) {
    *entry = nullptr;
    bool numeric = parse_number(word, number);
    std::string name = short_name(word);
    for (size_t i = 0; i < table.count; ++i) {
        const attr_name &a = table.entries[i];
        if ((numeric && a.number == *number) || (!numeric && name == a.name)) {
            *number = a.number;
            *entry = &a;
            return true;
        }
    }
    return numeric;
}

const char *attr_kind_name(attr_kind kind) {
    static const char *const names[] = {"integer", "text", "pointer", "refused", "unsupported"};
    return names[static_cast<int>(kind)];
}

const info_item *info_items(size_t *count) {
    *count = sizeof items / sizeof items[0];
    return items;
}

const info_item *find_info_item(const std::string &word) {
    int number = 0;
    bool numeric = parse_number(word, &number);
    std::string name = lower(word);
    for (const info_item &i : items)
        if ((numeric && i.item == number) || (!numeric && name == i.name)) return &i;
    return nullptr;
}
