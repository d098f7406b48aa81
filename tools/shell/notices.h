// notices.h - what the server says beside a statement that succeeded:
// PostgreSQL's notices (RAISE NOTICE, RAISE WARNING and the server's own),
// which its driver hands over as the message of a success with
// information, shown one a line as psql shows them; and MariaDB's warnings,
// which its driver does not report, read with SHOW WARNINGS after each
// statement while the mariadb client's \W is on.
#ifndef RORI_SHELL_NOTICES_H
#define RORI_SHELL_NOTICES_H

#include <string>
#include <vector>

#include "formats.h"

// The notices that a driver's message is made of, each as psql writes it
// ("NOTICE:  text"); empty when the message is no list of notices. The
// PostgreSQL driver joins several notices with ';', the library gives
// several records one a line.
std::vector<std::string> notice_lines(const std::string &message);

// The rows of SHOW WARNINGS (level, code, message) as the mariadb client
// writes them: "Warning (Code 1265): Data truncated for column 'a' at row 1".
std::vector<std::string> warning_lines(const std::vector<row> &rows);

#endif
