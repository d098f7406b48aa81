// bodies.h - whether a semicolon ends the statement or stands inside one of
// its bodies, told from the statement's words as each database's own client
// tells it: psql's parentheses and BEGIN ... END of a CREATE FUNCTION or
// PROCEDURE, the compound statements of MariaDB, and the ";END;" that
// closes an SQLite CREATE TRIGGER.
#ifndef RORI_SHELL_BODIES_H
#define RORI_SHELL_BODIES_H

#include <string>
#include <vector>

#include "dialect.h"

class body_tracker {
public:
    // A new statement begins.
    void start(sql_dialect dialect);
    // A word outside quotes and comments, upper-cased; `next` is the first
    // character after it on the line, other than a space ('\0' at its end).
    void word(const std::string &upper, char next);
    // Any other sign outside quotes and comments, apart from ';': a
    // parenthesis, an operator, or (as '\'') a quoted text or name.
    void sign(char c);
    // A semicolon: true when it ends the statement.
    bool semicolon();
    // A semicolon now would not end the statement.
    bool open() const;

private:
    void postgresql_word(const std::string &word);
    void mariadb_word(const std::string &word, char next);
    void mariadb_classify(const std::string &word);
    bool mariadb_names(const std::string &word, char next) const;
    void sqlite_token(int token);

    sql_dialect dialect_ = sql_dialect::standard;
    int parens_ = 0;
    std::string previous_;   // the last word or sign of the statement
    int words_ = 0;          // words of the statement so far
    // PostgreSQL (as psql): the first letters of CREATE, OR, REPLACE,
    // FUNCTION and PROCEDURE among the first four words; BEGIN depth.
    char leading_[4] = {0, 0, 0, 0};
    int begin_depth_ = 0;
    // MariaDB: the statement is (or makes) a compound statement; its open
    // blocks, innermost last: 'B' BEGIN and the like, 'D' the declarations
    // of a package or of a routine declared AS, awaiting their BEGIN.
    enum class mariadb_kind { unknown, plain, maybe_block, compound, package };
    mariadb_kind kind_ = mariadb_kind::unknown;
    std::vector<char> blocks_;
    bool after_end_ = false;   // the last word closed a block with END
    bool routine_head_ = false; // a routine of a package is being declared
    // SQLite: the state of sqlite3_complete().
    int sqlite_state_ = 0;
};

#endif
