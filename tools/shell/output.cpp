// output.cpp - the checked writes, and naming what could not be written.
#include "output.h"

#include <cerrno>
#include <cstring>

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

// A stream that failed without setting errno (a short write the C library
// did not explain) still counts as failed.
void output_file::keep_error() { error_ = errno != 0 ? errno : EIO; }

bool output_file::flush() {
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
