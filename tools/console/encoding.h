// encoding.h - the encoding of the texts that the library exchanges with
// the drivers (psql's client encoding), kept for the whole process, and the
// conversions between it and what a person's terminal or console uses.
// Files and pipes never see these conversions: they get the bytes as the
// drivers gave them.
#ifndef RORI_ENCODING_H
#define RORI_ENCODING_H

#include <string>

// Names the encoding from now on ("UTF8", "utf-8", "WIN1252", "cp1252",
// "1252", "latin1", ...); false, nothing changed, for a name not known.
bool set_text_encoding(const std::string &name);
// The encoding's name as the shell shows it ("UTF8"). By default the
// system's ANSI code page on Windows, UTF-8 elsewhere.
std::string text_encoding();
// The names set_text_encoding takes, for a message: "UTF8, LATIN1, ...".
std::string encoding_names();

#if defined(_WIN32)
// Text of the encoding as the console's wide characters, and back.
std::wstring wide_text(const char *p, size_t n);
std::string narrow_text(const std::wstring &wide);
#else
// Text of the encoding in the characters of the terminal's locale
// (LC_ALL, LC_CTYPE, LANG), and back; unchanged where the two agree or the
// locale names no character set beyond ASCII ("C").
std::string terminal_text(const std::string &text);
std::string text_from_terminal(const std::string &typed);
#endif

#endif
