// display.h - writing the shell's text where it goes: to a terminal or
// Windows console in the characters a person reads there, to files and
// pipes as the very bytes the drivers gave.
#ifndef RORI_DISPLAY_H
#define RORI_DISPLAY_H

#include <cstddef>
#include <cstdio>
#include <string>

// The stream is a terminal, or on Windows a console (GetConsoleMode
// succeeds on its handle).
bool shows_to_person(std::FILE *stream);

// Writes text of the encoding in force (encoding.h): to a console through
// its wide-character interface, whatever its code page; to a terminal in
// the characters of its locale; elsewhere unchanged. False when the write
// failed, with errno set.
bool write_text(std::FILE *stream, const char *p, size_t n);
bool write_text(std::FILE *stream, const std::string &text);

// Standard output, and standard input when it is no console, carry bytes
// unchanged: on Windows no line end becomes CR LF on the way out, and none
// is taken away (nor a Ctrl-Z taken for the end) on the way in.
void use_binary_streams();

#endif
