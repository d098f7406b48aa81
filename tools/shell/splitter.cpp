// splitter.cpp - the statement splitter: quotes, comments, terminators and
// line commands, read as each database's own client reads them.
#include "splitter.h"

#include <algorithm>
#include <cctype>
#include <cstring>


namespace {

const std::string semicolon = ";";

bool is_word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

char at(const std::string &line, size_t i) { return i < line.size() ? line[i] : '\0'; }

// What must follow "--" for MariaDB to take it as a comment (the end of the
// line counts).
bool space_or_control(char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; }

// The first character at or after i that is not a space or tab.
char next_sign(const std::string &line, size_t i) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return at(line, i);
}

// "$tag$" starting at i, or empty when line[i] begins none.
std::string dollar_tag_at(const std::string &line, size_t i) {
    size_t j = i + 1;
    while (j < line.size() && is_word_char(line[j])) ++j;
    if (j >= line.size() || line[j] != '$') return std::string();
    if (j > i + 1 && std::isdigit(static_cast<unsigned char>(line[i + 1]))) return std::string();
    return line.substr(i, j - i + 1);
}

// The first word of a line, split at spaces and tabs.
std::string first_word(const std::string &line) {
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = line.find_first_of(" \t", b);
    return line.substr(b, e == std::string::npos ? std::string::npos : e - b);
}

std::string without_leading_spaces(const std::string &s) {
    size_t i = s.find_first_not_of(" \t\r\n\f\v");
    return i == std::string::npos ? std::string() : s.substr(i);
}

std::string without_trailing_spaces(const std::string &s) {
    size_t i = s.find_last_not_of(" \t\r\n\f\v");
    return i == std::string::npos ? std::string() : s.substr(0, i + 1);
}

// The argument of DELIMITER as the mariadb client reads it: a word, or a
// text in quotes in which a doubled quote stands for one. Empty when none.
std::string delimiter_argument(const std::string &rest) {
    size_t i = rest.find_first_not_of(" \t");
    if (i == std::string::npos) return std::string();
    char quote = rest[i];
    if (quote != '\'' && quote != '"' && quote != '`') return rest.substr(i, rest.find_first_of(" \t", i) - i);
    std::string value;
    for (size_t j = i + 1; j < rest.size(); ++j) {
        if (rest[j] != quote) value += rest[j];
        else if (at(rest, j + 1) == quote) value += rest[j++];
        else return value;
    }
    return std::string(); // no closing quote
}

} // namespace

const std::string &statement_splitter::terminator() const {
    return rules().delimiter_command ? delimiter_ : semicolon;
}

void statement_splitter::start_over() {
    buffer_.clear();
    content_ = executable_ = kept_comment_ = false;
    state_ = state::plain;
    comment_depth_ = 0;
    word_.clear();
    body_.start(dialect_);
}

void statement_splitter::finish(split_line *out, const std::string &rest_of_line) {
    std::string statement = without_leading_spaces(buffer_ + rest_of_line);
    if (!rules().keeps_end_spaces) statement = without_trailing_spaces(statement);
    if (content_) out->statements.push_back(statement);
    start_over();
}

// A word has ended before line[i].
void statement_splitter::end_word(const std::string &line, size_t i) {
    if (word_.empty()) return;
    body_.word(word_, next_sign(line, i));
    word_.clear();
}

// DELIMITER x (or the client's short form \d x), a line of its own while no
// statement is pending (MariaDB): x, one or more characters, ends
// statements from now on.
bool statement_splitter::delimiter_command(const std::string &line, split_line *out) {
    if (!rules().delimiter_command || pending()) return false;
    std::string first = first_word(line);
    bool short_form = first == "\\d";
    for (char &c : first) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (first != "DELIMITER" && !short_form) return false;
    std::string value = delimiter_argument(line.substr(line.find_first_not_of(" \t") + first.size()));
    if (value.empty()) out->problem = "DELIMITER must be followed by the delimiter: one or more characters";
    else if (value.find('\\') != std::string::npos)
        out->problem = "a delimiter cannot hold a backslash, which begins the shell's commands";
    else delimiter_ = value;
    return true;
}

// A command of the database's own client that takes the whole line, read
// only while no statement is pending: "source FILE" (any case) for the
// mariadb client, ".mode csv" and the like for sqlite3.
bool statement_splitter::client_line_command(const std::string &line, split_line *out) {
    const dialect_rules &r = rules();
    size_t n = std::strlen(r.line_command);
    size_t start = r.line_command_at_first_column ? 0 : line.find_first_not_of(" \t");
    if (n == 0 || start == std::string::npos || line.size() - start < n || pending()) return false;
    for (size_t k = 0; k < n; ++k)
        if (std::tolower(static_cast<unsigned char>(line[start + k])) != r.line_command[k]) return false;
    if (is_word_char(r.line_command[n - 1]) && is_word_char(at(line, start + n))) return false;
    out->command = line.substr(start);
    return true;
}

// A comment to the end of the line. Before a statement it is no part of
// it; inside one the server gets it with the rest.
size_t statement_splitter::line_comment(const std::string &line, size_t i) {
    if (holds_text() && !rules().drops_comments) buffer_.append(line, i, std::string::npos);
    return line.size();
}

size_t statement_splitter::block_comment_start(const std::string &line, size_t i) {
    size_t mark = at(line, i + 2) == '!' ? 1 : line.compare(i + 2, 2, "M!") == 0 ? 2 : 0;
    if (rules().delimiter_command && mark > 0) {
        // MariaDB runs the text of /*! ... */ and /*M! ... */; the server
        // version after the mark is no word of the statement.
        size_t j = i + 2 + mark;
        while (std::isdigit(static_cast<unsigned char>(at(line, j))) != 0) ++j;
        buffer_ += line.substr(i, j - i);
        executable_ = content_ = true;
        return j;
    }
    if (!rules().drops_comments) {
        buffer_ += "/*";
        kept_comment_ = true;
    }
    state_ = state::block_comment;
    comment_depth_ = 1;
    return i + 2;
}

// The terminator at i: the statement ends, unless a semicolon stands in a
// body. The mariadb client sends a comment that follows on the same line
// with the statement.
size_t statement_splitter::terminate(const std::string &line, size_t i, split_line *out) {
    size_t after = i + terminator().size();
    if (terminator() == semicolon && !body_.semicolon()) {
        buffer_ += ';';
        return after;
    }
    if (!rules().delimiter_command) {
        finish(out, std::string());
        return after;
    }
    size_t j = line.find_first_not_of(" \t", after);
    bool comment = j != std::string::npos &&
                   (line[j] == '#' || (line.compare(j, 2, "--") == 0 && space_or_control(at(line, j + 2))));
    finish(out, comment ? line.substr(after) : std::string());
    return comment ? line.size() : after;
}

void statement_splitter::open_quote(char c, bool escape_prefix) {
    const dialect_rules &r = rules();
    static const char openings[] = {'\'', '"', '`', '['};
    static const state opens[] = {state::single_quote, state::double_quote, state::back_quote, state::bracket};
    for (size_t k = 0; k < sizeof openings; ++k)
        if (c == openings[k]) state_ = opens[k];
    bool escape_string = r.escape_strings && (escape_prefix || !standard_strings_);
    bool backslash_strings = r.backslash_strings && !no_backslash_escapes_;
    escapes_ = (c != '`' && c != '[' && backslash_strings) || (c == '\'' && escape_string);
}

// A backslash outside quotes: a shell command to the end of the line,
// apart from what the mariadb client reads there itself.
size_t statement_splitter::backslash(const std::string &line, size_t i, split_line *out) {
    char next = at(line, i + 1);
    bool mariadb = rules().delimiter_command;
    if (next == '-' && executable_) return i + 2; // mariadb-dump's "sandbox mode" line: nothing to do
    if (mariadb && (next == 'g' || next == 'G') && !is_word_char(at(line, i + 2))) {
        finish(out, std::string()); // \g and \G send the statement, as the delimiter does
        return i + 2;
    }
    if (mariadb && next == 'N') { // NULL, which the client sends as written
        buffer_ += "\\N";
        content_ = true;
        body_.sign('\'');
        return i + 2;
    }
    out->command = line.substr(i);
    return line.size();
}

// One character outside quotes and comments; returns where to go on.
size_t statement_splitter::plain(const std::string &line, size_t i, split_line *out) {
    const dialect_rules &r = rules();
    char c = line[i];
    char next = at(line, i + 1);
    const std::string &end = terminator();
    if (c == end[0] && line.compare(i, end.size(), end) == 0) {
        end_word(line, i);
        return terminate(line, i, out);
    }
    // A '$' goes on a name (a$b), not a number: after 1 it opens a dollar quote.
    bool after_name = !word_.empty() && std::isdigit(static_cast<unsigned char>(word_[0])) == 0;
    if (is_word_char(c) || (c == '$' && after_name)) {
        word_ += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        buffer_ += c;
        content_ = true;
        return i + 1;
    }
    bool escape_prefix = word_ == "E";
    end_word(line, i);
    // The mariadb client takes "--" before a statement for a comment even
    // without the space that the server needs.
    bool dash_comment = !r.dash_comment_needs_space || space_or_control(at(line, i + 2)) || !holds_text();
    if (c == '-' && next == '-' && dash_comment) return line_comment(line, i);
    if (c == '#' && r.hash_comments) return line_comment(line, i);
    if (c == '/' && next == '*') return block_comment_start(line, i);
    if (c == '*' && next == '/' && executable_) {
        executable_ = false;
        buffer_ += "*/";
        return i + 2;
    }
    if (c == '\\') return backslash(line, i, out);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        buffer_ += c;
        return i + 1;
    }
    content_ = true;
    if (c == '$' && r.dollar_quotes && !after_name && !(dollar_tag_ = dollar_tag_at(line, i)).empty()) {
        body_.sign('\'');
        buffer_ += dollar_tag_;
        state_ = state::dollar_quote;
        return i + dollar_tag_.size();
    }
    buffer_ += c;
    bool quote = c == '\'' || c == '"' || (c == '`' && r.backtick_names) || (c == '[' && r.bracket_names);
    if (quote) open_quote(c, escape_prefix);
    body_.sign(quote ? '\'' : c);
    return i + 1;
}

// The characters that may end (or escape in) the quoted text, comment or
// body that is open: the others go into the statement as they are.
const char *statement_splitter::quoted_stops() const {
    struct stops {
        state in;
        const char *plain;
        const char *escaped;
    };
    static const stops table[] = {
        {state::single_quote, "'", "'\\"}, {state::double_quote, "\"", "\"\\"}, {state::back_quote, "`", "`"},
        {state::bracket, "]", "]"},        {state::block_comment, "*/", "*/"},   {state::dollar_quote, "$", "$"},
    };
    for (const stops &t : table)
        if (t.in == state_) return escapes_ ? t.escaped : t.plain;
    return "";
}

// Text inside quotes, a comment or a dollar body up to the next character
// that may end it, taken in one piece so that a long literal costs one
// copy; or that one character (or a closing tag).
size_t statement_splitter::quoted(const std::string &line, size_t i) {
    size_t stop = std::min(line.find_first_of(quoted_stops(), i), line.size());
    if (stop > i) {
        if (state_ != state::block_comment || !rules().drops_comments) buffer_.append(line, i, stop - i);
        return stop;
    }
    char c = line[i];
    char next = at(line, i + 1);
    if (state_ == state::block_comment) {
        bool opens = rules().nested_comments && c == '/' && next == '*';
        bool closes = c == '*' && next == '/';
        bool kept = !rules().drops_comments;
        if (!opens && !closes) {
            if (kept) buffer_ += c;
            return i + 1;
        }
        if (kept) buffer_ += line.substr(i, 2);
        comment_depth_ += opens ? 1 : -1;
        if (comment_depth_ > 0) return i + 2;
        state_ = state::plain;
        if (!kept) buffer_ += ' '; // a left-out comment still parts the words around it
        return i + 2;
    }
    if (state_ == state::dollar_quote) {
        if (line.compare(i, dollar_tag_.size(), dollar_tag_) != 0) {
            buffer_ += c;
            return i + 1;
        }
        buffer_ += dollar_tag_;
        state_ = state::plain;
        return i + dollar_tag_.size();
    }
    buffer_ += c;
    if (escapes_ && c == '\\' && i + 1 < line.size()) {
        buffer_ += next;
        return i + 2;
    }
    static const char closing[] = {'\'', '"', '`', ']'};
    static const state closes[] = {state::single_quote, state::double_quote, state::back_quote, state::bracket};
    for (size_t k = 0; k < sizeof closing; ++k)
        if (state_ == closes[k] && c == closing[k]) state_ = state::plain;
    return i + 1;
}

void statement_splitter::add_line(const std::string &text, split_line *out) {
    out->statements.clear();
    out->command.clear();
    out->problem.clear();
    // The CR of a CR LF line end belongs to the line end...
    bool cr = !text.empty() && text.back() == '\r';
    std::string without_cr;
    const std::string &line = cr ? (without_cr = text.substr(0, text.size() - 1)) : text;
    if (copy_data_) {
        copy_data_ = line != "\\.";
        return;
    }
    if (buffer_.empty()) body_.start(dialect_);
    if (delimiter_command(line, out) || client_line_command(line, out)) return;
    if (line.empty() && state_ == state::plain && rules().drops_empty_lines) return;
    if (!buffer_.empty()) buffer_ += '\n';
    size_t before = buffer_.size();
    size_t i = 0;
    while (i < line.size() && out->command.empty())
        i = state_ == state::plain ? plain(line, i, out) : quoted(line, i);
    // A line of nothing but a shell command adds no line break to a statement.
    if (!out->command.empty() && buffer_.size() == before && before > 0 && buffer_.back() == '\n') buffer_.pop_back();
    if (state_ == state::plain) end_word(line, line.size());
    // ...except in a literal that goes on on the next line, where psql sends
    // it with the text.
    bool literal = state_ != state::plain && state_ != state::block_comment;
    if (cr && literal && rules().keeps_literal_cr) buffer_ += '\r';
    if (!holds_text() && !inside_text()) buffer_.clear();
}

bool statement_splitter::inside_text() const { return state_ != state::plain || executable_ || body_.open(); }

bool statement_splitter::pending() const { return holds_text() || inside_text(); }

std::string statement_splitter::take_pending() {
    split_line out;
    finish(&out, std::string());
    return out.statements.empty() ? std::string() : out.statements[0];
}
