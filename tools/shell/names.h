// names.h - the shell's tables of names for the library's numbers: status
// codes, connection and statement attributes, and information items.
#ifndef RORI_SHELL_NAMES_H
#define RORI_SHELL_NAMES_H

#include <cstddef>
#include <string>

// "OP_QUERY"; "opcode 5" for a number without a request.
std::string opcode_name(int opcode);

struct status_name {
    int code;
    const char *name;    // "ST_SQLERROR"
    const char *meaning; // shown when no diagnostic record explains a failure
};

// The entry for a status code, or null for a code the library never sets.
const status_name *find_status(int code);
// "ST_SQLERROR (2)", or "status 99" for an unknown code.
std::string status_label(int code);

// How the library takes an attribute's value.
enum class attr_kind {
    integer,
    text,        // connection attributes only; a read returns -99
    pointer,     // an address: the shell does not set these
    refused,     // the library answers ST_BADARG
    unsupported, // the library answers ST_UNSUPPORTED
};

struct attr_name {
    int number;
    const char *name; // the ODBC name without SQL_ATTR_, lower case
    attr_kind kind;
};

struct attr_table {
    const attr_name *entries;
    size_t count;
};

attr_table connection_attributes();
attr_table statement_attributes();

// Looks up a name (short or full ODBC name, any case) or a number. A number
// that the table lacks is still accepted, with kind integer, so that the
// library can be asked about any number; *entry is then null.
bool find_attribute(const attr_table &table, const std::string &word, int *number,
                    const attr_name **entry);
const char *attr_kind_name(attr_kind kind);

// Where an information item leaves its number.
enum class info_number { none, result, rowcount };

struct info_item {
    int item;
    const char *name;
    const char *what;
    info_number number;
};

const info_item *info_items(size_t *count);
// By number (1 to 10) or name; null when neither matches.
const info_item *find_info_item(const std::string &word);

#endif
