// pg_statements.cpp - reads the words of a statement (outside comments,
// quotes and parentheses) to tell a PostgreSQL COPY through the client, and
// the changes of a setting that decides whether a backslash escapes in
// quotes: PostgreSQL's standard_conforming_strings, MariaDB's sql_mode.
#include "pg_statements.h"

#include <cctype>
#include <vector>

namespace {

bool is_word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

std::string upper(std::string s) {
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Where the quoted text, comment or dollar body that begins at i ends;
// i itself when none begins there.
size_t skip_quoted(const std::string &sql, size_t i) {
    if (sql.compare(i, 2, "--") == 0) return sql.find('\n', i) == std::string::npos ? sql.size() : sql.find('\n', i);
    if (sql.compare(i, 2, "/*") == 0) {
        int depth = 0; // comments nest
        size_t j = i;
        while (j + 1 < sql.size()) {
            if (sql.compare(j, 2, "/*") == 0) {
                ++depth;
                j += 2;
            } else if (sql.compare(j, 2, "*/") == 0) {
                j += 2;
                if (--depth == 0) return j;
            } else ++j;
        }
        return sql.size();
    }
    if (sql[i] == '$') {
        size_t j = i + 1;
        while (j < sql.size() && is_word_char(sql[j])) ++j;
        if (j >= sql.size() || sql[j] != '$') return i;
        size_t end = sql.find(sql.substr(i, j - i + 1), j + 1);
        return end == std::string::npos ? sql.size() : end + (j - i + 1);
    }
    return i;
}

// The statement's words and the texts of its quoted values and names,
// upper-cased, at the outermost level.
std::vector<std::string> outer_words(const std::string &sql) {
    std::vector<std::string> out;
    int parens = 0;
    size_t i = 0;
    while (i < sql.size()) {
        size_t skipped = skip_quoted(sql, i);
        char c = sql[i];
        if (skipped != i) i = skipped;
        else if (c == '\'' || c == '"') {
            size_t end = sql.find(c, i + 1);
            if (end == std::string::npos) end = sql.size();
            if (parens == 0) out.push_back(upper(sql.substr(i + 1, end - i - 1)));
            i = end + 1;
        } else if (is_word_char(c)) {
            size_t end = i;
            while (end < sql.size() && (is_word_char(sql[end]) || sql[end] == '$')) ++end;
            if (parens == 0) out.push_back(upper(sql.substr(i, end - i)));
            i = end;
        } else {
            parens += c == '(' ? 1 : c == ')' && parens > 0 ? -1 : 0;
            ++i;
        }
    }
    return out;
}

bool follows(const std::vector<std::string> &w, const char *first, const char *second) {
    for (size_t i = 0; i + 1 < w.size(); ++i)
        if (w[i] == first && w[i + 1] == second) return true;
    return false;
}

// The values PostgreSQL takes for a boolean setting.
struct boolean_word {
    const char *name;
    bool value;
};
const boolean_word boolean_words[] = {{"ON", true},  {"TRUE", true},   {"YES", true}, {"1", true},  {"T", true},
                                      {"Y", true},   {"OFF", false},   {"FALSE", false}, {"NO", false}, {"0", false},
                                      {"F", false},  {"N", false},     {"DEFAULT", true}};

} // namespace

client_copy client_copy_of(const std::string &sql) {
    std::vector<std::string> w = outer_words(sql);
    if (w.empty() || w[0] != "COPY") return client_copy::none;
    if (follows(w, "FROM", "STDIN")) return client_copy::from_stdin;
    if (follows(w, "TO", "STDOUT")) return client_copy::to_stdout;
    return client_copy::none;
}

std::string copy_to_stdout_refusal() {
    return "COPY ... TO STDOUT was not run: its rows would come through the client, which the library cannot "
           "read (the driver waits for ever). Use COPY ... TO 'file' to write a file on the server, or run the "
           "SELECT with --csv";
}

// SET LOCAL is left out: it lasts to the end of a transaction at most, and
// outside one it changes nothing.
bool sets_standard_strings(const std::string &sql, bool *on) {
    std::vector<std::string> w = outer_words(sql);
    size_t i = w.size() > 1 && w[1] == "SESSION" ? 2 : 1;
    if (w.size() == 2 && w[0] == "RESET" && (w[1] == "ALL" || w[1] == "STANDARD_CONFORMING_STRINGS")) {
        *on = true;
        return true;
    }
    if (w.empty() || w[0] != "SET" || i >= w.size() || w[i] != "STANDARD_CONFORMING_STRINGS") return false;
    if (i + 1 < w.size() && w[i + 1] == "TO") ++i;
    if (i + 2 != w.size()) return false;
    for (const boolean_word &b : boolean_words)
        if (w[i + 1] == b.name) {
            *on = b.value;
            return true;
        }
    return false;
}

bool sets_no_backslash_escapes(const std::string &sql, bool *on) {
    std::vector<std::string> w = outer_words(sql);
    size_t i = w.size() > 1 && w[1] == "SESSION" ? 2 : 1;
    if (w.size() != i + 2 || w[0] != "SET" || w[i] != "SQL_MODE") return false;
    std::string modes = "," + w[i + 1] + ",";
    *on = modes.find(",NO_BACKSLASH_ESCAPES,") != std::string::npos;
    return true;
}
