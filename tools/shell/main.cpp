// main.cpp - roridorezu-shell: the command line, then the session.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "connect_text.h"
#include "console.h"
#include "display.h"
#include "encoding.h"
#include "entry.h"
#include "session.h"

namespace {

const char usage[] =
    "Usage: roridorezu-shell [OPTIONS] [CONNECT...]\n"
    "\n"
    "An SQL shell that reaches its databases through the roridorezu library,\n"
    "one library request at a time, as every host program does.\n"
    "\n"
    "CONNECT is a connect text such as -host=DSN -user=NAME -pw=PASSWORD or a\n"
    "bare data source name. An argument holding several settings, or a bare\n"
    "name, is one connection; single settings in a row make one connection\n"
    "until a key comes again. A bare -pw asks for the password.\n"
    "Scrambled values are read in the escaped (\\x03...) or the hexadecimal\n"
    "(03 41 ...) notation that roridorezu-scramble prints. Each CONNECT takes\n"
    "a slot; the last one is current. At the prompt, \\c (\\connect) also\n"
    "takes psql's DSN USER [PASSWORD]: two or three words without '=' or a\n"
    "leading hyphen, unless the whole text names a listed data source.\n"
    "\n"
    "Options:\n"
    "  -c, --command=TEXT  run statements and commands, then end (repeatable)\n"
    "  -f, --file=FILE     run the statements and commands of FILE, then end;\n"
    "                      - is standard input (repeatable)\n"
    "      --format=NAME   table (default), csv, tsv or vertical\n"
    "      --csv           the same as --format=csv\n"
    "      --tsv           the same as --format=tsv\n"
    "  -o, --output=FILE   write results to FILE\n"
    "      --fetch=FORM    array (default: NULL as an empty text) or variable\n"
    "                      (NULL told apart); both deliver whole values\n"
    "      --encoding=NAME the encoding of the drivers' texts (UTF8, WIN1252,\n"
    "                      LATIN1, ...; by default the ANSI code page on\n"
    "                      Windows, UTF8 elsewhere): a terminal or console\n"
    "                      shows them in its own characters; files and pipes\n"
    "                      get the bytes unchanged\n"
    "      --bail          stop at the first failure, with exit status 1\n"
    "  -W, --password      ask for the password of each CONNECT (no echo)\n"
    "  -q, --quiet         no banner and no messages: results, notes and failures\n"
    "  -h, --help          this text\n"
    "\n"
    "Without -c or -f the shell reads standard input: with line editing at a\n"
    "terminal, plainly from a pipe or file. A statement ends with ';'; the\n"
    "last one of an input may lack it. At a terminal the history\n"
    "(~/.roridorezu_history) keeps a statement typed over several lines as one\n"
    "entry, and never a password: the value of a key ending in pw, pwd or\n"
    "password, and the words after the user in \\c DSN USER PASSWORD, are ***.\n"
    "Scripts are split as psql, the mariadb client or sqlite3 split them, by\n"
    "the connection's driver; a UTF-8 byte-order mark at the start is skipped,\n"
    "and each client's own commands in scripts run too (\\restrict, source,\n"
    ".mode...: \\help lists them).\n"
    "\\bind V1 V2 ... gives the next statement the values of its ? markers, as\n"
    "texts (as psql's \\bind); '...' quotes a value with spaces; \\bind alone\n"
    "gives none.\n"
    "\n"
    "Exit status: 0 done; 1 a statement or command of -c or -f failed (the\n"
    "rest still runs unless --bail stops at the first failure), a CONNECT\n"
    "failed, a FILE could not be read, Ctrl-C stopped a script, a result\n"
    "could not be written in full (a full disk), or the library could not\n"
    "start; 2 bad usage, or in -c, -f or piped input a \\connect failed or\n"
    "the connection was lost (the run ends there); 130 a second Ctrl-C left\n"
    "the shell while a statement ran. Input typed or piped in ends with 0\n"
    "after failures, unless --bail stopped it.\n"
    "\n"
    "PostgreSQL: the rows after COPY ... FROM STDIN, up to \\., are loaded\n"
    "into the table as INSERTs, all or nothing; COPY ... TO STDOUT is refused.\n"
    "\n";

struct input_item {
    bool is_file;
    std::string text; // the statements, or the file's path
};

struct options {
    shell_settings settings;
    std::vector<std::string> connects;
    std::vector<input_item> inputs;
    std::string output;
    bool help = false;
    bool ask_password = false;
};

// "-host=demo", "-pw=x", a bare "-pw": one setting of a connect text rather
// than an option; its key in *key.
bool is_connect_setting(const std::string &arg, std::string *key) {
    if (arg == "-pw") {
        *key = "pw";
        return true;
    }
    size_t eq = arg.find('=');
    if (arg[0] != '-' || eq == std::string::npos || arg.find(" -") != std::string::npos) return false;
    *key = arg.substr(1, eq - 1);
    return is_connect_keyword(*key);
}

// One connect text of the command line being put together from single
// settings; a key that comes again begins the next text.
struct connect_builder {
    std::vector<std::string> keys;
    bool joins(const std::string &key) const {
        for (const std::string &k : keys)
            if (k == key) return false;
        return !keys.empty();
    }
};

bool set_format(options *o, const std::string &v) { return parse_format(v, &o->settings.format); }
bool set_fetch(options *o, const std::string &v) { return parse_fetch_form(v, &o->settings.form); }
bool add_command(options *o, const std::string &v) {
    o->inputs.push_back({false, v});
    return true;
}
bool add_file(options *o, const std::string &v) {
    o->inputs.push_back({true, v});
    return true;
}
bool set_encoding(options *, const std::string &v) { return set_text_encoding(v); }
bool set_output_file(options *o, const std::string &v) {
    o->output = v;
    return true;
}
// --csv and --tsv: a format without --format=.
template <output_format F> bool set_format_to(options *o, const std::string &) {
    o->settings.format = F;
    return true;
}
bool set_bail(options *o, const std::string &) { return o->settings.bail = true; }
bool set_quiet(options *o, const std::string &) { return o->settings.quiet = true; }
bool set_help(options *o, const std::string &) { return o->help = true; }
bool set_ask_password(options *o, const std::string &) { return o->ask_password = true; }

struct option_entry {
    const char *long_name;
    const char *short_name;
    const char *value; // what its value is ("a file name"); null for none
    bool (*apply)(options *o, const std::string &value);
};

const option_entry option_table[] = {
    {"--command", "-c", "statements", add_command},
    {"--file", "-f", "a file name", add_file},
    {"--format", "", "a format name", set_format},
    {"--csv", "", nullptr, set_format_to<output_format::csv>},
    {"--tsv", "", nullptr, set_format_to<output_format::tsv>},
    {"--output", "-o", "a file name", set_output_file},
    {"--fetch", "", "a fetch form", set_fetch},
    {"--encoding", "", "an encoding name", set_encoding},
    {"--bail", "", nullptr, set_bail},
    {"--quiet", "-q", nullptr, set_quiet},
    {"--help", "-h", nullptr, set_help},
    {"--password", "-W", nullptr, set_ask_password},
};

// Applies argv[*i] when it is an option (taking its value from the next
// argument where needed); *known is false when it is none. On a failure
// *problem says what was wrong.
bool apply_option(int argc, char **argv, int *i, options *o, bool *known, std::string *problem) {
    std::string arg = argv[*i];
    for (const option_entry &e : option_table) {
        bool short_form = *e.short_name != '\0' && arg == e.short_name;
        bool long_bare = arg == e.long_name;
        bool long_valued =
            e.value != nullptr && arg.compare(0, std::strlen(e.long_name) + 1, std::string(e.long_name) + "=") == 0;
        if (!short_form && !long_bare && !long_valued) continue;
        *known = true;
        if (e.value == nullptr) return e.apply(o, std::string());
        bool missing = !long_valued && *i + 1 >= argc;
        std::string value = long_valued ? arg.substr(std::strlen(e.long_name) + 1) : missing ? "" : argv[++*i];
        // An empty -c is statements that happen to be none.
        if (missing || (value.empty() && e.apply != add_command)) *problem = arg + " needs " + e.value;
        else if (!e.apply(o, value)) *problem = "bad value for " + arg;
        return problem->empty();
    }
    *known = false;
    return true;
}

void usage_error(const std::string &problem) {
    std::fprintf(stderr, "roridorezu-shell: %s\nTry roridorezu-shell --help for the options.\n", problem.c_str());
}

bool parse_arguments(int argc, char **argv, options *o) {
    connect_builder text; // single settings so far
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        std::string key;
        if (is_connect_setting(arg, &key)) {
            if (text.joins(key)) o->connects.back() += std::string(" ") + arg;
            else {
                o->connects.push_back(arg);
                text.keys.clear();
            }
            text.keys.push_back(key);
            continue;
        }
        text.keys.clear();
        bool known = false;
        std::string problem;
        if (!apply_option(argc, argv, &i, o, &known, &problem)) {
            usage_error(problem);
            return false;
        }
        if (known) continue;
        if (arg[0] == '-' && std::strstr(arg, " -") == nullptr) {
            usage_error(std::string("unknown option ") + arg);
            return false;
        }
        o->connects.push_back(arg);
    }
    return true;
}

std::unique_ptr<line_source> open_input(const input_item &item, session &s) {
    if (!item.is_file) return text_input(item.text);
    if (item.text == "-") return stream_input(stdin, "stdin", false);
    std::string problem;
    std::unique_ptr<line_source> in = file_input(item.text, &problem);
    if (in == nullptr) {
        s.report_problem(problem);
        s.fail_fatally();
    }
    return in;
}

void run_inputs(session &s, const options &o) {
    if (o.inputs.empty()) {
        std::unique_ptr<line_source> in = is_terminal(stdin) ? terminal_input() : stream_input(stdin, "stdin", false);
        s.run(*in);
        return;
    }
    for (const input_item &item : o.inputs) {
        std::unique_ptr<line_source> in = open_input(item, s);
        if (in != nullptr) s.run(*in);
        if (s.stopped()) return;
    }
}

int run_shell(const options &o) {
    catch_interrupts();
    use_binary_streams();
    std::string problem;
    vizori_fn entry = library_entry(&problem);
    if (entry == nullptr) {
        std::fprintf(stderr, "roridorezu-shell: %s\n", problem.c_str());
        return 1;
    }
    library lib(entry);
    shell_settings settings = o.settings;
    settings.failures_set_status = !o.inputs.empty();
    session s(lib, settings);
    if (!s.start()) return 1;
    if (!o.output.empty() && !s.set_output(o.output)) return 1;
    for (const std::string &text : o.connects)
        if (!s.connect(text, o.ask_password)) s.fail_fatally();
    if (s.stopped()) return s.exit_status();
    run_inputs(s, o);
    s.close_output();
    return s.exit_status();
}

} // namespace

int main(int argc, char **argv) {
    options o;
    if (!parse_arguments(argc, argv, &o)) return 2;
    if (o.help) {
        std::fputs(usage, stdout);
        std::fputs(commands_help().c_str(), stdout);
        return 0;
    }
    return run_shell(o);
}
