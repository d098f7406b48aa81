// copy_data.cpp - the two COPY data formats, read field by field into
// reused buffers.
#include "copy_data.h"

namespace {

int octal_digit(char c) { return c >= '0' && c <= '7' ? c - '0' : -1; }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The control characters of the one-letter escapes.
struct letter_escape {
    char letter;
    char value;
};
const letter_escape letter_escapes[] = {{'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'v', '\v'}};

// Reads the escape after a backslash at p[0]; appends its character and
// returns how many characters it took.
size_t decode_escape(const char *p, size_t n, std::string *out) {
    if (octal_digit(p[0]) >= 0) {
        int value = 0;
        size_t k = 0;
        for (; k < 3 && k < n && octal_digit(p[k]) >= 0; ++k) value = value * 8 + octal_digit(p[k]);
        *out += static_cast<char>(value & 0xFF);
        return k;
    }
    if (p[0] == 'x' && n > 1 && hex_digit(p[1]) >= 0) {
        int value = hex_digit(p[1]);
        size_t k = 2;
        if (n > 2 && hex_digit(p[2]) >= 0) value = value * 16 + hex_digit(p[k++]);
        *out += static_cast<char>(value);
        return k;
    }
    char c = p[0];
    for (const letter_escape &e : letter_escapes)
        if (e.letter == p[0]) c = e.value;
    *out += c;
    return 1;
}

// Appends the text-format field p[0..n) to out, escapes read.
void decode_range(const char *p, size_t n, std::string *out) {
    size_t i = 0;
    while (i < n) {
        size_t plain = i;
        while (plain < n && p[plain] != '\\') ++plain;
        out->append(p + i, plain - i);
        if (plain + 1 >= n) return; // a backslash that ends the field stands for nothing
        i = plain + 1;
        i += decode_escape(p + i, n - i, out);
    }
}

// Whether the line ends in a backslash that escapes its line end: the
// server then takes the line feed into the value and reads on.
bool ends_in_escape(const std::string &line) {
    size_t backslashes = 0;
    for (size_t i = line.size(); i > 0 && line[i - 1] == '\\'; --i) ++backslashes;
    return backslashes % 2 == 1;
}

} // namespace

void decode_copy_escapes(const std::string &raw, std::string *out) {
    out->clear();
    decode_range(raw.data(), raw.size(), out);
}

copy_field &copy_reader::next_field() {
    if (count_ == fields_.size()) fields_.emplace_back();
    copy_field &f = fields_[count_++];
    f.value.clear();
    f.null = false;
    return f;
}

// Fields end at each delimiter that no backslash escapes; the NULL marker
// is compared with the field as written, before its escapes are read.
void copy_reader::text_line(const std::string &line) {
    count_ = 0;
    const std::string &marker = format_.null_marker;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < line.size() && line[end] != format_.delimiter) end += line[end] == '\\' ? 2 : 1;
        if (end > line.size()) end = line.size();
        copy_field &f = next_field();
        f.null = end - start == marker.size() && line.compare(start, marker.size(), marker) == 0;
        if (!f.null) decode_range(line.data() + start, end - start, &f.value);
        if (end >= line.size()) return;
        start = end + 1;
    }
}

void copy_reader::end_csv_field() {
    copy_field &f = fields_[count_ - 1];
    f.null = !quoted_ && f.value == format_.null_marker;
    if (f.null) f.value.clear();
}

// Quotes may open and close anywhere in a field; inside them the escape
// character stands before a quote or another escape, and a line end is
// part of the value. A field that never had quotes and equals the NULL
// marker is NULL.
void copy_reader::csv_line(const std::string &line) {
    if (in_quotes_) fields_[count_ - 1].value += '\n';
    else {
        count_ = 0;
        next_field();
        quoted_ = false;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        std::string &value = fields_[count_ - 1].value;
        if (!in_quotes_ && c == format_.delimiter) {
            end_csv_field();
            next_field();
            quoted_ = false;
        } else if (!in_quotes_ && c == format_.quote) in_quotes_ = quoted_ = true;
        else if (!in_quotes_) value += c;
        else if (c == format_.escape && i + 1 < line.size() && (line[i + 1] == format_.quote || line[i + 1] == format_.escape))
            value += line[++i];
        else if (c == format_.quote) in_quotes_ = false;
        else value += c;
    }
    if (!in_quotes_) end_csv_field();
}

bool copy_reader::add_line(const std::string &line) {
    if (format_.csv) csv_line(line);
    else if (ends_in_escape(line) || !carried_.empty()) {
        carried_ += line;
        if (ends_in_escape(line)) {
            carried_ += '\n';
            return false;
        }
        text_line(carried_);
        carried_.clear();
    } else text_line(line);
    if (in_quotes_) return false;
    if (!header_left_) return true;
    header_left_ = false; // the header names the columns: no row
    return false;
}
