// binary.cpp - recognising the text of binary values and rewriting it in the
// shell's one hex notation.
#include "binary.h"

#include <cctype>

namespace {

// The field type code of SQL_BIT.
const int32_t bit_type_code = 16;

struct driver_entry {
    const char *name; // the start of the driver's file name, in lower case
    binary_delivery value;
};

// Drivers that deliver the raw bytes of a binary column where ODBC asks for
// hex digits. Every other driver is taken to follow the ODBC rule.
const driver_entry raw_drivers[] = {
    {"libmaodbc", binary_delivery::raw_bytes},
    {"maodbc", binary_delivery::raw_bytes},
    {"libmyodbc", binary_delivery::raw_bytes},
    {"myodbc", binary_delivery::raw_bytes},
};

std::string lower(const std::string &s) {
    std::string out;
    for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool all_hex_digits(const std::string &s, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    return (to - from) % 2 == 0;
}

std::string hex_of_bytes(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "\\x";
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

std::string hex_of_digits(const std::string &s, size_t from, size_t to) {
    return "\\x" + lower(s.substr(from, to - from));
}

// SQLite's X'00FF41'.
bool is_sql_literal(const std::string &s) {
    return s.size() >= 3 && (s[0] == 'X' || s[0] == 'x') && s[1] == '\'' && s.back() == '\'' &&
           all_hex_digits(s, 2, s.size() - 1);
}

// The value is binary: rewrites it, or false when its text is none of the
// forms that binary values arrive in.
bool rewrite(const std::string &delivered, binary_delivery delivery, std::string *shown) {
    if (delivered.empty()) *shown = "\\x";
    else if (delivery == binary_delivery::raw_bytes) *shown = hex_of_bytes(delivered);
    else if (is_sql_literal(delivered)) *shown = hex_of_digits(delivered, 2, delivered.size() - 1);
    else if (all_hex_digits(delivered, 0, delivered.size())) *shown = hex_of_digits(delivered, 0, delivered.size());
    else return false;
    return true;
}

} // namespace

binary_delivery delivery_of_driver(const std::string &driver_name) {
    std::string name = lower(driver_name);
    for (const driver_entry &d : raw_drivers)
        if (name.compare(0, std::string(d.name).size(), d.name) == 0) return d.value;
    return binary_delivery::hex_digits;
}

bool binary_shown(const std::string &delivered, bool binary_column, int32_t type_code, binary_delivery delivery,
                  std::string *shown) {
    if (binary_column) return rewrite(delivered, delivery, shown);
    // The ODBC rule delivers a BIT as "0" or "1"; raw bytes are 0x00, 0x01.
    if (type_code == bit_type_code)
        return delivered != "0" && delivered != "1" && rewrite(delivered, binary_delivery::raw_bytes, shown);
    return false;
}
