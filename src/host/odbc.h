// odbc.h - the ODBC headers of the platform's driver manager, and the one
// success test that all handlers share.
#ifndef RORI_ODBC_H
#define RORI_ODBC_H

#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

inline bool sql_ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

#endif
