// copy_data.h - reads the inline rows of a COPY block, line by line, as
// the server reads them: the text format (delimiter-separated fields,
// backslash escapes, a NULL marker) or CSV (quotes and escapes, values that
// span lines, unquoted NULL marker). Fields go into buffers that are kept
// from row to row, so that reading a row needs no new memory once the
// first rows have been read.
#ifndef RORI_SHELL_COPY_DATA_H
#define RORI_SHELL_COPY_DATA_H

#include <string>
#include <vector>

#include "copy_command.h"

// Text format escapes: \b \f \n \r \t \v, octal \NNN, hex \xNN, and a
// backslash before any other character stands for that character.
void decode_copy_escapes(const std::string &raw, std::string *out);

struct copy_field {
    std::string value;
    bool null = false;
};

class copy_reader {
public:
    explicit copy_reader(const copy_format &format) : format_(format), header_left_(format.header) {}

    // One line of the block, without its line end. True when it completed
    // a row, which fields() then holds; false when it was the header or the
    // first line of a CSV value that goes on.
    bool add_line(const std::string &line);
    const std::vector<copy_field> &fields() const { return fields_; }
    size_t field_count() const { return count_; }
    // The last row is not complete: a CSV quote never closed, or a line
    // ended in an escaping backslash.
    bool unfinished() const { return in_quotes_ || !carried_.empty(); }

private:
    copy_field &next_field();
    void text_line(const std::string &line);
    void csv_line(const std::string &line);
    void end_csv_field();

    copy_format format_;
    bool header_left_;
    std::vector<copy_field> fields_; // grown, never shrunk; count_ are this row's
    size_t count_ = 0;
    // CSV state carried over a line end inside quotes.
    bool in_quotes_ = false;
    bool quoted_ = false; // the current field had quotes, so it is never NULL
    std::string carried_; // text format: lines joined by an escaped line end
};

#endif
