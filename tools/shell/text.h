// text.h - small text helpers shared by the shell: trimming, splitting into
// words, and looking entries up in tables whose rows have a name and a value.
#ifndef RORI_SHELL_TEXT_H
#define RORI_SHELL_TEXT_H

#include <cstddef>
#include <string>
#include <vector>

// s without spaces, tabs and line ends at either end.
std::string trim(const std::string &s);
// The words of s, split at spaces and tabs.
std::vector<std::string> words(const std::string &s);
// The parts with the separator between them: "a, b".
std::string join(const std::vector<std::string> &parts, const std::string &separator);
// Takes off the double quotes around a text ("my file.txt"); false when
// it stands in none.
bool unquote(std::string *s);

// The row of a table whose name is `name`, or null.
template <typename Entry, size_t N> const Entry *entry_named(const Entry (&table)[N], const std::string &name) {
    for (const Entry &e : table)
        if (name == e.name) return &e;
    return nullptr;
}

// Sets *value from the row named `name`; false when there is none.
template <typename Entry, size_t N, typename Value>
bool value_named(const Entry (&table)[N], const std::string &name, Value *value) {
    const Entry *e = entry_named(table, name);
    if (e != nullptr) *value = e->value;
    return e != nullptr;
}

// The row of a table holding `value`; the first row when none does.
template <typename Entry, size_t N, typename Value> const Entry &entry_for(const Entry (&table)[N], Value value) {
    for (const Entry &e : table)
        if (e.value == value) return e;
    return table[0];
}

#endif
