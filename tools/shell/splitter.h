// splitter.h - cuts the SQL text that arrives line by line into statements:
// a statement ends at a semicolon outside quotes and comments, and may span
// any number of lines. Comments are dropped; quoted text is kept as it is.
#ifndef RORI_SHELL_SPLITTER_H
#define RORI_SHELL_SPLITTER_H

#include <string>
#include <vector>

class statement_splitter {
public:
    // Adds one line; every statement it completes is appended to *done
    // (without its semicolon, trimmed; empty statements are skipped).
    void add_line(const std::string &line, std::vector<std::string> *done);
    // Unfinished statement text is waiting for its semicolon.
    bool pending() const;
    // The last line ended inside quotes or a comment.
    bool inside_text() const { return state_ != state::plain; }
    // The unfinished text, trimmed; the splitter starts over.
    std::string take_pending();

private:
    enum class state { plain, single_quote, double_quote, back_quote, block_comment };
    void finish(std::vector<std::string> *done);

    std::string buffer_;
    state state_ = state::plain;
};

#endif
