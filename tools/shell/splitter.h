// splitter.h - cuts the SQL text that arrives line by line into statements
// where the database itself would cut it: a statement ends at a semicolon
// outside quotes, comments, dollar-quoted bodies and the BEGIN ... END body
// of a trigger or routine, and may span any number of lines. Comments are
// dropped; quoted text is kept as it is. A backslash outside all of these
// begins a shell command that takes the rest of the line.
#ifndef RORI_SHELL_SPLITTER_H
#define RORI_SHELL_SPLITTER_H

#include <string>
#include <vector>

// The quoting rules of a database's SQL; standard SQL when the driver is
// not one the shell knows.
enum class sql_dialect { standard, sqlite, postgresql, mariadb };

// The dialect of a connection, told by the driver's name (information item 1).
sql_dialect dialect_of_driver(const std::string &driver_name);
const char *dialect_name(sql_dialect dialect);

class statement_splitter {
public:
    void set_dialect(sql_dialect dialect) { dialect_ = dialect; }
    // Adds one line; every statement it completes is appended to *done
    // (without its semicolon, trimmed; empty statements are skipped). A
    // shell command found on the line goes to *command (empty when none);
    // it comes after the statements of *done.
    void add_line(const std::string &line, std::vector<std::string> *done, std::string *command);
    // Unfinished statement text is waiting for its semicolon.
    bool pending() const;
    // The last line ended inside quotes, a comment or a body.
    bool inside_text() const { return state_ != state::plain || depth_ > 0; }
    // The unfinished text, trimmed; the splitter starts over.
    std::string take_pending();

private:
    enum class state { plain, single_quote, double_quote, back_quote, block_comment, dollar_quote };
    void finish(std::vector<std::string> *done);
    void start_over();
    size_t quoted(const std::string &line, size_t i);
    size_t plain(const std::string &line, size_t i, std::vector<std::string> *done, std::string *command);
    void end_word();
    void close_body();

    sql_dialect dialect_ = sql_dialect::standard;
    std::string buffer_;
    state state_ = state::plain;
    bool escapes_ = false;    // backslash escapes in the current quoted text
    std::string dollar_tag_;  // "$body$" while inside it
    std::string word_;        // the word being read, upper-cased
    int words_ = 0;           // words of the statement so far
    bool create_ = false;     // the statement begins with CREATE
    bool routine_ = false;    // ... and makes a trigger, procedure, function or event
    int depth_ = 0;           // open BEGIN or CASE of a routine body
    bool after_end_ = false;  // the last word was END of a routine body
};

#endif
