// output.cpp - the checked writes, and naming what could not be written.
#include "output.h"

#include <cerrno>
#include <cstring>

#include "display.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

// Standard output, with the file it was sent to where the system tells it
// (`> /dev/full` is then named), so that the message says where the bytes
// were lost.
std::string standard_output_name() {
    std::string name = "standard output";
#if !defined(_WIN32)
    char target[4096];
    ssize_t n = readlink("/proc/self/fd/1", target, sizeof target - 1);
    if (n > 0 && target[0] == '/') name += " (" + std::string(target, static_cast<size_t>(n)) + ")";
#endif
    return name;
}

} // namespace

output_file::output_file(std::FILE *f, std::string name)
    : f_(f), name_(std::move(name)), shown_(shows_to_person(f)) {}

// Text for a terminal waits for its line end, or for a flush, so that no
// character is converted in halves; a long result is shown as it comes.
void output_file::show_later(const char *p, size_t n) {
    const size_t batch = 64 * 1024;
    pending_.append(p, n);
    size_t line_end = pending_.size() >= batch ? pending_.rfind('\n') : std::string::npos;
    if (line_end != std::string::npos) show(line_end + 1);
}

void output_file::show(size_t n) {
    if (n > 0 && !write_text(f_, pending_.data(), n)) keep_error();
    pending_.erase(0, n);
}

// A stream that failed without setting errno (a short write the C library
// did not explain) still counts as failed.
void output_file::keep_error() { error_ = errno != 0 ? errno : EIO; }

bool output_file::flush() {
    if (error_ == 0 && shown_) show(pending_.size());
    if (error_ == 0 && (std::fflush(f_) != 0 || std::ferror(f_))) keep_error();
    return error_ == 0;
}

bool output_file::close() {
    if (name_.empty()) return flush();
    flush();
    if (std::fclose(f_) != 0 && error_ == 0) keep_error();
    f_ = nullptr;
    return error_ == 0;
}

bool output_file::reader_gone() const { return error_ == EPIPE; }

std::string output_file::problem() const {
    return "could not write to " + (name_.empty() ? standard_output_name() : name_) + ": " + std::strerror(error_);
}
