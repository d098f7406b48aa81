// console.h - the terminal (or Windows console) beyond plain streams:
// Ctrl-C is caught and noted instead of ending the program, a secret is
// typed without echo, and typed text reaches the program in the encoding
// in force (encoding.h), whatever the console's code page or the
// terminal's locale.
#ifndef RORI_CONSOLE_H
#define RORI_CONSOLE_H

#include <cstddef>
#include <string>

// From now on Ctrl-C only sets a mark (on Windows through a console control
// handler). A read from the terminal that Ctrl-C breaks off ends early.
void catch_interrupts();
// Ctrl-C was pressed since the mark was last taken; takes the mark.
bool take_interrupt();
// Ctrl-C was pressed since the mark was last taken; leaves it.
bool interrupt_pending();

// Around every library request. A request cannot be cancelled: Ctrl-C is
// only seen once it returns. When one still runs half a second after
// Ctrl-C, standard error says so, and a second Ctrl-C ends the program
// (exit status 130) without waiting for it; the servers then roll back the
// work that was not committed, as for any client that goes away.
void request_started();
void request_ended();

// Standard input is a terminal (or console) that a person types at.
bool typing_at_terminal();

// Shows the prompt on standard error and reads one line typed at the
// terminal without showing it, into buf (NUL-terminated, without the line
// end). False when standard input is no terminal, at its end, when Ctrl-C
// was pressed, or when the line does not fit.
bool read_secret(const char *prompt, char *buf, size_t cap, size_t *len);

#if defined(_WIN32)
// One line typed at the console, without its line end, in the encoding
// in force; false at the end of the input or when Ctrl-C broke it off.
bool read_console_line(std::string *line);
#endif

#endif
