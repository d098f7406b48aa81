// dialect.h - the SQL dialects whose statements the shell splits as their
// own clients do, how a connection's dialect is told from its driver, and
// the lexical rules of each.
#ifndef RORI_SHELL_DIALECT_H
#define RORI_SHELL_DIALECT_H

#include <string>

// Standard SQL when the driver is not one the shell knows.
enum class sql_dialect { standard, sqlite, postgresql, mariadb };

struct dialect_rules {
    sql_dialect value;
    const char *name;
    const char *driver_marks[4];  // parts of the driver's file name, lower case
    bool backslash_strings;       // '...' and "..." take backslash escapes
    bool escape_strings;          // E'...' takes them (and '...' without standard_conforming_strings)
    bool dollar_quotes;           // $$ ... $$ and $tag$ ... $tag$
    bool hash_comments;           // # to the end of the line
    bool dash_comment_needs_space; // "--" begins a comment only before a space or control character
    bool nested_comments;         // /* /* */ */ is one comment
    bool bracket_names;           // [a name]
    bool backtick_names;          // `a name`
    bool drops_empty_lines;       // an empty line outside quotes adds nothing to a statement
    bool keeps_end_spaces;        // the spaces before the semicolon are sent
    bool drops_comments;          // comments are left out of the statement sent
    bool delimiter_command;       // the line command DELIMITER changes the terminator
    bool keeps_literal_cr;        // a CR before the line end stays in quoted text that spans lines
    // A line that begins with this word while no statement is pending is a
    // command of the client: the mariadb client's "source FILE", sqlite3's
    // ".mode csv" and the like (their first character, with no space
    // before it); empty when there is none.
    const char *line_command;
    bool line_command_at_first_column;
};

// The dialect of a connection, told by the driver's name (information item 1).
sql_dialect dialect_of_driver(const std::string &driver_name);
const char *dialect_name(sql_dialect dialect);
const dialect_rules &rules_of(sql_dialect dialect);

#endif
