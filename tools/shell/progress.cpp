// progress.cpp - drawing and erasing the progress line.
#include "progress.h"

namespace {

const std::chrono::milliseconds show_after(1000);
const std::chrono::milliseconds redraw_every(250);

} // namespace

progress_line::progress_line(bool enabled, std::FILE *terminal)
    : enabled_(enabled), terminal_(terminal), start_(clock::now()) {}

progress_line::~progress_line() { finish(); }

void progress_line::rows_so_far(long rows) {
    if (!enabled_) return;
    clock::time_point now = clock::now();
    if (now - start_ < show_after) return;
    if (drawn_length_ > 0 && now - last_draw_ < redraw_every) return;
    draw(rows, now);
}

void progress_line::draw(long rows, clock::time_point now) {
    double seconds = std::chrono::duration<double>(now - start_).count();
    char text[96];
    int n = std::snprintf(text, sizeof text, "%ld rows, %.0f rows/s", rows, rows / seconds);
    std::string line(text, n > 0 ? static_cast<size_t>(n) : 0);
    std::string blank(drawn_length_ > line.size() ? drawn_length_ - line.size() : 0, ' ');
    std::fprintf(terminal_, "\r%s%s", line.c_str(), blank.c_str());
    std::fflush(terminal_);
    drawn_length_ = line.size();
    last_draw_ = now;
}

void progress_line::finish() {
    if (drawn_length_ == 0) return;
    std::fprintf(terminal_, "\r%s\r", std::string(drawn_length_, ' ').c_str());
    std::fflush(terminal_);
    drawn_length_ = 0;
}
