// input.h - where the shell's lines come from: the terminal (with line
// editing and history where the build has them), a file or standard input
// read plainly, or the text of -c.
#ifndef RORI_SHELL_INPUT_H
#define RORI_SHELL_INPUT_H

#include <cstdio>
#include <memory>
#include <string>

class line_source {
public:
    virtual ~line_source() = default;
    // Reads one line without its line end; false at the end of the input.
    // The prompt is shown only by interactive sources.
    virtual bool read(const std::string &prompt, std::string *line) = 0;
    virtual bool interactive() const { return false; }
    // Keeps an entry of what was typed for recalling it later: a statement
    // typed over several lines comes as one entry, its lines joined by line
    // feeds. Only the terminal keeps a history.
    virtual void remember(const std::string &) {}
    // What messages about this input call it ("demo.sql"); empty for the
    // terminal and -c, whose messages need no place.
    virtual std::string name() const { return std::string(); }
    // True for the text of -c, whose statements messages name by number.
    virtual bool names_statements() const { return false; }
    // Why reading stopped before the end of the input (a directory, an I/O
    // error); empty when the input simply ended.
    virtual std::string read_problem() const { return std::string(); }
};

// Lines of an open stream; the stream is closed at the end when owned.
std::unique_ptr<line_source> stream_input(std::FILE *stream, const std::string &name, bool owned);
// Lines of a file; null, with the reason in *problem, when it cannot be
// read (a directory cannot).
std::unique_ptr<line_source> file_input(const std::string &path, std::string *problem);
// Lines of a text.
std::unique_ptr<line_source> text_input(const std::string &text);
// The terminal: prompts, and line editing with history where available
// (terminal_edit.cpp with libedit, terminal_plain.cpp without).
std::unique_ptr<line_source> terminal_input();

#endif
