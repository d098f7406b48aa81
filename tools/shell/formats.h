// formats.h - how result rows are written: an aligned table, CSV, tab-
// separated values, or one column per line. Statement results and the
// shell's own listings (data sources, information items, attributes) go
// through the same writers.
#ifndef RORI_SHELL_FORMATS_H
#define RORI_SHELL_FORMATS_H

#include <memory>
#include <string>
#include <vector>

#include "library.h"
#include "output.h"

enum class output_format { table, csv, tsv, vertical };

bool parse_format(const std::string &word, output_format *format);
const char *format_name(output_format format);


struct cell {
    std::string text;
    bool null = false;
    // An empty text that may stand for NULL: the array fetch form stores
    // NULL as an empty text, so the two cannot be told apart there.
    bool maybe_null = false;
};
using row = std::vector<cell>;

class row_writer {
public:
    explicit row_writer(output_file &out) : out_(out) {}
    virtual ~row_writer() = default;
    virtual void begin(const std::vector<column_info> &columns) = 0;
    virtual void add(const row &r) = 0;
    // remark follows the row count in the footer: a limit that was in force,
    // or why the result is incomplete (empty, or beginning with ", " or "; ").
    virtual void end(long rows, const std::string &remark) = 0;
    // True when rows appear only at the end (the table, which measures them).
    virtual bool holds_rows() const { return false; }
    // False for the formats without a footer (CSV, TSV), whose readers
    // learn of limits and incomplete results from standard error alone.
    virtual bool has_footer() const { return true; }
    // A write failed: the rest of the result has nowhere to go.
    bool output_failed() const { return out_.failed(); }

protected:
    output_file &out_;
};

std::unique_ptr<row_writer> make_writer(output_format format, output_file &out);

#endif
