#!/usr/bin/env python3
"""compare.py - runs each script of the corpus through the database's own
client and through roridorezu-shell, and checks that the server received
the same statements from both, apart from leading whitespace and the final
semicolon.

PostgreSQL: psql against the test server; the statements come from the
server's log (log_statement = all, scripts/servers.sh). MariaDB: the mariadb
client with --comments (so that, like the shell, it sends comments with the
statements), and the general query log. Only the statements of the test's
own user are read, so other tests using the servers at the same time do not
count. SQLite has no log: there the shell's splitter (rori_split_file) is
compared with sqlite3_complete(), through Python's sqlite3 module, fed line
by line as the sqlite3 shell feeds it (which runs an unfinished text at
the end of the input as it is); as the shell leaves comments out of
SQLite statements (its driver refuses a semicolon in them), they are left
out of the oracle's statements too.

Also compared: a dump that mariadb-dump --routines --triggers writes of a
database with a table, a trigger, a procedure and a view; after the shell
restored it, the row with id 0 must still have id 0.

Environment: RORI_SHELL (the shell), RORI_SPLIT_FILE (rori_split_file),
RORI_SERVERS_ENV (the servers' env file), RORI_KEEP_TEST_DIR (keep the work
folder).
"""
import glob
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
USER = "rori_split"
PASSWORD = "split-pw-1"
SHELL_SECONDS = 60

# Statements a client or driver sends of its own when it connects; they are
# no part of any script.
SETUP_STATEMENTS = {
    # psqlODBC
    "SET DateStyle = 'ISO';SET extra_float_digits = 2;show transaction_isolation",
    "select oid, typbasetype from pg_type where typname = 'lo'",
    # MariaDB Connector/ODBC
    "SET SESSION SQL_AUTO_IS_NULL=0",
    "SET autocommit=1",
    "SET session_track_schema= ON",
    "SET session_track_system_variables='autocommit,tx_isolation'",
}

# What psqlODBC adds of its own while the shell runs a script: inside a
# transaction it puts each statement behind a savepoint ("SAVEPOINT
# _EXEC_SVP_...;" before it, RELEASE after it) so that a failure undoes that
# statement only, and it reads the catalog to describe a result's columns.
DRIVER_SAVEPOINT = re.compile(r"^SAVEPOINT _EXEC_SVP_\w+;")
DRIVER_QUERIES = re.compile(r"^(RELEASE _EXEC_SVP_\w+$|ROLLBACK TO _EXEC_SVP_\w+$|"
                            r"select n\.nspname, c\.relname, a\.attname, a\.atttypid)")

# The shell refuses a COPY that moves rows through the client (the driver
# would wait for them for ever); psql runs it. Such statements are taken
# out of psql's list; their inline data must reach the server from neither.
CLIENT_COPY = re.compile(r"^COPY\b.*\b(FROM\s+STDIN|TO\s+STDOUT)\b", re.I | re.S)


def read_env(path):
    facts = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            if key:
                facts[key] = value
    return facts


def run(args, **kw):
    return subprocess.run(args, stdin=kw.pop("stdin", subprocess.DEVNULL), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, **kw)


def normalized(statement):
    s = statement.lstrip(" \t\r\n\f\v")
    return s[:-1] if s.endswith(";") else s


EXECUTABLE = re.compile(r"/\*M?!(\d{6}|\d{5})?(.*?)\*/", re.S)


def as_the_shell_sends(statement, version):
    """The shell sends of a MariaDB statement made of executable comments only
    the bodies that the server runs: those whose version number is at most
    the server's, or that carry none; None when no body runs. SET NAMES, which
    the MariaDB driver refuses bare, goes in its comment."""
    if EXECUTABLE.sub("", statement).strip() != "" or not EXECUTABLE.search(statement):
        return statement
    bodies = [body for number, body in EXECUTABLE.findall(statement) if not number or int(number) <= version]
    text = " ".join(bodies).strip()
    if re.match(r"SET\s+NAMES", text, re.I):
        return statement  # the driver takes SET NAMES only in its comment
    return text or None


def only_comments(statement):
    """A MariaDB text of nothing but comments (the mariadb client sends a
    line comment that stands before a statement as a query of its own)."""
    s = re.sub(r"/\*(?![!M+])(?:.|\n)*?\*/|(#|--)[^\n]*", "", statement)
    return s.strip() == ""


class Server:
    """An instance of scripts/servers.sh, its log, and the data source of
    the test's user on it."""

    def __init__(self, facts):
        folder, port_key, log_name = self.where
        self.dir = os.path.join(facts["RORI_SERVERS_DIR"], folder)
        self.port = facts[port_key]
        self.log = os.path.join(self.dir, log_name)
        self.section = "[%s]\n%s\nPort=%s\nDatabase=%s\n" % (self.dsn, self.driver, self.port, USER)
        self.make_user()


class Postgres(Server):
    name, pattern, dsn = "postgresql", "pg_*.sql", "split_pg"
    where = ("pg", "RORI_PG_PORT", "server.log")
    driver = "Driver=PostgreSQL\nServername=127.0.0.1"

    def make_user(self):
        self.admin("DROP DATABASE IF EXISTS %s WITH (FORCE)" % USER, "DROP ROLE IF EXISTS %s" % USER,
                   "CREATE ROLE %s LOGIN PASSWORD '%s'" % (USER, PASSWORD))

    def admin(self, *statements):
        args = ["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", self.dir, "-p", self.port, "-U", "rori_admin",
                "-d", "postgres"]
        for s in statements:
            args += ["-c", s]
        r = run(args)
        if r.returncode != 0:
            sys.exit("psql as rori_admin failed: " + r.stdout.decode(errors="replace"))

    def fresh_database(self):
        self.admin("DROP DATABASE IF EXISTS %s WITH (FORCE)" % USER, "CREATE DATABASE %s OWNER %s" % (USER, USER))

    def run_native(self, script):
        env = dict(os.environ, PGPASSWORD=PASSWORD)
        run(["psql", "-X", "-q", "-h", "127.0.0.1", "-p", self.port, "-U", USER, "-d", USER, "-f", script], env=env)

    def statements(self, log_text):
        """LOG: statement / execute lines of the test's user; a logged text
        goes on over the following lines, each led by a tab."""
        entries = []
        start = re.compile(r"^\d{4}-\d\d-\d\d [\d:.]+ \w+ \[\d+\] (\S*)@\S* (\w+):  (.*)$")
        for line in log_text.split("\n"):
            m = start.match(line)
            if m:
                entries.append([m.group(1), m.group(2), m.group(3)])
            elif line.startswith("\t") and entries:
                entries[-1][2] += "\n" + line[1:]
        out = []
        for user, level, text in entries:
            m = re.match(r"(?:statement|execute [^:]*): ((?:.|\n)*)$", text)
            if user == USER and level == "LOG" and m:
                out.append(m.group(1))
        return out


class Maria(Server):
    name, pattern, dsn = "mariadb", "maria_*.sql", "split_maria"
    where = ("maria", "RORI_MARIA_PORT", "general.log")
    driver = "Driver=MariaDB\nServer=127.0.0.1"

    def make_user(self):
        self.admin("DROP USER IF EXISTS '%s'@'127.0.0.1'" % USER,
                   "CREATE USER '%s'@'127.0.0.1' IDENTIFIED BY '%s'" % (USER, PASSWORD),
                   "GRANT ALL ON %s.* TO '%s'@'127.0.0.1'" % (USER, USER))

    def root(self):
        return ["--no-defaults", "-uroot", "--socket=" + os.path.join(self.dir, "server.sock")]

    def admin(self, *statements):
        r = run(["mariadb"] + self.root() + ["-e", ";".join(statements)])
        if r.returncode != 0:
            sys.exit("mariadb as root failed: " + r.stdout.decode(errors="replace"))

    def fresh_database(self):
        self.admin("DROP DATABASE IF EXISTS %s" % USER, "CREATE DATABASE %s" % USER)

    def client(self):
        return ["mariadb", "--no-defaults", "--batch", "--force", "--comments", "-h", "127.0.0.1", "-P", self.port,
                "-u", USER, "-p" + PASSWORD, USER]

    def run_native(self, script):
        with open(script, "rb") as f:
            run(self.client(), stdin=f)

    def query(self, sql):
        return run(self.client() + ["-N", "-e", sql]).stdout.decode()

    def comment_version(self):
        """The server's version as executable comments number it: 10.11.19 is 101119."""
        major, minor, patch = re.match(r"(\d+)\.(\d+)\.(\d+)", self.query("SELECT VERSION()")).groups()
        return int(major) * 10000 + int(minor) * 100 + int(patch)

    def statements(self, log_text):
        """Query and Prepare entries of the test user's connections; a logged
        text goes on over the lines that do not begin an entry."""
        start = re.compile(r"^(?:\d{6}\s+\d{1,2}:\d\d:\d\d)?\t\s*(\d+) ([A-Z][a-z]*(?: [A-Za-z]+)?)\t(.*)$")
        entries = []
        for line in log_text.split("\n"):
            m = start.match(line)
            if m:
                entries.append([m.group(1), m.group(2), m.group(3)])
            elif entries:
                entries[-1][2] += "\n" + line
        ours = {e[0] for e in entries if e[1] == "Connect" and e[2].startswith(USER + "@")}
        return [text for thread, command, text in entries
                if thread in ours and command in ("Query", "Prepare") and not only_comments(text)]

    def dump_script(self, work):
        """The output of mariadb-dump --routines --triggers for a database with
        a table (holding a row with id 0), a trigger, a procedure and a view."""
        self.fresh_database()
        setup = os.path.join(HERE, "dump_source.sql")
        with open(setup, "rb") as f:
            r = run(self.client(), stdin=f)
        if r.returncode != 0:
            sys.exit("the database to dump was not made: " + r.stdout.decode(errors="replace"))
        dump = run(["mariadb-dump"] + self.root() + ["--routines", "--triggers", USER])
        if dump.returncode != 0:
            sys.exit("mariadb-dump failed: " + dump.stdout.decode(errors="replace"))
        path = os.path.join(work, "maria_dump.sql")
        with open(path, "wb") as f:
            f.write(dump.stdout)
        return path


def sqlite_oracle(script):
    """The statements the sqlite3 shell runs for a script: lines gather until
    sqlite3_complete() says the text is complete (lines of nothing but
    comments before a statement are skipped); the text is then cut at each
    semicolon after which it is complete."""
    def all_comments(z):
        i = 0
        while i < len(z):
            if z[i].isspace():
                i += 1
            elif z.startswith("/*", i):
                end = z.find("*/", i + 2)
                if end < 0:
                    return False
                i = end + 2
            elif z.startswith("--", i):
                end = z.find("\n", i)
                i = len(z) if end < 0 else end
            else:
                return False
        return True

    def cut(text):
        out, begin = [], 0
        for i, c in enumerate(text):
            if c == ";" and sqlite3.complete_statement(text[begin:i + 1]):
                piece = text[begin:i]
                if not all_comments(piece):
                    out.append(piece)
                begin = i + 1
        # What is left at the end of the input the sqlite3 shell runs as it
        # is, though incomplete.
        rest = text[begin:]
        if sqlite_without_comments(rest).strip():
            out.append(rest)
        return out

    statements, buffer = [], ""
    with open(script, encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if buffer == "" and all_comments(line):
                continue
            buffer = line.lstrip() if buffer == "" else buffer + "\n" + line
            if sqlite3.complete_statement(buffer):
                statements += cut(buffer)
                buffer = ""
    return statements + cut(buffer)


def sqlite_without_comments(sql):
    """The text with its comments left out, as the shell sends SQLite
    statements (a block comment leaves a space)."""
    out, i = [], 0
    while i < len(sql):
        close = {"'": "'", '"': '"', "`": "`", "[": "]"}.get(sql[i])
        if close:
            end = sql.find(close, i + 1)
            end = len(sql) if end < 0 else end + 1
            out.append(sql[i:end])
            i = end
        elif sql.startswith("--", i):
            end = sql.find("\n", i)
            i = len(sql) if end < 0 else end
        elif sql.startswith("/*", i):
            end = sql.find("*/", i + 2)
            i = len(sql) if end < 0 else end + 2
            out.append(" " if end >= 0 else "")  # one left open parts no words
        else:
            out.append(sql[i])
            i += 1
    return "".join(out)


def compare(label, native, shell):
    native = [normalized(s) for s in native]
    shell = [normalized(s) for s in shell]
    if native == shell:
        print("ok: %s (%d statements)" % (label, len(native)))
        return True
    print("FAIL: %s" % label)
    for i in range(max(len(native), len(shell))):
        a = native[i] if i < len(native) else "(none)"
        b = shell[i] if i < len(shell) else "(none)"
        if a != b:
            print("  statement %d differs:\n    client: %r\n    shell:  %r" % (i + 1, a, b))
            break
    print("  client sent %d, the shell %d" % (len(native), len(shell)))
    return False


def log_size(path):
    return os.path.getsize(path) if os.path.exists(path) else 0


def logged_since(server, offset):
    with open(server.log, "rb") as f:
        f.seek(offset)
        text = f.read().decode("utf-8", errors="replace")
    # Up to the last line break: a line that another connection's entry is
    # still writing, or the empty text after the break, is no part of ours.
    statements = server.statements(text[:text.rfind("\n")] if "\n" in text else "")
    statements = [DRIVER_SAVEPOINT.sub("", s) for s in statements]
    return [s for s in statements if s not in SETUP_STATEMENTS and not DRIVER_QUERIES.match(s)]


def received(server, run_script):
    server.fresh_database()
    offset = log_size(server.log)
    run_script()
    return logged_since(server, offset)


def run_shell(shell, server, script, how):
    """The script as a file (-f) or as the text of -c. A shell that hangs (as
    on a COPY it cannot serve) is stopped; the statements it did not send
    then show up as missing."""
    with open(script, encoding="utf-8") as f:
        given = ["-f", script] if how == "-f" else ["-c", f.read()]
    try:
        run([shell, "-q"] + given + ["-host=%s -user=%s -pw=%s" % (server.dsn, USER, PASSWORD)],
            timeout=SHELL_SECONDS)
    except subprocess.TimeoutExpired:
        print("the shell did not finish %s in %d seconds" % (os.path.basename(script), SHELL_SECONDS))


def main():
    shell = os.environ["RORI_SHELL"]
    splitter = os.environ["RORI_SPLIT_FILE"]
    facts = read_env(os.environ["RORI_SERVERS_ENV"])
    work = tempfile.mkdtemp(prefix="rori-split-")
    with open(os.path.join(work, "odbcinst.ini"), "w") as f:
        f.write("[PostgreSQL]\nDriver=%s\n[MariaDB]\nDriver=%s\n" % (facts["RORI_PG_DRIVER"],
                                                                   facts["RORI_MARIA_DRIVER"]))
    servers = [Postgres(facts), Maria(facts)]
    with open(os.path.join(work, "odbc.ini"), "w") as f:
        f.write("".join(s.section for s in servers))
    os.environ.update(ODBCSYSINI=work, ODBCINI=os.path.join(work, "odbc.ini"))

    ok = True
    for server in servers:
        scripts = sorted(glob.glob(os.path.join(HERE, "corpus", server.pattern)))
        if server.name == "mariadb":
            scripts.append(server.dump_script(work))
        for script in scripts:
            label = "%s %s" % (server.name, os.path.basename(script))
            native = received(server, lambda: server.run_native(script))
            if server.name == "postgresql":
                native = [s for s in native if not CLIENT_COPY.match(normalized(s))]
            else:
                sent = [as_the_shell_sends(s, server.comment_version()) for s in native]
                native = [s for s in sent if s is not None]
            for how in ("-f", "-c"):
                ours = received(server, lambda: run_shell(shell, server, script, how))
                ok = compare("%s (%s)" % (label, how), native, ours) and ok
            if os.path.basename(script) == "maria_dump.sql":
                ids = server.query("SELECT id FROM parts ORDER BY id").split()
                ok = ok and ids == ["0", "1", "2"]
                print(("ok" if ids == ["0", "1", "2"] else "FAIL") + ": the restored ids are " + " ".join(ids))

    for script in sorted(glob.glob(os.path.join(HERE, "corpus", "sqlite_*.sql"))):
        r = subprocess.run([splitter, "sqlite", script], stdout=subprocess.PIPE, check=True)
        ours = r.stdout.decode().split("\0")[:-1]
        oracle = [sqlite_without_comments(s) for s in sqlite_oracle(script)]
        ok = compare("sqlite %s" % os.path.basename(script), oracle, ours) and ok

    if os.environ.get("RORI_KEEP_TEST_DIR"):
        print("work folder kept: " + work)
    else:
        shutil.rmtree(work)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
