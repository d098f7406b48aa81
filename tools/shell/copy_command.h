// copy_command.h - reads a PostgreSQL COPY ... FROM STDIN statement: the
// table, its column list and the options that say how its inline data is
// written (text or CSV, delimiter, NULL marker, header, quote, escape), in
// the option list of today and in the older keyword form.
#ifndef RORI_SHELL_COPY_COMMAND_H
#define RORI_SHELL_COPY_COMMAND_H

#include <string>
#include <vector>

// How the rows of a COPY block are written.
struct copy_format {
    bool csv = false;
    char delimiter = '\t';
    std::string null_marker = "\\N";
    bool header = false; // the first line names the columns and is no row
    bool header_match = false; // HEADER MATCH: it must name them, in order
    char quote = '"';    // CSV only
    char escape = '"';   // CSV only
};

struct copy_command {
    std::string table;   // as written: public."Order Lines"
    std::string columns; // the column list as written, without its parentheses; empty when none
    std::vector<std::string> column_names; // its names as the catalog spells them (unquoted, folded)
    copy_format format;
};

// Reads sql, a COPY ... FROM STDIN; false, with the reason in *problem,
// when it is not one the shell can load (binary format, an option the
// shell does not read, a form it cannot take apart).
bool read_copy_command(const std::string &sql, copy_command *command, std::string *problem);

#endif
