// odbc_env.cpp - writes the private ODBC configuration used by the tests.
//
// Under Wine the driver manager runs on the unix side and reads ODBCSYSINI
// and ODBCINI from the environment Wine was started with, so there the
// folder and the user file are given from outside (scripts/wine-run.sh
// exports both) and the files are written where they point, through Wine's
// mapping of unix paths. Everywhere else a fresh temporary folder is made.
#include "support/odbc_env.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#ifndef RORI_SQLITE_DRIVER
#define RORI_SQLITE_DRIVER "/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so"
#endif

static void write_file(const std::string &path, const std::string &text) {
    FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

#if defined(_WIN32)
static std::string given_path(const char *name) {
    const char *v = std::getenv(name);
    if (v == nullptr || *v == '\0') {
        std::fprintf(stderr, "%s is not set: run this program through scripts/wine-run.sh\n", name);
        std::abort();
    }
    return v;
}
#endif

// The folder of the configuration files and the user file in it, with the
// environment of the driver manager pointing at them.
static void choose_paths(std::string &dir, std::string &user_ini) {
#if defined(_WIN32)
    dir = given_path("ODBCSYSINI");
    user_ini = given_path("ODBCINI");
#else
    const char *base = std::getenv("TMPDIR");
    dir = std::string(base ? base : "/tmp") + "/rori-test-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) std::abort();
    user_ini = dir + "/user-odbc.ini";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", user_ini.c_str(), 1);
#endif
}

// KEY=VALUE lines of the servers' env file; nothing when there is none.
static std::map<std::string, std::string> read_servers_env(const std::string &path) {
    std::map<std::string, std::string> facts;
    FILE *f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (f == nullptr) return facts;
    char line[1024];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        size_t eq = l.find('=');
        if (eq != std::string::npos && eq > 0) facts[l.substr(0, eq)] = l.substr(eq + 1);
    }
    std::fclose(f);
    for (const char *key : {"RORI_PG_DRIVER", "RORI_MARIA_DRIVER", "RORI_DB_NAME", "RORI_PG_PORT",
                            "RORI_PG_SPARE_PORT", "RORI_MARIA_PORT", "RORI_MARIA_SPARE_PORT",
                            "RORI_UNUSED_PORT"}) {
        if (facts.count(key) == 0) {
            std::fprintf(stderr, "%s lacks %s: servers ignored\n", path.c_str(), key);
            facts.clear();
            break;
        }
    }
    return facts;
}

// Driver sections and data sources of the servers.
static void declare_servers(const std::map<std::string, std::string> &s, std::string &drivers,
                            std::string &sources) {
    const std::string db = s.at("RORI_DB_NAME");
    drivers += "\n[PostgreSQL]\nDescription=PostgreSQL ODBC driver\nDriver=" + s.at("RORI_PG_DRIVER") +
               "\n\n[MariaDB]\nDescription=MariaDB ODBC driver\nDriver=" + s.at("RORI_MARIA_DRIVER") + "\n";
    auto pg = [&](const char *name, const std::string &port, const char *extra) {
        sources += std::string("\n[") + name + "]\nDescription=PostgreSQL " + name +
                   "\nDriver=PostgreSQL\nServername=127.0.0.1\nPort=" + port + "\nDatabase=" + db + "\n" +
                   extra;
    };
    auto maria = [&](const char *name, const std::string &port) {
        sources += std::string("\n[") + name + "]\nDescription=MariaDB " + name +
                   "\nDriver=MariaDB\nServer=127.0.0.1\nPort=" + port + "\nDatabase=" + db + "\n";
    };
    pg("pg", s.at("RORI_PG_PORT"), "");
    pg("pg_spare", s.at("RORI_PG_SPARE_PORT"), "UseDeclareFetch=1\nFetch=10\n");
    pg("pg_nowhere", s.at("RORI_UNUSED_PORT"), "");
    maria("maria", s.at("RORI_MARIA_PORT"));
    maria("maria_spare", s.at("RORI_MARIA_SPARE_PORT"));
    maria("maria_nowhere", s.at("RORI_UNUSED_PORT"));
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
    std::string user_ini;
    choose_paths(env_instance->dir, user_ini);
    env_instance->db_path = env_instance->dir + "/demo.db";
    const char *servers_env = std::getenv("RORI_SERVERS_ENV");
    env_instance->servers_env = servers_env ? servers_env : "";
    env_instance->servers = read_servers_env(env_instance->servers_env);
    std::string drivers = "[SQLite3]\nDescription=SQLite3 ODBC driver\nDriver=" RORI_SQLITE_DRIVER "\n\n"
                          "[Missing]\nDescription=a driver that is not installed\nDriver=/nonexistent/libmissing.so\n";
    std::string sources = "[demo]\nDescription=demo database\nDriver=SQLite3\nDatabase=" + env_instance->db_path +
                          "\nTimeout=2000\n";
    if (!env_instance->servers.empty()) declare_servers(env_instance->servers, drivers, sources);
    write_file(env_instance->dir + "/odbcinst.ini", drivers);
    write_file(user_ini, sources);
    write_file(env_instance->dir + "/odbc.ini",
               "[second]\nDescription=second database\nDriver=SQLite3\nDatabase=" +
                   env_instance->dir + "/second.db\n\n"
                   "[broken]\nDescription=a data source whose driver is missing\nDriver=Missing\n");
    std::atexit(remove_dir_at_exit);
    return *env_instance;
}

void reset_demo_db() {
    const odbc_env &e = test_odbc_env();
    std::remove(e.db_path.c_str());
}
