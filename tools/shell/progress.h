// progress.h - the line on standard error that tells how a long result is
// coming along: rows so far and rows per second, shown once fetching has
// taken about a second, redrawn a few times a second, erased at the end.
#ifndef RORI_SHELL_PROGRESS_H
#define RORI_SHELL_PROGRESS_H

#include <chrono>
#include <cstdio>
#include <string>

class progress_line {
public:
    // A disabled line never writes anything.
    progress_line(bool enabled, std::FILE *terminal);
    ~progress_line();
    progress_line(const progress_line &) = delete;
    progress_line &operator=(const progress_line &) = delete;

    void rows_so_far(long rows);
    void finish();

private:
    using clock = std::chrono::steady_clock;
    void draw(long rows, clock::time_point now);

    bool enabled_;
    std::FILE *terminal_;
    clock::time_point start_;
    clock::time_point last_draw_;
    size_t drawn_length_ = 0;
};

#endif
