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

std::string footer(long rows, const std::string &remark) {
    return "(" + std::to_string(rows) + (rows == 1 ? " row" : " rows") + remark + ")";
}

std::string rtrim(const std::string &s) {
    size_t e = s.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

struct escape {
    char c;
    const char *shown;
};

// s with each character of the table replaced by its escape.
template <size_t N> std::string escaped(const std::string &s, const escape (&table)[N]) {
    std::string out;
    for (char ch : s) {
        auto e = std::find_if(std::begin(table), std::end(table), [ch](const escape &x) { return x.c == ch; });
        if (e != std::end(table)) out += e->shown;
        else out += ch;
    }
    return out;
}

// Names that filled the field record's name field end in "..." (they may
// have been cut), and a name equal to an earlier one gets its column
// number, so that every column of a table stays distinguishable.
std::vector<column_info> marked_names(std::vector<column_info> columns) {
    for (size_t k = 0; k < columns.size(); ++k) {
        column_info &c = columns[k];
        if (c.name_filled) c.name += "...";
        for (size_t j = 0; j < k; ++j)
            if (columns[j].name == c.name) {
                c.name += "[" + std::to_string(k + 1) + "]";
                break;
            }
    }
    return columns;
}

// Tabs stop every 8 cells of a line of a value.
const size_t tab_stop = 8;

bool is_control(char ch) {
    unsigned char b = static_cast<unsigned char>(ch);
    return b < 0x20 || b == 0x7F;
}

// A value as the table shows it: line feeds stay (the table continues the
// value on its next line), a tab becomes spaces up to its stop, a carriage
// return "\r", and another control character "\x" and two hex digits, as
// psql shows them.
std::string table_text(const cell &c) {
    if (c.null) return "NULL";
    if (std::none_of(c.text.begin(), c.text.end(), is_control)) return c.text;
    std::string out;
    size_t counted = 0, cells = 0; // cells of the current line up to out[counted]
    for (char ch : c.text) {
        unsigned char b = static_cast<unsigned char>(ch);
        if (ch == '\n') {
            out += ch;
            counted = out.size();
            cells = 0;
        } else if (ch == '\t') {
            cells += display_cells(out.substr(counted));
            size_t spaces = tab_stop - cells % tab_stop;
            out += std::string(spaces, ' ');
            counted = out.size();
            cells += spaces;
        } else if (ch == '\r') {
            out += "\\r";
        } else if (is_control(ch)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

std::vector<std::string> lines_of(const std::string &s) {
    std::vector<std::string> out;
    size_t start = 0, nl;
    while ((nl = s.find('\n', start)) != std::string::npos) {
        out.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    out.push_back(s.substr(start));
    return out;
}

// Printable ASCII, the bytes of most values: one display cell each and
// nothing to escape, so the table can skip the character rules for them.
bool printable_ascii(const std::string &s) {
    for (char ch : s)
        if (ch < 0x20 || ch > 0x7E) return false; // bytes from 0x80 are negative
    return true;
}

size_t cells_in(const std::string &s) { return printable_ascii(s) ? s.size() : display_cells(s); }

std::string cut_line(const std::string &line) {
    return cells_in(line) > table_max_width ? head_in_cells(line, table_max_width - 3) + "..." : line;
}

// Each line of a value past table_max_width cells is cut and ends in "...".
std::string cut_lines(const std::string &s) {
    if (s.find('\n') == std::string::npos) return cut_line(s);
    std::vector<std::string> lines = lines_of(s);
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) out += (i ? "\n" : "") + cut_line(lines[i]);
    return out;
}

// What follows line i of a value of `count` lines: "+" when the value goes
// on, as psql marks it, so that a line feed in a value cannot be taken for
// the next value or for the two characters "\n"; else a space.
const char *continuation_mark(size_t i, size_t count) { return i + 1 < count ? "+" : " "; }

size_t widest_line(const std::string &s) {
    if (s.find('\n') == std::string::npos) return cells_in(s);
    size_t widest = 0;
    for (const std::string &line : lines_of(s)) widest = std::max(widest, cells_in(line));
    return widest;
}

// Aligned columns under a header line. The widths come from the values, in
// display cells: the table holds up to table_held_rows rows to measure them,
// then prints what it holds and goes on with those widths, so that its
// memory stays bounded however long the result. A value is kept only as far
// as the table can show it. A value with line feeds takes as many lines of
// the table, each but the last marked with a "+" after it, as psql marks
// them: the two characters "\n" in a value stay what they are.
class table_writer : public row_writer {
public:
    explicit table_writer(output_file &out) : row_writer(out) {}
    void begin(const std::vector<column_info> &columns) override {
        columns_ = marked_names(columns);
        right_.clear();
        for (const column_info &c : columns_) right_.push_back(is_numeric_type(c.type_code));
        held_.clear();
        widths_.clear();
    }
    void add(const row &r) override {
        shown_.resize(r.size());
        for (size_t k = 0; k < r.size(); ++k) shown_as(r[k], &shown_[k]);
        if (!widths_.empty()) {
            print_row(shown_, true);
            return;
        }
        held_.push_back(shown_);
        if (held_.size() == table_held_rows) print_held();
    }
    void end(long rows, const std::string &remark) override {
        if (widths_.empty()) print_held();
        out_.line(footer(rows, remark));
    }
    bool holds_rows() const override { return true; }

private:
    // A value as the table shows it, measured once.
    struct shown_value {
        std::string text;
        bool lines = false; // it holds line feeds: each line is measured as it is printed
        size_t cells = 0;   // otherwise its width
    };

    // *shown keeps its memory from row to row. A short value of printable
    // ASCII is shown as it is, one cell a byte.
    static void shown_as(const cell &c, shown_value *shown) {
        if (!c.null && c.text.size() <= table_max_width && printable_ascii(c.text)) {
            shown->text.assign(c.text);
            shown->lines = false;
            shown->cells = c.text.size();
            return;
        }
        shown->text = cut_lines(table_text(c));
        shown->lines = shown->text.find('\n') != std::string::npos;
        shown->cells = shown->lines ? 0 : cells_in(shown->text);
    }
    static size_t width_of(const shown_value &v) { return v.lines ? widest_line(v.text) : v.cells; }
    void print_held() {
        std::vector<shown_value> header(columns_.size());
        for (size_t k = 0; k < columns_.size(); ++k) shown_as(cell{columns_[k].name, false}, &header[k]);
        widths_.clear();
        for (size_t k = 0; k < columns_.size(); ++k) {
            size_t widest = width_of(header[k]);
            for (const auto &r : held_) widest = std::max(widest, width_of(r[k]));
            widths_.push_back(widest);
        }
        print_row(header, false);
        std::string rule;
        for (size_t k = 0; k < widths_.size(); ++k) rule += (k ? "+" : "") + std::string(widths_[k] + 2, '-');
        out_.line(rule);
        for (const auto &r : held_) print_row(r, true);
        held_.clear();
        held_.shrink_to_fit();
    }
    // A later row's value that is wider than the widths of the held rows is
    // shown whole and pushes the rest of its line out of alignment: no digit
    // or character is hidden.
    static void append_padded(const std::string &v, size_t cells, size_t width, bool right, std::string *line) {
        size_t pad = cells < width ? width - cells : 0;
        if (right) line->append(pad, ' ');
        line->append(v);
        if (!right) line->append(pad, ' ');
    }
    // The lines of one row: as many as its value with the most lines has.
    // They are put together in one buffer, kept from row to row, and
    // written at once; only a value with line feeds is split.
    void print_row(const std::vector<shown_value> &values, bool align) {
        static const std::string nothing;
        parts_.resize(values.size());
        size_t height = 1;
        for (size_t k = 0; k < values.size(); ++k) {
            parts_[k].clear();
            if (values[k].lines) parts_[k] = lines_of(values[k].text);
            height = std::max(height, parts_[k].size());
        }
        line_.clear();
        for (size_t i = 0; i < height; ++i) {
            for (size_t k = 0; k < widths_.size(); ++k) {
                const std::vector<std::string> &p = parts_[k];
                bool right = align && right_[k];
                if (k) line_ += '|';
                line_ += ' ';
                const std::string &part = p.empty() ? (i == 0 ? values[k].text : nothing) : i < p.size() ? p[i] : nothing;
                size_t cells = p.empty() ? (i == 0 ? values[k].cells : 0) : cells_in(part);
                append_padded(part, cells, widths_[k], right, &line_);
                line_ += continuation_mark(i, p.size());
            }
            line_.erase(line_.find_last_not_of(' ') + 1); // the spaces at the end of this line
            line_ += '\n';
        }
        out_.write(line_);
    }

    std::vector<column_info> columns_;
    std::vector<bool> right_; // numbers, aligned to the right
    std::vector<std::vector<shown_value>> held_;
    std::vector<size_t> widths_; // set once the held rows are printed
    std::vector<shown_value> shown_;
    std::vector<std::vector<std::string>> parts_; // the lines of values with line feeds
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
    void end(long, const std::string &) override {}
    bool has_footer() const override { return false; }

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
// quotes doubled. NULL is an empty field and an empty text is "", as
// PostgreSQL's COPY ... CSV writes them, so that the two stay apart; an
// empty text that may be NULL is an empty field.
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
        else *line += escaped(c.text, escapes);
    }
};

// One "name | value" line per column; further lines of a value are
// indented, every line but its last marked with a "+" as in the table, and
// control characters shown as in the table.
class vertical_writer : public row_writer {
public:
    explicit vertical_writer(output_file &out) : row_writer(out) {}
    void begin(const std::vector<column_info> &columns) override {
        name_width_ = 0;
        columns_ = marked_names(columns);
        for (const column_info &c : columns_) name_width_ = std::max(name_width_, display_cells(c.name));
        count_ = 0;
    }
    void add(const row &r) override {
        out_.line("-[ row " + std::to_string(++count_) + " ]" + std::string(name_width_ + 2, '-'));
        for (size_t k = 0; k < r.size(); ++k) {
            const std::string &name = columns_[k].name;
            std::string lead = name + std::string(name_width_ - display_cells(name), ' ') + " | ";
            std::vector<std::string> lines = lines_of(table_text(r[k]));
            for (size_t i = 0; i < lines.size(); ++i) {
                out_.line(rtrim(lead + lines[i] + continuation_mark(i, lines.size())));
                lead = std::string(name_width_, ' ') + " | ";
            }
        }
    }
    void end(long rows, const std::string &remark) override { out_.line(footer(rows, remark)); }

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
