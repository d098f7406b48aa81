// entry.h - what differs between the Linux and the Windows build: where the
// library's entry point comes from (linked in, or roridorezu.dll loaded at
// start) and how to tell whether a stream is a terminal.
#ifndef RORI_SHELL_ENTRY_H
#define RORI_SHELL_ENTRY_H

#include <cstdio>
#include <string>

#include "roridorezu.h"

// The entry point, or null with the reason in *problem.
vizori_fn library_entry(std::string *problem);

bool is_terminal(std::FILE *stream);

#endif
