// splitter.cpp - the dialects' quoting rules, and the quote, comment and
// body states of the statement splitter.
#include "splitter.h"

#include <cctype>

#include "text.h"

namespace {

struct dialect_rules {
    sql_dialect value;
    const char *name;
    const char *driver_marks[4]; // parts of the driver's file name, lower case
    bool backslash_strings;      // '...' and "..." take backslash escapes
    bool escape_strings;         // E'...' takes backslash escapes
    bool dollar_quotes;          // $$ ... $$ and $tag$ ... $tag$
    bool hash_comments;          // # to the end of the line
};

const dialect_rules dialects[] = {
    {sql_dialect::standard, "standard SQL", {}, false, false, false, false},
    {sql_dialect::sqlite, "SQLite", {"sqlite"}, false, false, false, false},
    {sql_dialect::postgresql, "PostgreSQL", {"psql", "postgres", "pgsql"}, false, true, true, false},
    {sql_dialect::mariadb, "MariaDB", {"maodbc", "myodbc", "maria"}, true, false, false, true},
};

const dialect_rules &rules_of(sql_dialect d) { return entry_for(dialects, d); }

// Words that follow END without closing a BEGIN or CASE: END IF, END LOOP...
const char *const compound_ends[] = {"IF", "LOOP", "WHILE", "REPEAT", "FOR"};
// The objects whose CREATE statement may hold a body with semicolons, and
// objects whose names end the search for one (CREATE TABLE t (event TEXT)).
const char *const routine_kinds[] = {"TRIGGER", "PROCEDURE", "FUNCTION", "EVENT"};
const char *const other_kinds[] = {"TABLE", "VIEW", "INDEX", "SCHEMA", "DATABASE", "SEQUENCE", "TYPE", "DOMAIN"};
// A routine is named within this many words of its CREATE
// (CREATE OR REPLACE DEFINER = ann TEMPORARY TRIGGER ...).
const int routine_word_window = 8;

template <size_t N> bool is_one_of(const std::string &word, const char *const (&list)[N]) {
    for (const char *w : list)
        if (word == w) return true;
    return false;
}

bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// "$tag$" starting at i, or empty when line[i] begins none.
std::string dollar_tag_at(const std::string &line, size_t i) {
    size_t j = i + 1;
    while (j < line.size() && is_word_char(line[j])) ++j;
    if (j >= line.size() || line[j] != '$') return std::string();
    if (j > i + 1 && std::isdigit(static_cast<unsigned char>(line[i + 1]))) return std::string();
    return line.substr(i, j - i + 1);
}

} // namespace

sql_dialect dialect_of_driver(const std::string &driver_name) {
    std::string name;
    for (char c : driver_name) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const dialect_rules &d : dialects)
        for (const char *mark : d.driver_marks)
            if (mark != nullptr && name.find(mark) != std::string::npos) return d.value;
    return sql_dialect::standard;
}

const char *dialect_name(sql_dialect dialect) { return rules_of(dialect).name; }

void statement_splitter::start_over() {
    buffer_.clear();
    state_ = state::plain;
    word_.clear();
    words_ = 0;
    create_ = routine_ = after_end_ = false;
    depth_ = 0;
}

void statement_splitter::finish(std::vector<std::string> *done) {
    std::string statement = trim(buffer_);
    if (!statement.empty()) done->push_back(statement);
    start_over();
}

// END closes the innermost BEGIN or CASE of a body.
void statement_splitter::close_body() {
    after_end_ = false;
    if (depth_ > 0) --depth_;
}

// A word has ended: it may begin a routine, or open or close its body.
void statement_splitter::end_word() {
    if (word_.empty()) return;
    std::string word = word_;
    word_.clear();
    ++words_;
    if (after_end_ && is_one_of(word, compound_ends)) {
        after_end_ = false;
        return;
    }
    if (after_end_) {
        close_body();
        if (word == "CASE") return; // END CASE closes the CASE
    }
    if (words_ == 1) create_ = word == "CREATE";
    else if (create_ && !routine_ && words_ <= routine_word_window) {
        routine_ = is_one_of(word, routine_kinds);
        create_ = !is_one_of(word, other_kinds);
    }
    if (!routine_) return;
    if (word == "BEGIN" || word == "CASE") ++depth_;
    else if (word == "END") after_end_ = true;
}

// One character (or a closing tag) inside quotes, a comment or a dollar body.
size_t statement_splitter::quoted(const std::string &line, size_t i) {
    char c = line[i];
    char next = i + 1 < line.size() ? line[i + 1] : '\0';
    if (state_ == state::block_comment) {
        if (c != '*' || next != '/') return i + 1;
        state_ = state::plain;
        buffer_ += ' ';
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
    static const char closing[] = {'\'', '"', '`'};
    static const state closes[] = {state::single_quote, state::double_quote, state::back_quote};
    for (size_t k = 0; k < sizeof closing; ++k)
        if (state_ == closes[k] && c == closing[k]) state_ = state::plain;
    return i + 1;
}

// One character outside quotes; returns where to go on.
size_t statement_splitter::plain(const std::string &line, size_t i, std::vector<std::string> *done,
                                 std::string *command) {
    const dialect_rules &rules = rules_of(dialect_);
    char c = line[i];
    char next = i + 1 < line.size() ? line[i + 1] : '\0';
    if (is_word_char(c)) {
        word_ += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        buffer_ += c;
        return i + 1;
    }
    bool escape_prefix = word_ == "E";
    bool after_word = !word_.empty();
    end_word();
    if ((c == '-' && next == '-') || (c == '#' && rules.hash_comments)) return line.size();
    if (c == '\\') {
        *command = line.substr(i);
        return line.size();
    }
    if (c == '/' && next == '*') {
        state_ = state::block_comment;
        return i + 2;
    }
    if (c == ';' && after_end_) close_body();
    if (c == ';' && depth_ == 0) {
        finish(done);
        return i + 1;
    }
    if (c == '$' && rules.dollar_quotes && !after_word && (dollar_tag_ = dollar_tag_at(line, i)).size() > 0) {
        buffer_ += dollar_tag_;
        state_ = state::dollar_quote;
        return i + dollar_tag_.size();
    }
    buffer_ += c;
    if (c == '\'' || c == '"') {
        state_ = c == '\'' ? state::single_quote : state::double_quote;
        escapes_ = rules.backslash_strings || (c == '\'' && rules.escape_strings && escape_prefix);
    } else if (c == '`') {
        state_ = state::back_quote;
        escapes_ = false;
    }
    return i + 1;
}

void statement_splitter::add_line(const std::string &line, std::vector<std::string> *done, std::string *command) {
    command->clear();
    if (!buffer_.empty()) buffer_ += '\n';
    size_t i = 0;
    while (i < line.size()) i = state_ == state::plain ? plain(line, i, done, command) : quoted(line, i);
    if (state_ == state::plain) end_word();
}

bool statement_splitter::pending() const { return !trim(buffer_).empty() || inside_text(); }

std::string statement_splitter::take_pending() {
    std::string rest = trim(buffer_);
    start_over();
    return rest;
}
