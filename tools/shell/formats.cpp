// formats.cpp - the four row writers.
#include "formats.h"

#include <algorithm>

#include "text.h"

namespace {

// Field type codes of numbers, which the table aligns to the right.
bool is_numeric_type(int32_t type_code) {
    static const int32_t numeric[] = {0, 2, 3, 4, 5, 8};
    return std::find(std::begin(numeric), std::end(numeric), type_code) != std::end(numeric);
}

// Characters on the screen: UTF-8 continuation bytes take no column.
size_t display_length(const std::string &s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// The first `columns` characters of s, never splitting a UTF-8 sequence.
std::string cut_display(const std::string &s, size_t columns) {
    size_t seen = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && seen++ == columns) return s.substr(0, i);
    }
    return s;
}

// The table is at most this wide per column unless the header is wider.
const int table_max_width = 60;

std::string plural_rows(long rows) { return "(" + std::to_string(rows) + (rows == 1 ? " row)" : " rows)"); }

std::string rtrim(const std::string &s) {
    size_t e = s.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

void put_line(std::FILE *out, const std::string &line) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
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

// Aligned columns under a header line; widths come from the field records
// (the display size) but shrink to the longest value or header.
class table_writer : public row_writer {
public:
    explicit table_writer(std::FILE *out) : out_(out) {}
    void begin(const std::vector<column_info> &columns) override {
        columns_ = columns;
        rows_.clear();
    }
    void add(const row &r) override {
        std::vector<std::string> shown;
        for (const cell &c : r) shown.push_back(one_line(c));
        rows_.push_back(std::move(shown));
    }
    void end(long rows) override {
        std::vector<size_t> widths = measure();
        std::vector<std::string> header;
        for (const column_info &c : columns_) header.push_back(one_line(cell{c.name, false}));
        put_line(out_, render(header, widths, false));
        std::string rule;
        for (size_t k = 0; k < widths.size(); ++k) rule += (k ? "+" : "") + std::string(widths[k] + 2, '-');
        put_line(out_, rule);
        for (const auto &r : rows_) put_line(out_, render(r, widths, true));
        put_line(out_, plural_rows(rows));
        rows_.clear();
    }
    bool holds_rows() const override { return true; }

private:
    size_t limit(size_t k) const {
        int32_t w = columns_[k].width;
        return w > 0 && w < table_max_width ? static_cast<size_t>(w) : table_max_width;
    }
    std::vector<size_t> measure() const {
        std::vector<size_t> widths;
        for (size_t k = 0; k < columns_.size(); ++k) {
            size_t longest = 0;
            for (const auto &r : rows_) longest = std::max(longest, display_length(r[k]));
            size_t header = display_length(one_line(cell{columns_[k].name, false}));
            widths.push_back(std::max(header, std::min(longest, limit(k))));
        }
        return widths;
    }
    std::string fit(const std::string &s, size_t width, bool right) const {
        std::string v = s;
        if (display_length(v) > width) v = width > 3 ? cut_display(v, width - 3) + "..." : cut_display(v, width);
        std::string pad(width - display_length(v), ' ');
        return right ? pad + v : v + pad;
    }
    std::string render(const std::vector<std::string> &values, const std::vector<size_t> &widths, bool align) const {
        std::string line;
        for (size_t k = 0; k < widths.size(); ++k) {
            bool right = align && is_numeric_type(columns_[k].type_code);
            line += (k ? " | " : " ") + fit(values[k], widths[k], right);
        }
        return rtrim(line);
    }

    std::FILE *out_;
    std::vector<column_info> columns_;
    std::vector<std::vector<std::string>> rows_;
};

// Values separated by one character, one row per line, with a header line.
class separated_writer : public row_writer {
public:
    separated_writer(std::FILE *out, char separator) : out_(out), separator_(separator) {}
    void begin(const std::vector<column_info> &columns) override {
        row header;
        for (const column_info &c : columns) header.push_back(cell{c.name, false});
        add(header);
    }
    void add(const row &r) override {
        std::string line;
        for (size_t k = 0; k < r.size(); ++k) line += (k ? std::string(1, separator_) : "") + field(r[k]);
        put_line(out_, line);
    }
    void end(long) override {}

protected:
    virtual std::string field(const cell &c) const = 0;

private:
    std::FILE *out_;
    char separator_;
};

// RFC 4180: a value holding a comma, a quote or a line break is quoted, its
// quotes doubled. NULL is an empty field.
class csv_writer : public separated_writer {
public:
    explicit csv_writer(std::FILE *out) : separated_writer(out, ',') {}

protected:
    std::string field(const cell &c) const override {
        if (c.text.find_first_of(",\"\r\n") == std::string::npos) return c.text;
        std::string quoted = "\"";
        for (char ch : c.text) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        return quoted + "\"";
    }
};

// Tab-separated: backslash, tab, and line breaks escaped; NULL is \N.
class tsv_writer : public separated_writer {
public:
    explicit tsv_writer(std::FILE *out) : separated_writer(out, '\t') {}

protected:
    std::string field(const cell &c) const override {
        static const escape escapes[] = {{'\\', "\\\\"}, {'\t', "\\t"}, {'\n', "\\n"}, {'\r', "\\r"}};
        return c.null ? std::string("\\N") : escaped(c.text, escapes, false);
    }
};

// One "name | value" line per column; lines of a long value are indented.
class vertical_writer : public row_writer {
public:
    explicit vertical_writer(std::FILE *out) : out_(out) {}
    void begin(const std::vector<column_info> &columns) override {
        columns_ = columns;
        name_width_ = 0;
        for (const column_info &c : columns) name_width_ = std::max(name_width_, display_length(c.name));
        count_ = 0;
    }
    void add(const row &r) override {
        put_line(out_, "-[ row " + std::to_string(++count_) + " ]" + std::string(name_width_ + 2, '-'));
        for (size_t k = 0; k < r.size(); ++k) {
            const std::string &name = columns_[k].name;
            std::string lead = name + std::string(name_width_ - display_length(name), ' ') + " | ";
            std::string value = r[k].null ? "NULL" : r[k].text;
            size_t start = 0, nl;
            while ((nl = value.find('\n', start)) != std::string::npos) {
                put_line(out_, rtrim(lead + value.substr(start, nl - start)));
                lead = std::string(name_width_, ' ') + " | ";
                start = nl + 1;
            }
            put_line(out_, rtrim(lead + value.substr(start)));
        }
    }
    void end(long rows) override { put_line(out_, plural_rows(rows)); }

private:
    std::FILE *out_;
    std::vector<column_info> columns_;
    size_t name_width_ = 0;
    long count_ = 0;
};

template <typename W> std::unique_ptr<row_writer> make(std::FILE *out) { return std::make_unique<W>(out); }

struct format_entry {
    output_format value;
    const char *name;
    std::unique_ptr<row_writer> (*make)(std::FILE *out);
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

std::unique_ptr<row_writer> make_writer(output_format format, std::FILE *out) {
    return entry_for(formats, format).make(out);
}
