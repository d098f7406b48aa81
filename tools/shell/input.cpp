// input.cpp - the plain line sources: streams and texts.
#include "input.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include <sys/stat.h>

namespace {

// Reads up to a line feed. A carriage return before it stays: the
// splitter decides what it means (psql keeps it inside a literal).
bool read_stream_line(std::FILE *stream, std::string *line) {
    line->clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(stream)) != EOF) {
        any = true;
        if (c == '\n') break;
        *line += static_cast<char>(c);
    }
    return any;
}

// The byte-order mark that Windows editors write at the start of a UTF-8
// file; psql, the mariadb client and sqlite3 skip it.
const char utf8_bom[] = "\xEF\xBB\xBF";

class stream_source : public line_source {
public:
    stream_source(std::FILE *stream, const std::string &name, bool owned)
        : stream_(stream), name_(name), owned_(owned) {}
    ~stream_source() override {
        if (owned_) std::fclose(stream_);
    }
    bool read(const std::string &, std::string *line) override {
        errno = 0;
        bool got = read_stream_line(stream_, line);
        if (first_line_ && line->compare(0, 3, utf8_bom) == 0) line->erase(0, 3);
        first_line_ = false;
        if (std::ferror(stream_)) problem_ = std::strerror(errno != 0 ? errno : EIO);
        return got && problem_.empty();
    }
    std::string name() const override { return name_; }
    std::string read_problem() const override { return problem_; }

private:
    std::FILE *stream_;
    std::string name_;
    bool owned_;
    bool first_line_ = true;
    std::string problem_;
};

class text_source : public line_source {
public:
    explicit text_source(const std::string &text) : text_(text) {}
    bool read(const std::string &, std::string *line) override {
        return static_cast<bool>(std::getline(text_, *line));
    }
    bool names_statements() const override { return true; }

private:
    std::istringstream text_;
};

} // namespace

std::unique_ptr<line_source> stream_input(std::FILE *stream, const std::string &name, bool owned) {
    return std::make_unique<stream_source>(stream, name, owned);
}

std::unique_ptr<line_source> file_input(const std::string &path, std::string *problem) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *problem = "cannot read " + path + ": " + std::strerror(EISDIR);
        return nullptr;
    }
    // Binary, so that on Windows too every CR reaches the splitter and a
    // Ctrl-Z byte is no end of the file.
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *problem = "cannot read " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return stream_input(f, path, true);
}

std::unique_ptr<line_source> text_input(const std::string &text) { return std::make_unique<text_source>(text); }
