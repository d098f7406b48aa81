// output.h - where results and the shell's answers go: standard output, or
// the file of -o and \o. Every write, flush and close is checked; the first
// failure is kept, later writes are dropped, and the command that met it
// can name the file and the error and stop.
#ifndef RORI_SHELL_OUTPUT_H
#define RORI_SHELL_OUTPUT_H

#include <cstdio>
#include <string>

class output_file {
public:
    output_file(std::FILE *f, std::string name) : f_(f), name_(std::move(name)) {}

    void write(const char *p, size_t n) {
        if (error_ == 0 && std::fwrite(p, 1, n, f_) != n) keep_error();
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

    std::FILE *f_;
    std::string name_; // empty for standard output
    int error_ = 0;
};

#endif
