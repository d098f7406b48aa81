// splitter_test.cpp - the shell cuts statements where each database's own
// client would: dollar-quoted bodies, nested comments, parentheses and
// standard_conforming_strings on PostgreSQL; DELIMITER, executable comments
// and compound statements on MariaDB; bracketed names and trigger bodies on
// SQLite; a shell command after a statement on the same line; and what the
// shell learns from a PostgreSQL statement (COPY through the client, SET
// standard_conforming_strings).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "executable_comments.h"
#include "pg_statements.h"
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
    // As the mariadb client does, a comment after the terminator goes with the statement.
    EXPECT_EQ(r.statements[0], "INSERT INTO t VALUES ('a\\'; b', \"c\\\";\") # not; sent");
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
    EXPECT_EQ(r.pending, "SELECT '\\x' ");
}

TEST(splitter, postgresql_as_psql_reads_it) {
    // A comment inside a comment: the DELETE is commented out.
    split_result r = split(sql_dialect::postgresql, {"/* off:", "  /* old */", "  DELETE FROM t;", "*/",
                                                     "SELECT count(*) FROM t; -- gone", "", "SELECT 1 -- kept", "",
                                                     ";"});
    EXPECT_EQ(r.statements, (lines{"/* off:\n  /* old */\n  DELETE FROM t;\n*/\nSELECT count(*) FROM t",
                                   "SELECT 1 -- kept\n"}));
    // Semicolons inside parentheses and inside BEGIN ATOMIC ... END.
    r = split(sql_dialect::postgresql, {"CREATE RULE r AS ON UPDATE TO a DO (UPDATE b SET x = 1; UPDATE c SET x = 2);",
                                        "CREATE FUNCTION f() RETURNS int BEGIN ATOMIC",
                                        "SELECT CASE WHEN 1 = 1 THEN 1 END;",
                                        "END; SELECT 2;"});
    ASSERT_EQ(r.statements.size(), 3u);
    EXPECT_EQ(r.statements[2], "SELECT 2");
    // '$' goes on a name, but after a number it opens a dollar quote.
    r = split(sql_dialect::postgresql, {"SELECT a$b$ FROM t; SELECT 1$$;$$;", "SELECT 2;"});
    EXPECT_EQ(r.statements, (lines{"SELECT a$b$ FROM t", "SELECT 1$$;$$", "SELECT 2"}));
    // Without standard_conforming_strings a backslash escapes in '...'.
    statement_splitter s;
    s.set_dialect(sql_dialect::postgresql);
    s.set_standard_strings(false);
    split_line out;
    s.add_line("SELECT 'it\\'s; here'; \\echo x", &out);
    EXPECT_EQ(out.statements, lines{"SELECT 'it\\'s; here'"});
    EXPECT_EQ(out.command, "\\echo x");
}

TEST(splitter, mariadb_as_its_client_reads_it) {
    split_result r = split(sql_dialect::mariadb,
                           {"DELIMITER //", "CREATE PROCEDURE p() BEGIN INSERT INTO a SELECT * FROM o;",
                            "DELETE FROM o;",
                            "END //", "delimiter $$", "SELECT 'a$$b' $$ SELECT 2$$", "DELIMITER", "DELIMITER a\\b",
                            "DELIMITER ;", "SELECT 1 /*! + 1 */, 2 /*M! + 1 */, /*+ hint */ 3;", "SELECT 5--2;",
                            "SELECT 6 -- c;", ";", "  --DELETE FROM t;", "SELECT 7;--x",
                            "SELECT 8\\G SELECT 9\\g", "\\d //", "SELECT 10; //", "\\d ;", "SELECT \\N;"});
    EXPECT_EQ(r.statements, (lines{"CREATE PROCEDURE p() BEGIN INSERT INTO a SELECT * FROM o;\nDELETE FROM o;\nEND",
                                   "SELECT 'a$$b'", "SELECT 2",
                                   "SELECT 1 /*! + 1 */, 2 /*M! + 1 */, /*+ hint */ 3", "SELECT 5--2",
                                   "SELECT 6 -- c;", "SELECT 7", "SELECT 8", "SELECT 9",
                                   "SELECT 10;", "SELECT \\N"}));
    EXPECT_EQ(r.problems.size(), 2u);
    // Compound statements of every kind stay whole with ';' as terminator.
    const lines whole[] = {
        {"BEGIN NOT ATOMIC DECLARE end INT DEFAULT 1; SET end = end + 1; SELECT end; END;"},
        {"lbl: BEGIN NOT ATOMIC", "  l2: LOOP LEAVE l2; END LOOP l2;", "  SELECT CASE WHEN 1 THEN 2 END;", "END lbl;"},
        {"IF @a > 0 THEN SELECT 1; ELSEIF @a < 0 THEN SELECT IF(1, 2, 3); END IF;"},
        {"CREATE TRIGGER t BEFORE INSERT ON x FOR EACH ROW IF NEW.a THEN SET NEW.b = 1; END IF;"},
        {"CREATE PACKAGE pkg AS FUNCTION f RETURN INT; PROCEDURE p; END;"},
        {"CREATE PROCEDURE p AS BEGIN NULL; END;"},
        {"/*!50003 CREATE*/ /*!50003 TRIGGER t AFTER INSERT ON x FOR EACH ROW BEGIN SET @a = 1; END */;"},
        {"CREATE PACKAGE BODY pkg AS v INT; FUNCTION f RETURN INT AS BEGIN RETURN 1; END;",
         "PROCEDURE p IS BEGIN NULL; END; BEGIN v := 1; END;"},
    };
    for (const lines &text : whole) {
        split_result w = split(sql_dialect::mariadb, text);
        EXPECT_EQ(w.statements.size(), 1u) << text[0];
        EXPECT_EQ(w.pending, "") << text[0];
    }
    // ...while BEGIN alone starts a transaction, and BEGIN and END as names make no body.
    EXPECT_EQ(split(sql_dialect::mariadb, {"BEGIN; CREATE TABLE e (begin INT, end INT); SELECT 1;"}).statements.size(),
              3u);
}

TEST(splitter, sqlite_as_sqlite3_complete_reads_it) {
    split_result r = split(sql_dialect::sqlite, {"SELECT [a;b], `c;d` FROM t;", "/* only a comment */",
                                                 "CREATE TEMP TRIGGER tr AFTER INSERT ON t BEGIN",
                                                 "  UPDATE t SET a = CASE WHEN 1 THEN 2 END; END; SELECT 3;"});
    EXPECT_EQ(r.statements, (lines{"SELECT [a;b], `c;d` FROM t",
                                   "CREATE TEMP TRIGGER tr AFTER INSERT ON t BEGIN\n"
                                   "  UPDATE t SET a = CASE WHEN 1 THEN 2 END; END",
                                   "SELECT 3"}));
}

TEST(splitter, postgresql_copy_through_the_client_and_standard_strings) {
    EXPECT_EQ(client_copy_of("COPY t (a, b) FROM stdin WITH (FORMAT csv)"), client_copy::from_stdin);
    EXPECT_EQ(client_copy_of("/* x */ copy (SELECT 'TO STDOUT' FROM stdin_t) TO STDOUT"), client_copy::to_stdout);
    EXPECT_EQ(client_copy_of("COPY t FROM '/tmp/t.csv'"), client_copy::none);
    EXPECT_EQ(client_copy_of("SELECT 'COPY t FROM STDIN'"), client_copy::none);
    bool on = true;
    EXPECT_TRUE(sets_standard_strings("SET standard_conforming_strings = 'off'", &on));
    EXPECT_FALSE(on);
    EXPECT_TRUE(sets_standard_strings("SET SESSION standard_conforming_strings TO on", &on));
    EXPECT_TRUE(on);
    EXPECT_FALSE(sets_standard_strings("SET standard_conforming_strings_x = off", &on));
    EXPECT_FALSE(sets_standard_strings("SET LOCAL standard_conforming_strings = off", &on));
    // MariaDB's sql_mode, whose NO_BACKSLASH_ESCAPES makes a backslash plain.
    EXPECT_TRUE(sets_no_backslash_escapes("SET @@SESSION.sql_mode = \"ANSI,NO_BACKSLASH_ESCAPES\"", &on));
    EXPECT_TRUE(on);
    EXPECT_TRUE(sets_no_backslash_escapes("set sql_mode = 'NO_BACKSLASH_ESCAPES_X'", &on));
    EXPECT_FALSE(on);
    EXPECT_FALSE(sets_no_backslash_escapes("SET GLOBAL sql_mode = 'NO_BACKSLASH_ESCAPES'", &on));
    // The inline data of a refused COPY is skipped up to \. and never split.
    statement_splitter s;
    s.set_dialect(sql_dialect::postgresql);
    s.skip_copy_data();
    split_line out;
    for (const char *line : {"1\tDELETE FROM t;", "\\.", "SELECT 1;"}) s.add_line(line, &out);
    EXPECT_EQ(out.statements, lines{"SELECT 1"});
}

// CR LF line ends, the clients' own line commands, and what the server runs
// of a MariaDB statement made of executable comments.
TEST(splitter, scripts_as_the_clients_read_them) {
    // The CR stays in a PostgreSQL literal that spans lines, nowhere else.
    split_result r = split(sql_dialect::postgresql, {"SELECT 'a\r", "b',\r", "1;\r"});
    EXPECT_EQ(r.statements, lines{"SELECT 'a\r\nb',\n1"});
    EXPECT_EQ(split(sql_dialect::mariadb, {"SELECT 'a\r", "b';\r"}).statements, lines{"SELECT 'a\nb'"});
    // source and dot-commands only while nothing is pending.
    r = split(sql_dialect::mariadb, {"  Source a.sql", "SELECT 1,", "source", "; sources b"});
    EXPECT_EQ(r.commands, lines{"Source a.sql"});
    EXPECT_EQ(r.statements, lines{"SELECT 1,\nsource"});
    EXPECT_EQ(r.pending, "sources b");
    r = split(sql_dialect::sqlite, {".mode csv", "SELECT 1 +", ".5;", " .x"});
    EXPECT_EQ(r.commands, lines{".mode csv"});
    EXPECT_EQ(r.statements, lines{"SELECT 1 +\n.5"});
    EXPECT_TRUE(split(sql_dialect::postgresql, {".mode csv"}).commands.empty());

    EXPECT_EQ(comment_version_of("10.11.000019"), 101119);
    std::string body;
    EXPECT_TRUE(executable_comments_only(" /*!50503 select '*/' */ /*M! , 2*/ /*!999999 x */", 101119, &body));
    EXPECT_EQ(body, "select '*/'   , 2");
    EXPECT_TRUE(executable_comments_only("/*!100000 SELECT 1 */", 50700, &body));
    EXPECT_EQ(body, "");
    EXPECT_FALSE(executable_comments_only("SELECT 1 /*!, 2 */", 101119, &body));
    EXPECT_FALSE(executable_comments_only("/*!40101 SET NAMES utf8mb4 */", 101119, &body));
}

} // namespace
