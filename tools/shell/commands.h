// commands.h - the backslash commands: the table of names, arguments and
// help texts, and the code of each command.
#ifndef RORI_SHELL_COMMANDS_H
#define RORI_SHELL_COMMANDS_H

#include <string>

class session;

// Runs one command line ("\tables", "\connect -host=demo", ...).
void run_command(session &s, const std::string &line);

// The list of commands with their arguments and a line of help each.
std::string commands_help();

#endif
