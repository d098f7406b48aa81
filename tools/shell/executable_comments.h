// executable_comments.h - MariaDB's executable comments, /*!NNNNN body */
// and /*M!NNNNNN body */, in a statement made of nothing else. The server
// runs such a body as a statement of its own when its version allows; the
// MariaDB driver mishandles the statement when it arrives wrapped (the
// connection is left out of sync), so the shell sends the body itself.
#ifndef RORI_SHELL_EXECUTABLE_COMMENTS_H
#define RORI_SHELL_EXECUTABLE_COMMENTS_H

#include <string>

// The server's version as these comments number it, from the driver's
// DBMS version text: "10.11.000019" is 101119; 0 when it cannot be read.
long comment_version_of(const std::string &dbms_version);

// True when sql holds executable comments and nothing else but spaces;
// *body is then what the server runs of them: the bodies without their
// marks whose version is at most server_version (or that carry none),
// joined by spaces, and empty when none runs. False too for a SET NAMES
// body, which the driver passes on only inside its comment.
bool executable_comments_only(const std::string &sql, long server_version, std::string *body);

#endif
