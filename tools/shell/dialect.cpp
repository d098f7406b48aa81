// dialect.cpp - the table of the dialects' lexical rules, each as the
// database's own client reads a script: psql, the mariadb client, the
// sqlite3 shell.
#include "dialect.h"

#include <cctype>

#include "text.h"

namespace {

const dialect_rules dialects[] = {
    // value, name, driver marks,
    // backslash, E'', $$, #, "-- ", nested, [], `, empty lines, end spaces, no comments, DELIMITER,
    // CR in literals, line command, at the first column
    {sql_dialect::standard, "standard SQL", {},
     false, false, false, false, false, false, false, true, false, true, false, false, false, "", false},
    // The SQLite driver refuses a semicolon outside quotes even in a
    // comment, and SQLite takes nothing from comments: they are left out.
    {sql_dialect::sqlite, "SQLite", {"sqlite"},
     false, false, false, false, false, false, true, true, false, true, true, false, false, ".", true},
    {sql_dialect::postgresql, "PostgreSQL", {"psql", "postgres", "pgsql"},
     false, true, true, false, false, true, false, false, true, true, false, false, true, "", false},
    {sql_dialect::mariadb, "MariaDB", {"maodbc", "myodbc", "maria"},
     true, false, false, true, true, false, false, true, false, false, false, true, false, "source", false},
};

} // namespace

const dialect_rules &rules_of(sql_dialect d) { return entry_for(dialects, d); }

sql_dialect dialect_of_driver(const std::string &driver_name) {
    std::string name;
    for (char c : driver_name) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const dialect_rules &d : dialects)
        for (const char *mark : d.driver_marks)
            if (mark != nullptr && name.find(mark) != std::string::npos) return d.value;
    return sql_dialect::standard;
}

const char *dialect_name(sql_dialect dialect) { return rules_of(dialect).name; }
