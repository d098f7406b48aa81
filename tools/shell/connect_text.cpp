// connect_text.cpp - reading the escaped and hexadecimal notations of a
// connect text, and the connection's label.
#include "connect_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "text.h"

namespace {

bool is_hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

int hex_value(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                       : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

char hex_byte(char high, char low) { return static_cast<char>(hex_value(high) * 16 + hex_value(low)); }

// "2D 68 6F": two-digit groups separated by single spaces.
bool read_hex_groups(const std::string &s, std::string *bytes) {
    if (s.size() < 2 || (s.size() + 1) % 3 != 0) return false;
    std::string out;
    for (size_t i = 0; i < s.size(); i += 3) {
        if (!is_hex(s[i]) || !is_hex(s[i + 1])) return false;
        if (i + 2 < s.size() && s[i + 2] != ' ') return false;
        out += hex_byte(s[i], s[i + 1]);
    }
    *bytes = out;
    return true;
}

// \xHH, \\ and \" become their bytes; any other backslash stays as it is.
std::string decode_escapes(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (s[i] == '\\' && (next == '\\' || next == '"')) {
            out += next;
            ++i;
        } else if (s[i] == '\\' && next == 'x' && i + 3 < s.size() && is_hex(s[i + 2]) && is_hex(s[i + 3])) {
            out += hex_byte(s[i + 2], s[i + 3]);
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Removes a leading label such as "hex:" and the spaces after it.
bool strip_label(std::string *s, const std::string &label) {
    if (s->compare(0, label.size(), label) != 0) return false;
    *s = trim(s->substr(label.size()));
    return true;
}

bool is_form_byte(char c) { return c >= 1 && c <= 3; }

// One "-key=value" of a connect text, split the way the connect request
// splits it: a value ends where a space is followed by a hyphen.
struct setting {
    std::string key;
    size_t value_begin;
    size_t value_end;
};

// The character after a value's trailing spaces is where the next key's
// hyphen is looked for, so two spaces make the key begin with a hyphen.
std::vector<setting> split_settings(const std::string &text) {
    std::vector<setting> out;
    size_t pos = 0;
    for (;;) {
        size_t eq = text.find('=', pos);
        if (eq == std::string::npos) break;
        size_t key_begin = pos + 1 <= eq ? pos + 1 : eq; // the character at pos is the hyphen
        size_t end = text.find(" -", eq + 1);
        if (end == std::string::npos) end = text.size();
        while (end > eq + 1 && text[end - 1] == ' ') --end;
        out.push_back({text.substr(key_begin, eq - key_begin), eq + 1, end});
        if (end >= text.size()) break;
        pos = end + 1;
    }
    return out;
}

struct connect_keyword {
    const char *name;
    bool has_effect; // the others are accepted and change nothing
};

const connect_keyword connect_keywords[] = {{"host", true},     {"user", true},  {"pw", true},    {"db", false},
                                            {"sockfile", false}, {"port", false}, {"flags", false}};

// Key endings that make a setting a password, in any case: "-pw", "-PWD",
// "password", "-db_password".
const char *const password_endings[] = {"pw", "pwd", "password"};

bool ends_with(const std::string &s, const std::string &end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// "-PW", "pwd", "-db_password": the key of a word, hyphens before it or not.
bool is_password_key(const std::string &word) {
    std::string key;
    for (char c : word) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char *ending : password_endings)
        if (ends_with(key, ending)) return true;
    return false;
}

struct word_at {
    size_t begin;
    size_t end;
};

std::vector<word_at> words_of(const std::string &text) {
    std::vector<word_at> out;
    size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
        size_t end = std::min(text.find_first_of(" \t", at), text.size());
        out.push_back({at, end});
        at = end;
    }
    return out;
}

// What a word of a connect line is to the masking.
enum class word_role { shown, masked, dropped };

// The roles of the words of the text after \connect: the value of a
// password key (KEY=VALUE, up to the next word that begins with a hyphen,
// since a value may hold spaces; or the word after a bare KEY), and every
// positional word after the second (psql's \c DSN USER PASSWORD).
std::vector<word_role> word_roles(const std::string &text, const std::vector<word_at> &words) {
    std::vector<word_role> roles;
    bool in_password = false, next_is_password = false;
    int positional = 0;
    for (const word_at &w : words) {
        std::string word = text.substr(w.begin, w.end - w.begin);
        size_t eq = word.find('=');
        bool hyphen = word[0] == '-', keyed = eq != std::string::npos;
        word_role role = word_role::shown;
        if (in_password && !hyphen) role = word_role::dropped;
        else if ((next_is_password && !keyed && !hyphen) || (keyed && is_password_key(word.substr(0, eq))))
            role = word_role::masked;
        else if (!keyed && !hyphen && ++positional > 2) role = word_role::masked;
        in_password = role == word_role::dropped || (role == word_role::masked && (keyed || next_is_password));
        next_is_password = !keyed && hyphen && is_password_key(word);
        roles.push_back(role);
    }
    return roles;
}

std::string mask_passwords(const std::string &text) {
    std::vector<word_at> words = words_of(text);
    std::vector<word_role> roles = word_roles(text, words);
    std::string out;
    size_t copied = 0;
    for (size_t i = 0; i < words.size(); ++i) {
        if (roles[i] == word_role::shown) continue;
        size_t eq = text.find('=', words[i].begin);
        bool keyed = roles[i] == word_role::masked && eq < words[i].end;
        if (roles[i] == word_role::dropped) out += text.substr(copied, words[i - 1].end - copied);
        else out += text.substr(copied, (keyed ? eq + 1 : words[i].begin) - copied) + "***";
        copied = words[i].end;
    }
    return out + text.substr(copied);
}

// Each value written as hexadecimal groups that begin with a form byte
// becomes its bytes.
std::string decode_hex_values(const std::string &text) {
    std::string out;
    size_t copied = 0;
    for (const setting &s : split_settings(text)) {
        std::string value = trim(text.substr(s.value_begin, s.value_end - s.value_begin));
        std::string bytes;
        if (!read_hex_groups(value, &bytes) || !is_form_byte(bytes[0])) continue;
        out += text.substr(copied, s.value_begin - copied) + bytes;
        copied = s.value_end;
    }
    return out + text.substr(copied);
}

std::string restore_bytes(std::string text, bool *bad_hex) {
    *bad_hex = false;
    std::string bytes;
    if (strip_label(&text, "hex:")) {
        *bad_hex = !read_hex_groups(text, &bytes);
        return bytes;
    }
    bool escaped = strip_label(&text, "escaped:");
    escaped = unquote(&text) || escaped;
    if (escaped || text.find('\\') != std::string::npos) return decode_hex_values(decode_escapes(text));
    if (read_hex_groups(text, &bytes) && bytes.size() >= 2 && bytes[0] == '-') return bytes;
    return decode_hex_values(text);
}

std::string value_of_setting(const std::string &text, const setting &s) {
    std::string v = text.substr(s.value_begin, s.value_end - s.value_begin);
    size_t e = v.find_last_not_of(' ');
    return e == std::string::npos ? std::string() : v.substr(0, e + 1);
}

} // namespace

bool decode_connect_text(const std::string &typed, std::string *bytes, std::string *problem) {
    bool bad_hex = false;
    *bytes = restore_bytes(trim(typed), &bad_hex);
    if (bad_hex) *problem = "after \"hex:\" the text must be two-digit hexadecimal groups separated by spaces";
    else if (bytes->empty()) *problem = "the connect text is empty";
    else if (bytes->find('\0') != std::string::npos) *problem = "the connect text holds a NUL byte";
    else return true;
    return false;
}

std::string connection_label(const std::string &bytes) {
    std::vector<setting> settings = split_settings(bytes);
    if (settings.empty()) return bytes;
    std::string host, user;
    for (const setting &s : settings) {
        if (s.key == "host") host = value_of_setting(bytes, s);
        if (s.key == "user") user = value_of_setting(bytes, s);
    }
    if (host.empty()) host = bytes.substr(0, bytes.find('='));
    std::string label = is_form_byte(host[0]) ? "(scrambled)" : host;
    if (!user.empty() && !is_form_byte(user[0])) label += " as " + user;
    return label;
}

bool is_connect_keyword(const std::string &key) { return entry_named(connect_keywords, key) != nullptr; }

std::string unknown_connect_key(const std::string &bytes) {
    for (const setting &s : split_settings(bytes))
        if (!is_connect_keyword(s.key)) return s.key;
    return std::string();
}

std::vector<std::string> keys_without_effect(const std::string &bytes) {
    std::vector<std::string> out;
    for (const setting &s : split_settings(bytes)) {
        const connect_keyword *k = entry_named(connect_keywords, s.key);
        if (k == nullptr) break; // the request reads no further
        if (!k->has_effect) out.push_back(s.key);
    }
    return out;
}

bool take_password_request(std::string *typed) {
    std::string t = " " + trim(*typed) + " ";
    size_t at = t.find(" -pw ");
    if (at == std::string::npos) return false;
    size_t value = t.find_first_not_of(' ', at + 4);
    if (value < t.size() && t[value] != '-') {
        *typed = trim(t.replace(at + 4, value - at - 4, "="));
        return false;
    }
    *typed = trim(t.erase(at, 4));
    return true;
}

std::string with_password(const std::string &bytes, const std::string &password) {
    std::string settings = bytes.find('=') == std::string::npos ? "-host=" + bytes : bytes;
    return settings + " -pw=" + password;
}

std::vector<std::string> unread_settings(const std::string &bytes) {
    std::vector<size_t> read;
    for (const setting &s : split_settings(bytes)) {
        if (!is_connect_keyword(s.key)) break; // the request reads no further
        read.push_back(s.value_begin - s.key.size() - 2);
    }
    std::vector<std::string> unread;
    bool odd_separator = false;
    for (const word_at &w : words_of(bytes)) {
        size_t eq = bytes.find('=', w.begin);
        if (bytes[w.begin] != '-' || eq >= w.end || std::find(read.begin(), read.end(), w.begin) != read.end())
            continue;
        unread.push_back(bytes.substr(w.begin, eq - w.begin));
        // The first setting needs no separator: when it is unread, its key is unknown.
        odd_separator = odd_separator || (w.begin > 0 && (bytes[w.begin - 1] != ' ' || w.begin < 2 ||
                                                          bytes[w.begin - 2] == ' ' || bytes[w.begin - 2] == '\t'));
    }
    return odd_separator ? unread : std::vector<std::string>();
}

std::string history_text(const std::string &line) {
    size_t command = line.find("\\c");
    if (command == std::string::npos) return line;
    size_t text = line.find_first_of(" \t", command);
    if (text == std::string::npos) return line;
    std::string typed = line.substr(text), bytes, problem;
    // A notation (hexadecimal, escapes) is kept as typed unless its bytes
    // hold a password, which its groups and escapes would not mask.
    if (decode_connect_text(typed, &bytes, &problem) && bytes != trim(typed))
        return mask_passwords(bytes) == bytes ? line : line.substr(0, text) + " (a connect text with a password)";
    return line.substr(0, text) + mask_passwords(typed);
}
