// odbc_env.h - a private ODBC configuration for one test process: a
// temporary folder with odbcinst.ini and odbc.ini, pointed at by ODBCSYSINI
// and ODBCINI, declaring the SQLite3 driver and a DSN on a temporary file.
// When the database servers of scripts/servers.sh run (RORI_SERVERS_ENV
// names their env file), their drivers and data sources are declared too.
#ifndef RORI_TEST_ODBC_ENV_H
#define RORI_TEST_ODBC_ENV_H

#include <map>
#include <string>

struct odbc_env {
    std::string dir;     // the temporary folder
    std::string db_path; // the SQLite file of the "demo" DSN
    // The facts of the servers' env file (KEY -> value); empty when the
    // servers are not running or RORI_SERVERS_ENV is not set.
    std::map<std::string, std::string> servers;
    std::string servers_env; // the env file's path, as RORI_SERVERS_ENV gives it
};

// Creates the configuration once per process and returns it. The user DSN
// "demo" is the main one; the system DSN "second" uses another file; the
// system DSN "broken" names a driver library that does not exist.
// With the servers: user DSNs "pg" and "maria" on the shared servers,
// "pg_spare" (cursor-based fetch: UseDeclareFetch=1) and "maria_spare" on
// the spare servers that fault tests stop, and "pg_nowhere" and
// "maria_nowhere" on a port where nothing listens.
const odbc_env &test_odbc_env();

// Removes and recreates the demo database file (empty).
void reset_demo_db();

#endif
