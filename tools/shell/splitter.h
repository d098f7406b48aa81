// splitter.h - cuts the SQL text that arrives line by line into the
// statements that the database's own client would send for it: psql for
// PostgreSQL, the mariadb client for MariaDB, the sqlite3 shell for SQLite.
// A statement ends at its terminator outside quotes, comments and bodies,
// and may span any number of lines; the server gets its text as written,
// comments and all. A backslash outside all of these begins a shell command
// that takes the rest of the line.
#ifndef RORI_SHELL_SPLITTER_H
#define RORI_SHELL_SPLITTER_H

#include <string>
#include <vector>

#include "bodies.h"
#include "dialect.h"

// What one line gave.
struct split_line {
    // The statements it completed, without their terminator and leading
    // spaces; statements of nothing but comments are skipped.
    std::vector<std::string> statements;
    // A shell command on the line, after the statements: a backslash
    // command, or a line command of the dialect's client ("source FILE",
    // ".mode csv").
    std::string command;
    std::string problem; // a line command (DELIMITER) that could not be done
};

class statement_splitter {
public:
    void set_dialect(sql_dialect dialect) {
        dialect_ = dialect;
        rules_ = &rules_of(dialect);
    }
    void add_line(const std::string &line, split_line *out);
    // Unfinished statement text is waiting for its terminator.
    bool pending() const;
    // The last line ended inside quotes, a comment or a body.
    bool inside_text() const;
    // The unfinished statement (empty when it holds nothing but comments);
    // the splitter starts over.
    std::string take_pending();
    // PostgreSQL: without standard_conforming_strings a backslash escapes
    // in '...' too, as the session's setting says.
    void set_standard_strings(bool on) { standard_strings_ = on; }
    // MariaDB: with NO_BACKSLASH_ESCAPES in sql_mode a backslash in quotes
    // is a plain character.
    void set_no_backslash_escapes(bool on) { no_backslash_escapes_ = on; }
    // The lines up to one of "\." are data of a COPY the shell refused.
    void skip_copy_data() { copy_data_ = true; }

private:
    enum class state { plain, single_quote, double_quote, back_quote, bracket, block_comment, dollar_quote };
    const dialect_rules &rules() const { return *rules_; }
    const std::string &terminator() const;
    bool delimiter_command(const std::string &line, split_line *out);
    bool client_line_command(const std::string &line, split_line *out);
    void finish(split_line *out, const std::string &rest_of_line);
    void start_over();
    void end_word(const std::string &line, size_t i);
    size_t quoted(const std::string &line, size_t i);
    const char *quoted_stops() const;
    size_t plain(const std::string &line, size_t i, split_line *out);
    size_t line_comment(const std::string &line, size_t i);
    size_t block_comment_start(const std::string &line, size_t i);
    size_t terminate(const std::string &line, size_t i, split_line *out);
    size_t backslash(const std::string &line, size_t i, split_line *out);
    void open_quote(char c, bool escape_prefix);
    bool holds_text() const { return content_ || kept_comment_; }

    sql_dialect dialect_ = sql_dialect::standard;
    const dialect_rules *rules_ = &rules_of(sql_dialect::standard);
    std::string delimiter_ = ";"; // MariaDB's terminator, set by DELIMITER
    bool standard_strings_ = true;
    bool no_backslash_escapes_ = false;
    bool copy_data_ = false;
    std::string buffer_;
    // The statement holds more than spaces and comments; with a comment it
    // keeps, more than spaces. Kept as the text comes, so that telling
    // whether anything is pending never rereads the statement.
    bool content_ = false;
    bool kept_comment_ = false;
    state state_ = state::plain;
    int comment_depth_ = 0;    // nested comments open
    bool executable_ = false;  // inside MariaDB's /*! ... */, which is statement text
    bool escapes_ = false;     // backslash escapes in the current quoted text
    std::string dollar_tag_;   // "$body$" while inside it
    std::string word_;         // the word being read, upper-cased
    body_tracker body_;
};

#endif
