// executable_comments.cpp - reads a statement of MariaDB executable
// comments as the server does.
#include "executable_comments.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "text.h"

namespace {

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Where the comment whose body begins at i ends (at its "*/"); npos when it
// does not. Quoted text may hold "*/"; a backslash escapes in it.
size_t comment_end(const std::string &sql, size_t i) {
    char quote = '\0';
    for (; i < sql.size(); ++i) {
        char c = sql[i];
        if (quote != '\0') {
            if (c == '\\') ++i;
            else if (c == quote) quote = '\0';
        } else if (c == '\'' || c == '"' || c == '`') quote = c;
        else if (sql.compare(i, 2, "*/") == 0) return i;
    }
    return std::string::npos;
}

// The MariaDB driver refuses SET NAMES ("not allowed": it keeps the
// connection's character set itself) but passes it on inside a comment, as
// mariadb-dump writes it at the top of every dump.
bool refused_by_driver(const std::string &body) {
    std::vector<std::string> w = words(body.substr(0, 16));
    auto upper = [](std::string t) {
        for (char &c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return t;
    };
    return w.size() >= 2 && upper(w[0]) == "SET" && upper(w[1]).compare(0, 5, "NAMES") == 0;
}

} // namespace

long comment_version_of(const std::string &dbms_version) {
    const char *p = dbms_version.c_str();
    long parts[3] = {0, 0, 0};
    for (long &part : parts) {
        char *end = nullptr;
        part = std::strtol(p, &end, 10);
        if (end == p) return 0;
        p = *end == '.' ? end + 1 : end;
    }
    return parts[0] * 10000 + parts[1] * 100 + parts[2];
}

bool executable_comments_only(const std::string &sql, long server_version, std::string *body) {
    body->clear();
    size_t i = sql.find_first_not_of(" \t\r\n");
    bool any = false;
    while (i != std::string::npos) {
        size_t mark = sql.compare(i, 3, "/*!") == 0 ? 3 : sql.compare(i, 4, "/*M!") == 0 ? 4 : 0;
        if (mark == 0) return false;
        size_t start = i + mark, digits = 0;
        while (start + digits < sql.size() && is_digit(sql[start + digits]) && digits < 7) ++digits;
        bool versioned = digits == 5 || digits == 6;
        if (versioned) start += digits;
        size_t end = comment_end(sql, start);
        if (end == std::string::npos) return false;
        bool runs = !versioned || std::strtol(sql.substr(i + mark, digits).c_str(), nullptr, 10) <= server_version;
        if (runs) *body += (body->empty() ? "" : " ") + sql.substr(start, end - start);
        any = true;
        i = sql.find_first_not_of(" \t\r\n", end + 2);
    }
    size_t b = body->find_first_not_of(" \t\r\n");
    *body = b == std::string::npos ? std::string() : body->substr(b, body->find_last_not_of(" \t\r\n") - b + 1);
    return any && !refused_by_driver(*body);
}
