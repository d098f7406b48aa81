// notices.cpp - reading notices out of a driver's message, and writing
// MariaDB's warnings.
#include "notices.h"

#include <cstring>

namespace {

// The severities of PostgreSQL's notices, as they lead each one.
const char *const severities[] = {"NOTICE", "WARNING", "INFO", "LOG", "DEBUG"};

// The length of "SEVERITY:" when text[at..] begins with one; 0 otherwise.
size_t severity_at(const std::string &text, size_t at) {
    for (const char *s : severities) {
        size_t n = std::strlen(s);
        if (text.compare(at, n, s) == 0 && at + n < text.size() && text[at + n] == ':') return n + 1;
    }
    return 0;
}

// One notice, "SEVERITY: text" or "SEVERITY:  text", as psql writes it.
std::string as_psql_writes(const std::string &notice, size_t mark) {
    size_t text = notice.find_first_not_of(' ', mark);
    return notice.substr(0, mark) + "  " + (text == std::string::npos ? std::string() : notice.substr(text));
}

} // namespace

std::vector<std::string> notice_lines(const std::string &message) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < message.size()) {
        size_t mark = severity_at(message, start);
        if (mark == 0) return std::vector<std::string>();
        // The notice ends where a line ends or a ';' begins the next one.
        size_t end = start + mark;
        while (end < message.size() && message[end] != '\n' &&
               !(message[end] == ';' && severity_at(message, end + 1) > 0))
            ++end;
        size_t cut = end > start && message[end - 1] == '\r' ? end - 1 : end;
        out.push_back(as_psql_writes(message.substr(start, cut - start), mark));
        start = end + 1;
    }
    return out;
}

std::vector<std::string> warning_lines(const std::vector<row> &rows) {
    std::vector<std::string> out;
    for (const row &r : rows)
        if (r.size() >= 3) out.push_back(r[0].text + " (Code " + r[1].text + "): " + r[2].text);
    return out;
}
