// cells.h - the width of UTF-8 text on a terminal, in display cells: most
// characters take one, East Asian wide characters and emoji take two, and
// combining marks and zero-width characters take none. The table format
// aligns its columns by these widths.
#ifndef RORI_SHELL_CELLS_H
#define RORI_SHELL_CELLS_H

#include <cstddef>
#include <string>

// Cells that s takes on the screen.
size_t display_cells(const std::string &s);
// The longest head of s that takes at most `cells` cells; never ends inside
// a UTF-8 sequence, and keeps the combining marks of its last character.
std::string head_in_cells(const std::string &s, size_t cells);
// s without a UTF-8 sequence that was cut short at its end (a text cut at a
// byte count may end inside a character).
std::string without_cut_character(const std::string &s);

#endif
