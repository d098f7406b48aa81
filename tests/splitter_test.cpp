// splitter_test.cpp - the shell cuts statements where each database would:
// dollar-quoted bodies and E'' escapes on PostgreSQL, backslash escapes and
// # comments on MariaDB, trigger and routine bodies, and a shell command
// after a statement on the same line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "splitter.h"

namespace {

struct split_result {
    std::vector<std::string> statements;
    std::vector<std::string> commands;
    std::vector<std::string> problems;
    std::string pending;
};

split_result split(sql_dialect dialect, const std::vector<std::string> &lines) {
    statement_splitter s;
    s.set_dialect(dialect);
    split_result r;
    for (const std::string &line : lines) {
        split_line out;
        s.add_line(line, &out);
        r.statements.insert(r.statements.end(), out.statements.begin(), out.statements.end());
        if (!out.command.empty()) r.commands.push_back(out.command);
        if (!out.problem.empty()) r.problems.push_back(out.problem);
    }
    r.pending = s.take_pending();
    return r;
}

using lines = std::vector<std::string>;

TEST(splitter, dialect_comes_from_the_driver_name) {
    EXPECT_EQ(dialect_of_driver("libsqlite3odbc.so"), sql_dialect::sqlite);
    EXPECT_EQ(dialect_of_driver("psqlodbcw.so"), sql_dialect::postgresql);
    EXPECT_EQ(dialect_of_driver("PSQLODBC35W.DLL"), sql_dialect::postgresql);
    EXPECT_EQ(dialect_of_driver("libmaodbc.so"), sql_dialect::mariadb);
    EXPECT_EQ(dialect_of_driver("unknown.so"), sql_dialect::standard);
}

TEST(splitter, postgresql_bodies_and_escape_strings) {
    split_result r = split(sql_dialect::postgresql,
                           {"CREATE FUNCTION f() RETURNS int AS $$", "BEGIN", "  RETURN 1;", "end;", "$$ LANGUAGE plpgsql;",
                            "SELECT $q$ it's; $$ $q$, E'a\\'; b', 'c\\';"});
    ASSERT_EQ(r.statements.size(), 2u);
    EXPECT_EQ(r.statements[0], "CREATE FUNCTION f() RETURNS int AS $$\nBEGIN\n  RETURN 1;\nend;\n$$ LANGUAGE plpgsql");
    EXPECT_EQ(r.statements[1], "SELECT $q$ it's; $$ $q$, E'a\\'; b', 'c\\'");
    // $1 is a parameter, not a tag: the statement ends at its semicolon.
    EXPECT_EQ(split(sql_dialect::postgresql, {"SELECT $1; SELECT 2;"}).statements.size(), 2u);
}

TEST(splitter, mariadb_backslashes_comments_and_routines) {
    split_result r = split(sql_dialect::mariadb,
                           {"INSERT INTO t VALUES ('a\\'; b', \"c\\\";\"); # not; sent",
                            "CREATE DEFINER=`ann`@`%` PROCEDURE p()", "BEGIN", "  IF 1 THEN SELECT 1; END IF;",
                            "  SELECT CASE WHEN 1 THEN 2 END;", "END;"});
    ASSERT_EQ(r.statements.size(), 2u);
    EXPECT_EQ(r.statements[0], "INSERT INTO t VALUES ('a\\'; b', \"c\\\";\")");
    EXPECT_EQ(r.statements[1].substr(r.statements[1].size() - 4), "\nEND");
    EXPECT_EQ(r.pending, "");
    // A column named like a routine does not make a table a routine.
    EXPECT_EQ(split(sql_dialect::mariadb, {"CREATE TABLE e (event TEXT, begin INT); SELECT 1;"}).statements.size(), 2u);
    // Standard SQL has no backslash escapes: the quote ends the text.
    EXPECT_EQ(split(sql_dialect::standard, {"SELECT 'a\\'; SELECT 2;"}).statements.size(), 2u);
}

TEST(splitter, sqlite_trigger_body_and_a_transaction) {
    split_result r = split(sql_dialect::sqlite, {"BEGIN;", "CREATE TRIGGER tr AFTER INSERT ON t BEGIN",
                                                 "  UPDATE t SET x = 1; DELETE FROM u;", "END; COMMIT;"});
    ASSERT_EQ(r.statements.size(), 3u);
    EXPECT_EQ(r.statements[0], "BEGIN");
    EXPECT_EQ(r.statements[2], "COMMIT");
}

TEST(splitter, command_after_a_statement_and_unfinished_text) {
    split_result r = split(sql_dialect::sqlite, {"SELECT 1; SELECT '\\x' \\o out.txt", "\\echo hi"});
    EXPECT_EQ(r.statements, lines{"SELECT 1"});
    EXPECT_EQ(r.commands, (lines{"\\o out.txt", "\\echo hi"}));
    EXPECT_EQ(r.pending, "SELECT '\\x'");
}

} // namespace
