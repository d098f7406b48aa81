// formats.cpp - the four row writers.
#include "formats.h"

#include <algorithm>

#include "cells.h"
#include "text.h"

namespace {

// Field type codes of numbers, which the table aligns to the right.
bool is_numeric_type(int32_t type_code) {
    static const int32_t numeric[] = {0, 2, 3, 4, 5, 8};
    return std::find(std::begin(numeric), std::end(numeric), type_code) != std::end(numeric);
}

// The table is at most this wide per column unless the header is wider.
const size_t table_max_width = 60;
// Rows that the table holds to measure its columns before it prints them.
const size_t table_held_rows = 10000;

std::string plural_rows(long rows) { return "(" + std::to_string(rows) + (rows == 1 ? " row)" : " rows)"); }

std::string rtrim(const std::string &s) {
    size_t e = s.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

struct escape {
    char c;
    const char *shown;
};

// s with each character of the table replaced by its escape; with
// hide_controls, other control characters become "?".
template <size_t N> std::string escaped(const std::string &s, const escape (&table)[N], bool hide_controls) {
    std::string out;
    for (char ch : s) {
        auto e = std::find_if(std::begin(table), std::end(table), [ch](const escape &x) { return x.c == ch; });
        if (e != std::end(table)) out += e->shown;
        else out += hide_controls && static_cast<unsigned char>(ch) < 0x20 ? '?' : ch;
    }
    return out;
}

// Control characters shown as escapes, so that a row stays on one line.
std::string one_line(const cell &c) {
    static const escape escapes[] = {{'\n', "\\n"}, {'\r', "\\r"}, {'\t', "\\t"}};
    return c.null ? std::string("NULL") : escaped(c.text, escapes, true);
}

// Printable ASCII, the bytes of most values: one display cell each and
// nothing to escape, so the table can skip the character rules for them.
bool printable_ascii(const std::string &s) {
    for (char ch : s)
        if (ch < 0x20 || ch > 0x7E) return false; // bytes from 0x80 are negative
    return true;
}

size_t cells_in(const std::string &s) { return printable_ascii(s) ? s.size() : display_cells(s); }

// Aligned columns under a header line. The widths come from the values, in
// display cells: the table holds up to table_held_rows rows to measure them,
// then prints what it holds and goes on with those widths, so that its
// memory stays bounded however long the result. A value is kept only as far
// as the table can show it.
class table_writer : public row_writer {
public:
    explicit table_writer(output_file &out) : row_writer(out) {}
    void begin(const std::vector<column_info> &columns) override {
        columns_ = columns;
        held_.clear();
        widths_.clear();
    }
    void add(const row &r) override {
        shown_.resize(r.size());
        for (size_t k = 0; k < r.size(); ++k) shown_as(r[k], &shown_[k]);
        if (!widths_.empty()) {
            print_line(shown_, true);
            return;
        }
        held_.push_back(shown_);
        if (held_.size() == table_held_rows) print_held();
    }
    void end(long rows) override {
        if (widths_.empty()) print_held();
        out_.line(plural_rows(rows));
    }
    bool holds_rows() const override { return true; }

private:
    // What the table shows of a value, as far as it can show it; *shown
    // keeps its memory from row to row.
    static void shown_as(const cell &c, std::string *shown) {
        if (!c.null && printable_ascii(c.text)) shown->assign(c.text, 0, table_max_width + 1);
        else *shown = head_in_cells(one_line(c), table_max_width + 1);
    }
    void print_held() {
        std::vector<std::string> header;
        for (const column_info &c : columns_) header.push_back(one_line(cell{c.name, false}));
        widths_.clear();
        for (size_t k = 0; k < columns_.size(); ++k) {
            size_t longest = 0;
            for (const auto &r : held_) longest = std::max(longest, cells_in(r[k]));
            widths_.push_back(std::max(cells_in(header[k]), std::min(longest, table_max_width)));
        }
        print_line(header, false);
        std::string rule;
        for (size_t k = 0; k < widths_.size(); ++k) rule += (k ? "+" : "") + std::string(widths_[k] + 2, '-');
        out_.line(rule);
        for (const auto &r : held_) print_line(r, true);
        held_.clear();
        held_.shrink_to_fit();
    }
    // A value past table_max_width cells is cut and ends in "...". A later
    // row's value that is wider than the widths of the held rows is shown
    // whole and pushes the rest of its line out of alignment: no digit or
    // character is hidden.
    static void append_fitted(const std::string &s, size_t width, bool right, std::string *line) {
        std::string cut;
        size_t cells = cells_in(s);
        if (cells > table_max_width) {
            cut = head_in_cells(s, table_max_width - 3) + "...";
            cells = cells_in(cut);
        }
        size_t pad = cells < width ? width - cells : 0;
        if (right) line->append(pad, ' ');
        *line += cut.empty() ? s : cut;
        if (!right) line->append(pad, ' ');
    }
    // The line is put together in one buffer, kept from row to row, without
    // the spaces at its end.
    void print_line(const std::vector<std::string> &values, bool align) {
        line_.clear();
        for (size_t k = 0; k < widths_.size(); ++k) {
            line_ += k ? " | " : " ";
            append_fitted(values[k], widths_[k], align && is_numeric_type(columns_[k].type_code), &line_);
        }
        line_.erase(line_.find_last_not_of(' ') + 1);
        line_ += '\n';
        out_.write(line_);
    }

    std::vector<column_info> columns_;
    std::vector<std::vector<std::string>> held_;
    std::vector<size_t> widths_; // set once the held rows are printed
    std::vector<std::string> shown_;
    std::string line_;
};

// Values separated by one character, one row per line, with a header line.
class separated_writer : public row_writer {
public:
    separated_writer(output_file &out, char separator) : row_writer(out), separator_(separator) {}
    void begin(const std::vector<column_info> &columns) override {
        row header;
        for (const column_info &c : columns) header.push_back(cell{c.name, false});
        add(header);
    }
    // The line is put together in one buffer, kept from row to row, and
    // written at once: an export's time should be the database's.
    void add(const row &r) override {
        line_.clear();
        for (size_t k = 0; k < r.size(); ++k) {
            if (k) line_ += separator_;
            append_field(r[k], &line_);
        }
        line_ += '\n';
        out_.write(line_);
    }
    void end(long) override {}

protected:
    virtual void append_field(const cell &c, std::string *line) const = 0;

private:
    char separator_;
    std::string line_;
};

// A few bytes to look for in every value of an export: one table lookup
// per byte of the value.
class byte_set {
public:
    explicit byte_set(const char *bytes) {
        for (; *bytes != '\0'; ++bytes) member_[static_cast<unsigned char>(*bytes)] = true;
    }
    bool found_in(const std::string &s) const {
        for (char ch : s)
            if (member_[static_cast<unsigned char>(ch)]) return true;
        return false;
    }

private:
    bool member_[256] = {};
};

// RFC 4180: a value holding a comma, a quote or a line break is quoted, its
// quotes doubled. NULL is an empty field and an empty text is "", as psql
// writes them; an empty text that may be NULL is an empty field.
class csv_writer : public separated_writer {
public:
    explicit csv_writer(output_file &out) : separated_writer(out, ',') {}

protected:
    void append_field(const cell &c, std::string *line) const override {
        static const byte_set quoted_bytes(",\"\r\n");
        if (c.text.empty()) {
            if (!c.null && !c.maybe_null) *line += "\"\"";
        } else if (!quoted_bytes.found_in(c.text)) {
            *line += c.text;
        } else {
            *line += '"';
            for (char ch : c.text) {
                if (ch == '"') *line += '"';
                *line += ch;
            }
            *line += '"';
        }
    }
};

// Tab-separated: backslash, tab, and line breaks escaped; NULL is \N.
class tsv_writer : public separated_writer {
public:
    explicit tsv_writer(output_file &out) : separated_writer(out, '\t') {}

protected:
    void append_field(const cell &c, std::string *line) const override {
        static const escape escapes[] = {{'\\', "\\\\"}, {'\t', "\\t"}, {'\n', "\\n"}, {'\r', "\\r"}};
        static const byte_set escaped_bytes("\\\t\n\r");
        if (c.null) *line += "\\N";
        else if (!escaped_bytes.found_in(c.text)) *line += c.text;
        else *line += escaped(c.text, escapes, false);
    }
};

// One "name | value" line per column; lines of a long value are indented.
class vertical_writer : public row_writer {
public:
    explicit vertical_writer(output_file &out) : row_writer(out) {}
    void begin(const std::vector<column_info> &columns) override {
        columns_ = columns;
        name_width_ = 0;
        for (const column_info &c : columns) name_width_ = std::max(name_width_, display_cells(c.name));
        count_ = 0;
    }
    void add(const row &r) override {
        out_.line("-[ row " + std::to_string(++count_) + " ]" + std::string(name_width_ + 2, '-'));
        for (size_t k = 0; k < r.size(); ++k) {
            const std::string &name = columns_[k].name;
            std::string lead = name + std::string(name_width_ - display_cells(name), ' ') + " | ";
            std::string value = r[k].null ? "NULL" : r[k].text;
            size_t start = 0, nl;
            while ((nl = value.find('\n', start)) != std::string::npos) {
                out_.line(rtrim(lead + value.substr(start, nl - start)));
                lead = std::string(name_width_, ' ') + " | ";
                start = nl + 1;
            }
            out_.line(rtrim(lead + value.substr(start)));
        }
    }
    void end(long rows) override { out_.line(plural_rows(rows)); }

private:
    std::vector<column_info> columns_;
    size_t name_width_ = 0;
    long count_ = 0;
};

template <typename W> std::unique_ptr<row_writer> make(output_file &out) { return std::make_unique<W>(out); }

struct format_entry {
    output_format value;
    const char *name;
    std::unique_ptr<row_writer> (*make)(output_file &out);
};

const format_entry formats[] = {
    {output_format::table, "table", make<table_writer>},
    {output_format::csv, "csv", make<csv_writer>},
    {output_format::tsv, "tsv", make<tsv_writer>},
    {output_format::vertical, "vertical", make<vertical_writer>},
};

} // namespace

bool parse_format(const std::string &word, output_format *format) { return value_named(formats, word, format); }

const char *format_name(output_format format) { return entry_for(formats, format).name; }

std::unique_ptr<row_writer> make_writer(output_format format, output_file &out) {
    return entry_for(formats, format).make(out);
}
