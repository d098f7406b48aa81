// output.h - where results and the shell's answers go: standard output, or
// the file of -o and \o. Every write, flush and close is checked; the first
// failure is kept, later writes are dropped, and the command that met it
// can name the file and the error and stop. What goes to a terminal or
// console is gathered and shown a line at a time in the characters it
// takes (display.h); anything else gets the bytes unchanged.
#ifndef RORI_SHELL_OUTPUT_H
#define RORI_SHELL_OUTPUT_H

#include <cstdio>
#include <string>
#include <utility>

class output_file {
public:
    output_file(std::FILE *f, std::string name);

    void write(const char *p, size_t n) {
        if (error_ != 0) return;
        if (shown_) show_later(p, n);
        else if (std::fwrite(p, 1, n, f_) != n) keep_error();
    }
    void write(const std::string &s) { write(s.data(), s.size()); }
    void line(const std::string &s) {
        write(s);
        write("\n", 1);
    }
    // False when this or an earlier write failed.
    bool flush();
    // Flushes; a file of its own is closed, standard output stays open.
    bool close();

    bool failed() const { return error_ != 0; }
    // The reader went away (a closed pipe, as under `| head`): no failure
    // to report, only no reason to go on.
    bool reader_gone() const;
    // "could not write to NAME: ERROR" for a failed output.
    std::string problem() const;
    std::FILE *file() const { return f_; }

private:
    void keep_error();
    void show_later(const char *p, size_t n);
    void show(size_t n); // the first n bytes of pending_

    std::FILE *f_;
    std::string name_; // empty for standard output
    int error_ = 0;
    bool shown_;          // a person reads it: text is converted for them
    std::string pending_; // text gathered for showing, whole lines unless flushed
};

#endif
