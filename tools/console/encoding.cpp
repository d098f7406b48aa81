// encoding.cpp - the table of encodings the shell knows, the one in force,
// and its conversions: to and from UTF-16 through its code page on
// Windows, to and from the terminal's character set through iconv
// elsewhere.
#include "encoding.h"

#include <cctype>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#endif

namespace {

struct encoding_entry {
    const char *name;        // as the shell shows it, psql's name where it has one
    unsigned code_page;      // Windows' number for it
    const char *system_name; // iconv's name for it
};

const encoding_entry encodings[] = {
    {"UTF8", 65001, "UTF-8"},         {"LATIN1", 28591, "ISO-8859-1"}, {"LATIN2", 28592, "ISO-8859-2"},
    {"LATIN9", 28605, "ISO-8859-15"}, {"WIN1250", 1250, "CP1250"},     {"WIN1251", 1251, "CP1251"},
    {"WIN1252", 1252, "CP1252"},      {"WIN1253", 1253, "CP1253"},     {"WIN1254", 1254, "CP1254"},
    {"WIN1255", 1255, "CP1255"},      {"WIN1256", 1256, "CP1256"},     {"WIN1257", 1257, "CP1257"},
    {"WIN1258", 1258, "CP1258"},      {"WIN866", 866, "CP866"},        {"WIN874", 874, "CP874"},
    {"CP437", 437, "CP437"},          {"CP850", 850, "CP850"},         {"KOI8R", 20866, "KOI8-R"},
    {"KOI8U", 21866, "KOI8-U"},       {"SJIS", 932, "CP932"},          {"GBK", 936, "CP936"},
    {"UHC", 949, "CP949"},            {"BIG5", 950, "CP950"},          {"EUC_JP", 20932, "EUC-JP"},
    {"EUC_KR", 51949, "EUC-KR"},      {"GB18030", 54936, "GB18030"},
};

// The encoding in force; null until it is named or first asked for.
const encoding_entry *current = nullptr;

// Upper case without '-', '_' and spaces, so that "utf-8", "UTF_8" and
// "utf8" are one name, as psql takes them.
std::string folded(const std::string &name) {
    std::string out;
    for (char c : name)
        if (c != '-' && c != '_' && c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool entry_matches(const encoding_entry &e, const std::string &wanted) {
    std::string number = std::to_string(e.code_page);
    return wanted == folded(e.name) || wanted == folded(e.system_name) || wanted == number ||
           wanted == "CP" + number || wanted == "WINDOWS" + number;
}

#if defined(_WIN32)

// An ANSI code page of the system that the table lacks still works by
// its number.
char unlisted_name[16];
encoding_entry unlisted = {unlisted_name, 0, unlisted_name};

const encoding_entry *default_encoding() {
    UINT ansi = GetACP();
    for (const encoding_entry &e : encodings)
        if (e.code_page == ansi) return &e;
    std::snprintf(unlisted_name, sizeof unlisted_name, "CP%u", ansi);
    unlisted.code_page = ansi;
    return &unlisted;
}

void encoding_changed() {}

#else

const encoding_entry *default_encoding() { return &encodings[0]; }

// The conversions between the encoding and the terminal, opened when
// first needed; (iconv_t)-1 where the text passes unchanged.
const iconv_t unchanged = reinterpret_cast<iconv_t>(-1);
bool conversions_open = false;
iconv_t to_terminal = unchanged;
iconv_t from_terminal = unchanged;

void encoding_changed() {
    if (to_terminal != unchanged) iconv_close(to_terminal);
    if (from_terminal != unchanged) iconv_close(from_terminal);
    to_terminal = from_terminal = unchanged;
    conversions_open = false;
}

// The character set of the person's locale. The shell itself runs in the
// "C" locale, so the locale is taken up only for the question.
std::string terminal_charset() {
    const char *was = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = was != nullptr ? was : "C";
    std::setlocale(LC_CTYPE, "");
    std::string charset = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, saved.c_str());
    return charset;
}

// The "C" locale says nothing about the terminal (its ASCII is a default,
// not a choice), so, as psql does there, nothing is converted.
void open_conversions() {
    conversions_open = true;
    std::string charset = terminal_charset();
    std::string folded_charset = folded(charset);
    if (folded_charset == "ANSIX3.41968" || folded_charset == "ASCII" || entry_matches(*current, folded_charset))
        return;
    to_terminal = iconv_open((charset + "//TRANSLIT").c_str(), current->system_name);
    from_terminal = iconv_open((std::string(current->system_name) + "//TRANSLIT").c_str(), charset.c_str());
}

// A byte that the other side has no character for becomes '?'.
std::string convert(iconv_t conversion, const std::string &text) {
    if (conversion == unchanged) return text;
    std::string out;
    char buf[4096];
    char *in = const_cast<char *>(text.data());
    size_t left = text.size();
    for (bool done = false; !done;) {
        char *put = buf;
        size_t room = sizeof buf;
        done = left == 0;
        size_t r = done ? iconv(conversion, nullptr, nullptr, &put, &room) : iconv(conversion, &in, &left, &put, &room);
        out.append(buf, static_cast<size_t>(put - buf));
        if (r == static_cast<size_t>(-1) && errno != E2BIG && left > 0) {
            out += '?';
            ++in;
            --left;
        }
    }
    return out;
}

#endif

const encoding_entry &encoding_in_force() {
    if (current == nullptr) current = default_encoding();
    return *current;
}

} // namespace

bool set_text_encoding(const std::string &name) {
    std::string wanted = folded(name);
    const encoding_entry &now = encoding_in_force();
    const encoding_entry *found = entry_matches(now, wanted) ? &now : nullptr;
    for (const encoding_entry &e : encodings)
        if (found == nullptr && entry_matches(e, wanted)) found = &e;
    if (found == nullptr) return false;
    current = found;
    encoding_changed();
    return true;
}

std::string text_encoding() { return encoding_in_force().name; }

std::string encoding_names() {
    std::string out;
    for (const encoding_entry &e : encodings) out += (out.empty() ? "" : ", ") + std::string(e.name);
    return out;
}

#if defined(_WIN32)

std::wstring wide_text(const char *p, size_t n) {
    UINT page = encoding_in_force().code_page;
    int length = MultiByteToWideChar(page, 0, p, static_cast<int>(n), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (length > 0) MultiByteToWideChar(page, 0, p, static_cast<int>(n), &wide[0], length);
    return wide;
}

std::string narrow_text(const std::wstring &wide) {
    UINT page = encoding_in_force().code_page;
    int n = static_cast<int>(wide.size());
    int length = WideCharToMultiByte(page, 0, wide.c_str(), n, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0) WideCharToMultiByte(page, 0, wide.c_str(), n, &text[0], length, nullptr, nullptr);
    return text;
}

#else

std::string terminal_text(const std::string &text) {
    encoding_in_force();
    if (!conversions_open) open_conversions();
    return convert(to_terminal, text);
}

std::string text_from_terminal(const std::string &typed) {
    encoding_in_force();
    if (!conversions_open) open_conversions();
    return convert(from_terminal, typed);
}

#endif
