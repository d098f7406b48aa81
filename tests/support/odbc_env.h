// odbc_env.h - a private ODBC configuration for one test process: a
// temporary folder with odbcinst.ini and odbc.ini, pointed at by ODBCSYSINI
// and ODBCINI, declaring the SQLite3 driver and a DSN on a temporary file.
#ifndef RORI_TEST_ODBC_ENV_H
#define RORI_TEST_ODBC_ENV_H

#include <string>

struct odbc_env {
    std::string dir;     // the temporary folder
    std::string db_path; // the SQLite file of the "demo" DSN
};

// Creates the configuration once per process and returns it. The user DSN
// "demo" is the main one; the system DSN "second" uses another file; the
// system DSN "broken" names a driver library that does not exist.
const odbc_env &test_odbc_env();

// Removes and recreates the demo database file (empty).
void reset_demo_db();

#endif
