// text.cpp - trimming, splitting, joining and taking off quotes.
#include "text.h"

#include <sstream>

std::string trim(const std::string &s) {
    const char *blank = " \t\r\n";
    size_t b = s.find_first_not_of(blank);
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(blank) - b + 1);
}

std::vector<std::string> words(const std::string &s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

std::string join(const std::vector<std::string> &parts, const std::string &separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

bool unquote(std::string *s) {
    if (s->size() < 2 || s->front() != '"' || s->back() != '"') return false;
    *s = s->substr(1, s->size() - 2);
    return true;
}
