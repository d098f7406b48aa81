// odbc_env.cpp - writes the private ODBC configuration used by the tests.
#include "support/odbc_env.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef RORI_SQLITE_DRIVER
#define RORI_SQLITE_DRIVER "/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so"
#endif

static void write_file(const std::string &path, const std::string &text) {
    FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr) std::abort();
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

static void set_env(const char *name, const std::string &value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

static std::string make_temp_dir() {
#if defined(_WIN32)
    // Under Wine the unix side reads the files: the folder is given from outside.
    const char *d = std::getenv("RORI_TEST_DIR");
    return d ? d : ".";
#else
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base ? base : "/tmp") + "/rori-test-XXXXXX";
    if (mkdtemp(&templ[0]) == nullptr) std::abort();
    return templ;
#endif
}

static odbc_env *env_instance = nullptr;

static void remove_dir_at_exit() {
#if !defined(_WIN32)
    if (env_instance == nullptr || std::getenv("RORI_KEEP_TEST_DIR")) return;
    std::string cmd = "rm -rf '" + env_instance->dir + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
#endif
}

const odbc_env &test_odbc_env() {
    if (env_instance != nullptr) return *env_instance;
    env_instance = new odbc_env;
    env_instance->dir = make_temp_dir();
    env_instance->db_path = env_instance->dir + "/demo.db";
    write_file(env_instance->dir + "/odbcinst.ini",
               "[SQLite3]\nDescription=SQLite3 ODBC driver\nDriver=" RORI_SQLITE_DRIVER "\n\n"
               "[Missing]\nDescription=a driver that is not installed\nDriver=/nonexistent/libmissing.so\n");
    write_file(env_instance->dir + "/user-odbc.ini",
               "[demo]\nDescription=demo database\nDriver=SQLite3\nDatabase=" + env_instance->db_path +
                   "\nTimeout=2000\n");
    write_file(env_instance->dir + "/odbc.ini",
               "[second]\nDescription=second database\nDriver=SQLite3\nDatabase=" +
                   env_instance->dir + "/second.db\n\n"
                   "[broken]\nDescription=a data source whose driver is missing\nDriver=Missing\n");
    set_env("ODBCSYSINI", env_instance->dir);
    set_env("ODBCINI", env_instance->dir + "/user-odbc.ini");
    std::atexit(remove_dir_at_exit);
    return *env_instance;
}

void reset_demo_db() {
    const odbc_env &e = test_odbc_env();
    std::remove(e.db_path.c_str());
}
