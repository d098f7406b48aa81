// terminal_plain.cpp - the terminal without line editing (the Windows
// build): the prompt on standard output, lines typed at the console read
// in the encoding in force, other standard input read as bytes.
#include <cstdio>

#include "console.h"
#include "display.h"
#include "input.h"

namespace {

class plain_terminal : public line_source {
public:
    plain_terminal() : lines_(stream_input(stdin, std::string(), false)), console_(typing_at_terminal()) {}
    bool read(const std::string &prompt, std::string *line) override {
        write_text(stdout, prompt);
        std::fflush(stdout);
        return console_ ? read_console_line(line) : lines_->read(prompt, line);
    }
    bool interactive() const override { return true; }

private:
    std::unique_ptr<line_source> lines_;
    bool console_;
};

} // namespace

std::unique_ptr<line_source> terminal_input() { return std::make_unique<plain_terminal>(); }
