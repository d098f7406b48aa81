// split_file.cpp - prints the statements that the shell's splitter cuts a
// script into, each followed by a NUL byte, for the differential test of
// the SQLite dialect, whose library logs nothing a test could read.
// Usage: rori_split_file DIALECT FILE, DIALECT being sqlite, postgresql or
// mariadb.
#include <cstdio>
#include <cstring>
#include <string>

#include "splitter.h"

namespace {

bool dialect_named(const char *name, sql_dialect *dialect) {
    const sql_dialect all[] = {sql_dialect::sqlite, sql_dialect::postgresql, sql_dialect::mariadb};
    const char *names[] = {"sqlite", "postgresql", "mariadb"};
    for (size_t i = 0; i < sizeof all / sizeof all[0]; ++i)
        if (std::strcmp(name, names[i]) == 0) *dialect = all[i];
    return *dialect != sql_dialect::standard;
}

void print(const std::string &statement) {
    std::fwrite(statement.data(), 1, statement.size(), stdout);
    std::fputc('\0', stdout);
}

} // namespace

int main(int argc, char **argv) {
    sql_dialect dialect = sql_dialect::standard;
    std::FILE *f = argc == 3 && dialect_named(argv[1], &dialect) ? std::fopen(argv[2], "rb") : nullptr;
    if (f == nullptr) {
        std::fputs("usage: rori_split_file sqlite|postgresql|mariadb FILE\n", stderr);
        return 2;
    }
    statement_splitter splitter;
    splitter.set_dialect(dialect);
    std::string line;
    int c = 0;
    while (c != EOF) {
        c = std::fgetc(f);
        if (c != '\n' && c != EOF) {
            line += static_cast<char>(c);
            continue;
        }
        if (c == EOF && line.empty()) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        split_line out;
        splitter.add_line(line, &out);
        for (const std::string &s : out.statements) print(s);
        line.clear();
    }
    std::string rest = splitter.take_pending();
    if (!rest.empty()) print(rest);
    std::fclose(f);
    return 0;
}
