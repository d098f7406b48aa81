// terminal_edit.cpp - the terminal with libedit: line editing, and a
// history kept in ~/.roridorezu_history between sessions, which never
// holds the password of a \connect. Lines are typed, and kept in the
// history, in the terminal's characters, and reach the shell in the
// encoding in force.
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <editline/readline.h>

#include "connect_text.h"
#include "console.h"
#include "encoding.h"
#include "input.h"

namespace {

std::string history_path() {
    const char *home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) + "/.roridorezu_history" : std::string();
}

// libedit decodes what is typed with the character type of the locale; in
// the "C" locale it cannot take a character beyond ASCII and drops it. The
// person's locale (LANG, LC_ALL) is therefore in force while libedit
// works, and only then: the rest of the shell, and the drivers below the
// library, keep the "C" locale they were tested with.
class typing_locale {
public:
    typing_locale() {
        const char *was = std::setlocale(LC_CTYPE, nullptr);
        saved_ = was != nullptr ? was : "C";
        std::setlocale(LC_CTYPE, "");
    }
    ~typing_locale() { std::setlocale(LC_CTYPE, saved_.c_str()); }

private:
    std::string saved_;
};

class edit_terminal : public line_source {
public:
    edit_terminal() : history_(history_path()) {
        typing_locale typing;
        using_history();
        stifle_history(1000);
        if (!history_.empty()) read_history(history_.c_str());
    }
    ~edit_terminal() override {
        typing_locale typing;
        if (!history_.empty()) write_history(history_.c_str());
    }
    // libedit passes a Ctrl-C at the prompt on to the shell's handler more
    // than once; only a Ctrl-C during this read counts for it.
    bool read(const std::string &prompt, std::string *line) override {
        take_interrupt();
        typing_locale typing;
        char *text = readline(terminal_text(prompt).c_str());
        if (text == nullptr) return false;
        *line = text_from_terminal(text);
        std::free(text);
        return true;
    }
    bool interactive() const override { return true; }
    // An entry recalled and run again unchanged is not added twice.
    void remember(const std::string &entry) override {
        std::string kept = history_text(entry);
        if (entry.find_first_not_of(" \t\n") == std::string::npos || kept == last_) return;
        typing_locale typing;
        add_history(terminal_text(kept).c_str());
        last_ = kept;
    }

private:
    std::string history_;
    std::string last_; // the entry added last in this session
};

} // namespace

std::unique_ptr<line_source> terminal_input() { return std::make_unique<edit_terminal>(); }
