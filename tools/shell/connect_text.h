// connect_text.h - turns a connect text as a person types or pastes it into
// the bytes the connect request receives, and names a connection for the
// prompt without showing its password.
//
// Scrambled values hold control bytes, so the scrambler prints them in two
// notations, and both are read back here:
// - escaped: \xHH for a byte, \\ and \" for a backslash and a quote; the
//   whole text may stand in double quotes, and an "escaped:" label in front
//   (as the scrambler prints it) is dropped;
// - hexadecimal: two-digit groups separated by single spaces, either for the
//   whole text (which then begins with 2D, the hyphen of "-host=", or carries
//   a "hex:" label) or for one value, which then begins with 01, 02 or 03,
//   the byte that tells a scrambled value's form.
// The library itself decodes the scrambled forms; this only restores bytes.
#ifndef RORI_SHELL_CONNECT_TEXT_H
#define RORI_SHELL_CONNECT_TEXT_H

#include <string>
#include <vector>

// False, with the reason in *problem, for a text that cannot be sent (a NUL
// byte, a bad hexadecimal group after "hex:", or nothing at all).
bool decode_connect_text(const std::string &typed, std::string *bytes, std::string *problem);

// "demo", "demo as ann", or "(scrambled)" for a scrambled data source name.
std::string connection_label(const std::string &bytes);

// A keyword of the connect request ("host", "pw", ...).
bool is_connect_keyword(const std::string &key);
// The first key that is no keyword: the connect request reads no settings
// after it. Empty when every key is known.
std::string unknown_connect_key(const std::string &bytes);
// The keys that are accepted but change nothing ("db", "port", "sockfile",
// "flags"): the data source's own settings decide those.
std::vector<std::string> keys_without_effect(const std::string &bytes);

// A text with a bare -pw (no "=", and no value after it) asks for the
// password to be typed; the -pw is taken off. "-pw VALUE", as other
// clients take a password, becomes -pw=VALUE.
bool take_password_request(std::string *typed);
// The connect text with a typed password added (a bare data source name
// becomes -host=NAME).
std::string with_password(const std::string &bytes, const std::string &password);

// The settings ("-user", "-pw") that stand after a separator other than one
// space, or after such a setting, and that the connect request therefore
// does not read: it ends a value only at a space followed by a hyphen, and
// skips one character before each key. Empty when it reads them all.
std::vector<std::string> unread_settings(const std::string &bytes);

// A line as the history keeps it. In a \connect (or \c) line, "***" stands
// for the value of every key that ends in "pw", "pwd" or "password" (any
// case, with or without a hyphen, KEY=VALUE or KEY VALUE), and for every
// word after the data source and the user (\c DSN USER PASSWORD). A line
// whose notation hides a password in its bytes is kept without its text.
std::string history_text(const std::string &line);

#endif
