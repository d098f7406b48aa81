// bodies.cpp - the body rules of the dialects: psql's for PostgreSQL,
// MariaDB's compound statements (also used for standard SQL), and the state
// machine of SQLite's sqlite3_complete().
#include "bodies.h"

#include <cctype>

namespace {

template <size_t N> bool is_one_of(const std::string &word, const char *const (&list)[N]) {
    for (const char *w : list)
        if (word == w) return true;
    return false;
}

// --- MariaDB ---------------------------------------------------------------

// Statements that open a block closed by END (END IF, END LOOP...) when they
// begin a statement; CASE opens one anywhere.
const char *const block_openers[] = {"IF", "LOOP", "REPEAT", "WHILE", "FOR", "CASE"};
// The words after which a statement begins inside a compound statement.
const char *const statement_starts[] = {"", ";", ":", "BEGIN", "THEN", "ELSE", "DO", "ROW", "LOOP", "REPEAT", ")"};
// The objects whose CREATE statement holds a compound statement, and those
// whose names end the search for one (CREATE TABLE t (event TEXT)).
const char *const routine_kinds[] = {"PROCEDURE", "FUNCTION", "TRIGGER", "EVENT"};
const char *const other_kinds[] = {"TABLE",    "VIEW", "INDEX", "SCHEMA", "DATABASE",
                                   "SEQUENCE", "USER", "ROLE",  "SERVER"};
// The object is named within this many words of CREATE
// (CREATE OR REPLACE DEFINER = ann @ host AGGREGATE FUNCTION ...).
const int kind_word_window = 10;
// After these, END or BEGIN is a name, not a keyword (DECLARE end
// INT; SET end = end + 1; SELECT begin FROM t).
const char *const name_positions[] = {"DECLARE", "SET", "SELECT", "WHERE", "AND", "OR", "BY", "ON", "IN", "OUT",
                                      "INOUT",   "INTO", ".",     "=",     ",",   "(",  "@",  "+",  "-",  "*",
                                      "/",       "<",    ">",     "!"};

// --- SQLite: sqlite3_complete() ----------------------------------------------

enum sqlite_token { tk_semi, tk_ws, tk_other, tk_explain, tk_create, tk_temp, tk_trigger, tk_end };
const char *const sqlite_keywords[] = {"", "", "", "EXPLAIN", "CREATE", "TEMP", "TRIGGER", "END"};
// States: 0 nothing yet, 1 at a statement's end, 2 in a statement, 3 after
// EXPLAIN, 4 after CREATE [TEMP], 5 in a trigger, 6 after its ';', 7 after
// its ";END". A statement is complete in state 1.
const int sqlite_moves[8][8] = {
    /*            semi ws other explain create temp trigger end */
    /* 0 */ {1, 0, 2, 3, 4, 2, 2, 2},
    /* 1 */ {1, 1, 2, 3, 4, 2, 2, 2},
    /* 2 */ {1, 2, 2, 2, 2, 2, 2, 2},
    /* 3 */ {1, 3, 3, 2, 4, 2, 2, 2},
    /* 4 */ {1, 4, 2, 2, 2, 4, 5, 2},
    /* 5 */ {6, 5, 5, 5, 5, 5, 5, 5},
    /* 6 */ {6, 6, 5, 5, 5, 5, 5, 7},
    /* 7 */ {1, 7, 5, 5, 5, 5, 5, 5},
};

int sqlite_token_of(const std::string &word) {
    if (word == "TEMPORARY") return tk_temp;
    for (int t = tk_explain; t <= tk_end; ++t)
        if (word == sqlite_keywords[t]) return t;
    return tk_other;
}

} // namespace

void body_tracker::start(sql_dialect dialect) {
    *this = body_tracker();
    dialect_ = dialect;
}

void body_tracker::word(const std::string &upper, char next) {
    if (dialect_ == sql_dialect::postgresql) postgresql_word(upper);
    else if (dialect_ == sql_dialect::sqlite) sqlite_token(sqlite_token_of(upper));
    else mariadb_word(upper, next);
    previous_ = upper;
}

void body_tracker::sign(char c) {
    if (c == '(') ++parens_;
    else if (c == ')' && parens_ > 0) --parens_;
    if (dialect_ == sql_dialect::sqlite) sqlite_token(tk_other);
    previous_ = std::string(1, c);
}

bool body_tracker::semicolon() {
    bool ends;
    if (dialect_ == sql_dialect::postgresql) ends = parens_ == 0 && begin_depth_ == 0;
    else if (dialect_ == sql_dialect::sqlite) {
        sqlite_token(tk_semi);
        ends = sqlite_state_ == 1;
    } else ends = blocks_.empty();
    previous_ = ";";
    after_end_ = routine_head_ = false;
    return ends;
}

bool body_tracker::open() const {
    if (dialect_ == sql_dialect::postgresql) return parens_ > 0 || begin_depth_ > 0;
    if (dialect_ == sql_dialect::sqlite) return sqlite_state_ >= 5;
    return !blocks_.empty();
}

// As psql: within CREATE [OR REPLACE] FUNCTION or PROCEDURE, BEGIN (BEGIN
// ATOMIC) opens a body outside parentheses, CASE inside one opens a level
// more, and END closes one. Only words that begin with a letter count.
void body_tracker::postgresql_word(const std::string &word) {
    if (std::isdigit(static_cast<unsigned char>(word[0])) != 0) return;
    static const char *const leading_words[] = {"CREATE", "FUNCTION", "PROCEDURE", "OR", "REPLACE"};
    if (is_one_of(word, leading_words) && words_ < 4) leading_[words_] = word[0];
    ++words_;
    const char *l = leading_;
    bool or_replace = l[1] == 'O' && l[2] == 'R';
    bool routine = l[0] == 'C' && (l[1] == 'F' || l[1] == 'P' || (or_replace && (l[3] == 'F' || l[3] == 'P')));
    if (!routine || parens_ > 0) return;
    if (word == "BEGIN") ++begin_depth_;
    else if (word == "CASE" && begin_depth_ >= 1) ++begin_depth_;
    else if (word == "END" && begin_depth_ > 0) --begin_depth_;
}

void body_tracker::sqlite_token(int token) { sqlite_state_ = sqlite_moves[sqlite_state_][token]; }

// What the first words make of a MariaDB statement: a compound statement
// (BEGIN NOT ATOMIC, IF, CASE, LOOP, REPEAT, WHILE, FOR, each after an
// optional label), a routine, trigger or event, a package, or a plain one.
void body_tracker::mariadb_classify(const std::string &word) {
    if (kind_ == mariadb_kind::maybe_block) {
        kind_ = word == "NOT" ? mariadb_kind::compound : mariadb_kind::plain;
        if (kind_ == mariadb_kind::compound) blocks_.push_back('B');
        return;
    }
    bool first = words_ == 1;
    if (first && word == "BEGIN") kind_ = mariadb_kind::maybe_block;
    else if (first && is_one_of(word, block_openers)) kind_ = mariadb_kind::compound;
    else if (first && word != "CREATE") kind_ = mariadb_kind::plain;
    else if (is_one_of(word, routine_kinds)) kind_ = mariadb_kind::compound;
    else if (word == "PACKAGE") kind_ = mariadb_kind::package;
    else if (is_one_of(word, other_kinds) || words_ > kind_word_window) kind_ = mariadb_kind::plain;
}

// END and BEGIN are names where a name is expected (CASE is reserved).
bool body_tracker::mariadb_names(const std::string &word, char next) const {
    if (word != "END" && word != "BEGIN") return false;
    return next == ':' || next == '.' || is_one_of(previous_, name_positions);
}

// Opening and closing blocks of a compound statement. Words inside
// parentheses never do: a CASE ... END there is balanced by itself.
void body_tracker::mariadb_word(const std::string &word, char next) {
    if (parens_ > 0) return;
    ++words_;
    if (words_ == 1 && next == ':') {
        words_ = 0; // a label: the statement proper comes after it
        return;
    }
    if (kind_ == mariadb_kind::unknown || kind_ == mariadb_kind::maybe_block) mariadb_classify(word);
    if (kind_ != mariadb_kind::compound && kind_ != mariadb_kind::package) return;
    if (after_end_) {
        after_end_ = false;
        if (is_one_of(word, block_openers)) return; // END IF, END CASE...
    }
    if (mariadb_names(word, next)) return;
    bool starts = is_one_of(previous_, statement_starts) && !(word == "FOR" && previous_ == ")");
    if (word == "END") {
        if (!blocks_.empty()) blocks_.pop_back();
        after_end_ = true;
    } else if (word == "BEGIN" && !blocks_.empty() && blocks_.back() == 'D') {
        blocks_.back() = 'B'; // the body after a package's or its routine's declarations
    } else if (word == "BEGIN" || word == "CASE" || (starts && next != '(' && is_one_of(word, block_openers))) {
        blocks_.push_back('B');
    } else if ((word == "AS" || word == "IS") && kind_ == mariadb_kind::package && (blocks_.empty() || routine_head_)) {
        blocks_.push_back('D');
        routine_head_ = false;
    } else if ((word == "PROCEDURE" || word == "FUNCTION") && kind_ == mariadb_kind::package && !blocks_.empty()) {
        routine_head_ = true;
    }
}
