// copy_command.cpp - takes a COPY ... FROM STDIN statement apart into
// tokens (words, "names", 'texts' and E'texts', signs; comments skipped)
// and reads its table, column list and options.
#include "copy_command.h"

#include <cctype>
#include <vector>

#include "copy_data.h"
#include "text.h"

namespace {

struct token {
    enum kind_t { word, name, text, sign } kind;
    std::string raw;   // as written
    std::string value; // a word upper-cased; a text without its quotes and escapes
};

bool is_word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string upper(std::string s) {
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// An unquoted name as the server folds it.
std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Where the blanks and comments from i on end.
size_t skip_blanks(const std::string &sql, size_t i) {
    for (;;) {
        while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i])) != 0) ++i;
        if (sql.compare(i, 2, "--") == 0) {
            i = sql.find('\n', i);
            if (i == std::string::npos) return sql.size();
        } else if (sql.compare(i, 2, "/*") == 0) {
            int depth = 0; // comments nest
            do {
                if (sql.compare(i, 2, "/*") == 0) ++depth, i += 2;
                else if (sql.compare(i, 2, "*/") == 0) --depth, i += 2;
                else ++i;
            } while (depth > 0 && i < sql.size());
        } else return i;
    }
}

// The quoted text or name that opens at sql[i]; its end in *end. A quote
// inside is doubled; with escapes, backslash sequences are read as a COPY
// field reads them. A quote that never closes ends at the end of sql, with
// *end there too and *unclosed set.
std::string quoted_value(const std::string &sql, size_t i, bool escapes, size_t *end, bool *unclosed) {
    char quote = sql[i];
    std::string raw;
    size_t j = i + 1;
    for (; j < sql.size(); ++j) {
        if (escapes && sql[j] == '\\' && j + 1 < sql.size()) raw += sql[j++];
        else if (sql[j] == quote && j + 1 < sql.size() && sql[j + 1] == quote) ++j;
        else if (sql[j] == quote) break;
        raw += sql[j];
    }
    *unclosed = *unclosed || j == sql.size();
    *end = j < sql.size() ? j + 1 : j;
    if (!escapes) return raw;
    std::string value;
    decode_copy_escapes(raw, &value);
    return value;
}

std::vector<token> tokens_of(const std::string &sql, bool *unclosed) {
    std::vector<token> out;
    size_t i = skip_blanks(sql, 0);
    while (i < sql.size()) {
        size_t end = i + 1;
        char c = sql[i];
        bool escape_text = (c == 'E' || c == 'e') && i + 1 < sql.size() && sql[i + 1] == '\'';
        if (escape_text) {
            std::string value = quoted_value(sql, i + 1, true, &end, unclosed);
            out.push_back({token::text, sql.substr(i, end - i), value});
        } else if (c == '\'' || c == '"') {
            std::string value = quoted_value(sql, i, false, &end, unclosed);
            out.push_back({c == '\'' ? token::text : token::name, sql.substr(i, end - i), value});
        } else if (is_word_char(c)) {
            while (end < sql.size() && is_word_char(sql[end])) ++end;
            out.push_back({token::word, sql.substr(i, end - i), upper(sql.substr(i, end - i))});
        } else out.push_back({token::sign, std::string(1, c), std::string(1, c)});
        i = skip_blanks(sql, end);
    }
    return out;
}

enum class option { format, delimiter, null_marker, header, quote, escape };

struct named_option {
    const char *name;
    option value;
};

const named_option option_names[] = {{"FORMAT", option::format}, {"DELIMITER", option::delimiter},
                                     {"NULL", option::null_marker}, {"HEADER", option::header},
                                     {"QUOTE", option::quote},   {"ESCAPE", option::escape}};

struct switch_value {
    const char *name;
    bool value;
};

const switch_value header_values[] = {{"TRUE", true}, {"ON", true},   {"1", true}, {"MATCH", true},
                                      {"FALSE", false}, {"OFF", false}, {"0", false}};

// The options given, before the defaults of the format fill in the rest.
struct given_options {
    std::string format = "TEXT";
    bool header = false;
    bool header_match = false;
    bool set[6] = {};     // by option
    std::string text[6];  // delimiter, null, quote, escape as given
};

class command_reader {
public:
    explicit command_reader(const std::string &sql) : t_(tokens_of(sql, &unclosed_)) {}
    bool read(copy_command *c, std::string *problem);

private:
    const token *peek() const { return i_ < t_.size() ? &t_[i_] : nullptr; }
    bool is(const char *v) const { return peek() != nullptr && peek()->kind != token::text && peek()->value == v; }
    bool take(const char *v) { return is(v) ? (++i_, true) : false; }
    bool fail(const std::string &why) {
        if (problem_->empty()) *problem_ = why;
        return false;
    }
    bool table(copy_command *c);
    bool column_list(copy_command *c);
    bool option_list();
    bool keyword_options();
    bool set_option(const std::string &name, const token *value);
    bool apply(copy_format *f);

    bool unclosed_ = false; // a quote in the statement never closes
    std::vector<token> t_;
    size_t i_ = 0;
    std::string *problem_ = nullptr;
    given_options given_;
};

bool command_reader::table(copy_command *c) {
    do {
        const token *t = peek();
        if (t == nullptr || (t->kind != token::word && t->kind != token::name)) return fail("no table follows COPY");
        c->table += (c->table.empty() ? "" : ".") + t->raw;
        ++i_;
    } while (take("."));
    return true;
}

bool command_reader::column_list(copy_command *c) {
    if (!take("(")) return true;
    for (; peek() != nullptr && !is(")"); ++i_) {
        const token &t = *peek();
        c->columns += (c->columns.empty() ? "" : is(",") ? "" : " ") + t.raw;
        if (t.kind == token::name) c->column_names.push_back(t.value);
        else if (t.kind == token::word) c->column_names.push_back(lower(t.raw));
        else if (!is(",")) return fail("the column list cannot hold " + t.raw);
    }
    return take(")") || fail("the column list has no closing parenthesis");
}

bool command_reader::set_option(const std::string &name, const token *value) {
    option which;
    if (!value_named(option_names, name, &which))
        return fail("the shell does not load COPY data with the option " + name);
    size_t k = static_cast<size_t>(which);
    if (given_.set[k]) return fail("COPY option " + name + " is given twice");
    given_.set[k] = true;
    if (which == option::header) {
        given_.header = true; // HEADER alone
        given_.header_match = value != nullptr && value->value == "MATCH";
        return value == nullptr || value_named(header_values, value->value, &given_.header) ||
               fail("HEADER takes true, false or match");
    }
    if (value == nullptr) return fail("COPY option " + name + " needs a value");
    if (which == option::format) given_.format = value->kind == token::word ? value->value : upper(value->value);
    else if (value->kind != token::text) return fail("COPY option " + name + " takes a quoted text");
    given_.text[k] = value->value;
    return true;
}

// WITH (FORMAT csv, HEADER, DELIMITER ',', ...)
bool command_reader::option_list() {
    do {
        const token *name = peek();
        if (name == nullptr || name->kind != token::word) return fail("an option of COPY has no name");
        ++i_;
        const token *value = is(",") || is(")") ? nullptr : peek();
        if (value != nullptr) ++i_;
        if (!set_option(name->value, value)) return false;
    } while (take(","));
    return take(")") || fail("the option list has no closing parenthesis");
}

// The older form: [WITH] [BINARY] [DELIMITER [AS] 'x'] [NULL [AS] 'x'] [CSV [HEADER] [QUOTE [AS] 'x'] [ESCAPE [AS] 'x']]
bool command_reader::keyword_options() {
    while (peek() != nullptr && !is(";")) {
        const token *word = peek();
        ++i_;
        if (word->kind != token::word) return fail("COPY cannot have " + word->raw + " here");
        if (word->value == "CSV" || word->value == "BINARY") {
            if (!set_option("FORMAT", word)) return false;
            continue;
        }
        if (word->value == "HEADER") {
            if (!set_option("HEADER", nullptr)) return false;
            continue;
        }
        take("AS");
        const token *value = peek();
        if (value != nullptr) ++i_;
        if (!set_option(word->value, value)) return false;
    }
    return true;
}

// One character of a delimiter, quote or escape.
bool single_byte(const std::string &given, const char *what, char *out, std::string *problem) {
    if (given.size() != 1) {
        *problem = std::string("the COPY ") + what + " must be a single one-byte character";
        return false;
    }
    *out = given[0];
    return true;
}

bool command_reader::apply(copy_format *f) {
    const given_options &g = given_;
    const size_t delimiter = static_cast<size_t>(option::delimiter), null_marker = static_cast<size_t>(option::null_marker),
                 quote = static_cast<size_t>(option::quote), escape = static_cast<size_t>(option::escape);
    if (g.format == "BINARY") return fail("the shell does not load COPY data in the binary format");
    if (g.format != "TEXT" && g.format != "CSV") return fail("COPY format " + g.format + " is not recognized");
    f->csv = g.format == "CSV";
    f->header = g.header;
    f->header_match = g.header_match;
    if (!f->csv && (g.set[quote] || g.set[escape])) return fail("COPY QUOTE and ESCAPE are for the CSV format only");
    if (f->csv) f->delimiter = ',', f->null_marker = "";
    if (g.set[delimiter] && !single_byte(g.text[delimiter], "delimiter", &f->delimiter, problem_)) return false;
    if (g.set[quote] && !single_byte(g.text[quote], "quote", &f->quote, problem_)) return false;
    f->escape = f->quote;
    if (g.set[escape] && !single_byte(g.text[escape], "escape", &f->escape, problem_)) return false;
    if (g.set[null_marker]) f->null_marker = g.text[null_marker];
    if (f->delimiter == '\n' || f->delimiter == '\r' || (!f->csv && f->delimiter == '\\'))
        return fail("the COPY delimiter cannot be a line break or, in the text format, a backslash");
    if (f->null_marker.find_first_of("\r\n") != std::string::npos)
        return fail("the COPY NULL marker cannot hold a line break");
    if (f->null_marker.find(f->delimiter) != std::string::npos)
        return fail("the COPY delimiter must not appear in the NULL marker");
    if (f->csv && f->delimiter == f->quote) return fail("the COPY delimiter and quote must differ");
    if (f->csv && f->null_marker.find(f->quote) != std::string::npos)
        return fail("the CSV quote character must not appear in the NULL marker");
    return true;
}

bool command_reader::read(copy_command *c, std::string *problem) {
    problem_ = problem;
    if (unclosed_) return fail("a quote in the COPY statement never closes");
    if (!take("COPY") || !table(c) || !column_list(c)) return fail("the COPY statement names no table");
    if (!take("FROM") || !take("STDIN")) return fail("the shell loads the data of COPY table FROM STDIN only");
    bool listed = (take("WITH"), take("("));
    if (listed ? !option_list() : !keyword_options()) return false;
    take(";");
    if (peek() != nullptr) return fail("COPY cannot have " + peek()->raw + " here");
    return apply(&c->format);
}

} // namespace

bool read_copy_command(const std::string &sql, copy_command *command, std::string *problem) {
    *command = copy_command();
    problem->clear();
    return command_reader(sql).read(command, problem);
}
