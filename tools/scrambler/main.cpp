// main.cpp - roridorezu-scramble: the command line around the scrambler,
// for people who put scrambled connection values into host programs.
#include <cstdio>
#include <cstring>

#include "conn/secure_wipe.h"
#include "console.h"
#include "scramble.h"

static const char usage[] =
    "Usage: roridorezu-scramble [--form=N] [--user=NAME | --empty-user] [--hex | --escaped]\n"
    "                           [--stdin | TEXT]\n"
    "       roridorezu-scramble --connect [--host=TEXT] [--user=TEXT] [--pw=TEXT | --stdin]\n"
    "                           [--host-form=N] [--user-form=N] [--pw-form=N] [--hex | --escaped]\n"
    "\n"
    "Scrambles a clear text (usually a password) into a value that roridorezu\n"
    "decodes when it connects, so the clear text need not appear in a program.\n"
    "\n"
    "Forms:\n"
    "  1, 2  XOR with a fixed key; any length. Hides the text from a casual look only.\n"
    "  3     Blowfish under a key derived from the user name the value is for;\n"
    "        at most 44 bytes. A value made for one user name decodes to\n"
    "        \"<bad decryption>\" under any other.\n"
    "\n"
    "Options:\n"
    "  --form=N       form of the single value: 1, 2 or 3 (default 3)\n"
    "  --user=NAME    the user name: keys a form-3 value; with --connect, the\n"
    "                 -user= value of the connect text. A form-3 password needs it\n"
    "  --empty-user   make a form-3 value for an empty user name instead\n"
    "  --stdin        read the clear text (with --connect: the password) from the\n"
    "                 first line of standard input, keeping it out of the shell\n"
    "                 history and the process list; at a terminal it is asked\n"
    "                 for and not shown\n"
    "  --hex          print only the hexadecimal bytes\n"
    "  --escaped      print only the escaped text (a C string literal body)\n"
    "  --connect      write a whole connect text -host=... -user=... -pw=...\n"
    "  --host=TEXT    the data source name of the connect text\n"
    "  --pw=TEXT      the password of the connect text\n"
    "  --host-form=N, --user-form=N, --pw-form=N\n"
    "                 form of each connect value, 0 for clear text\n"
    "                 (defaults: host 0, user 0, pw 3)\n"
    "  --help         this text\n"
    "\n"
    "A TEXT that begins with a hyphen has to come through --stdin.\n"
    "\n"
    "The values hold control bytes, so they are printed as hexadecimal bytes and\n"
    "as an escaped text for pasting. A form-3 value differs on every run (its 4\n"
    "check characters are random); all of them decode alike.\n"
    "\n"
    "Exit status: 0 done, 1 the text cannot be scrambled as asked, 2 bad usage\n"
    "(also: --hex with --escaped, --stdin with a TEXT or --pw, --connect with\n"
    "nothing to scramble, a form-3 password without --user or --empty-user).\n";

struct options {
    bool help = false;
    bool connect = false;
    bool from_stdin = false;
    bool hex_only = false;
    bool escaped_only = false;
    bool empty_user = false;
    int form = 3;
    char *text = nullptr;
    char *host = nullptr;
    char *user = nullptr;
    char *pw = nullptr;
    int host_form = 0;
    int user_form = 0;
    int pw_form = 3;
};

// The text after "name=" when arg is that option, else null.
static char *option_value(char *arg, const char *name) {
    size_t n = std::strlen(name);
    return std::strncmp(arg, name, n) == 0 && arg[n] == '=' ? arg + n + 1 : nullptr;
}

static bool parse_form(const char *digits, int lowest, int *form) {
    if (digits[0] < '0' + lowest || digits[0] > '3' || digits[1] != '\0') return false;
    *form = digits[0] - '0';
    return true;
}

// Applies an option that carries a value; false if arg is none of them.
static bool parse_valued(char *arg, options *o, bool *ok) {
    struct form_option {
        const char *name;
        int *form;
        int lowest;
    };
    struct text_option {
        const char *name;
        char **text;
    };
    const form_option forms[] = {{"--form", &o->form, 1},
                                 {"--host-form", &o->host_form, 0},
                                 {"--user-form", &o->user_form, 0},
                                 {"--pw-form", &o->pw_form, 0}};
    const text_option texts[] = {{"--user", &o->user}, {"--host", &o->host}, {"--pw", &o->pw}};
    for (const form_option &f : forms) {
        if (char *v = option_value(arg, f.name)) {
            *ok = parse_form(v, f.lowest, f.form);
            return true;
        }
    }
    for (const text_option &t : texts) {
        if (char *v = option_value(arg, t.name)) {
            *t.text = v;
            return true;
        }
    }
    return false;
}

// One line on what is wrong, and where the options are explained.
static bool usage_error(const char *problem) {
    std::fprintf(stderr, "roridorezu-scramble: %s\nTry roridorezu-scramble --help for the options.\n",
                 problem);
    return false;
}

// Names the option that is not understood; never echoes a text, which may
// be a password.
static bool report_bad_argument(const char *arg) {
    static char what[128];
    if (std::strncmp(arg, "--", 2) != 0)
        return usage_error(arg[0] == '-' ? "a TEXT beginning with a hyphen has to come through --stdin"
                                         : "give one TEXT only");
    std::snprintf(what, sizeof what, "unknown option %.*s", static_cast<int>(std::strcspn(arg, "=")), arg);
    return usage_error(what);
}

// The password of a form-3 value is keyed with the user name, so one made
// without it decodes only for an empty user name.
static bool needs_user(const options &o) {
    bool form3_password = o.connect ? o.pw_form == 3 && (o.pw != nullptr || o.from_stdin) : o.form == 3;
    return form3_password && o.user == nullptr && !o.empty_user;
}

// Something of the connect text is given and written in a scrambled form.
static bool connect_scrambles(const options &o) {
    return (o.host != nullptr && o.host_form != 0) || (o.user != nullptr && o.user_form != 0) ||
           ((o.pw != nullptr || o.from_stdin) && o.pw_form != 0);
}

// Options that contradict each other or leave nothing to do.
static bool check_combination(const options &o) {
    if (o.hex_only && o.escaped_only) return usage_error("--hex and --escaped exclude each other; give neither for both");
    if (o.from_stdin && (o.connect ? o.pw != nullptr : o.text != nullptr))
        return usage_error("--stdin reads the text, so none may be given as an argument too");
    if (o.empty_user && o.user != nullptr) return usage_error("--empty-user and --user exclude each other");
    if (o.connect && !connect_scrambles(o))
        return usage_error("--connect has nothing to scramble: give --pw, --stdin, or a value with a form other than 0");
    if (needs_user(o))
        return usage_error("a form-3 value is keyed with the user name it is for, and decodes only for that "
                           "name: give --user=NAME, or --empty-user for an empty user name");
    return true;
}

static bool parse_args(int argc, char **argv, options *o) {
    for (int i = 1; i < argc; ++i) {
        char *arg = argv[i];
        bool ok = true;
        if (std::strcmp(arg, "--help") == 0)
            o->help = true;
        else if (std::strcmp(arg, "--connect") == 0)
            o->connect = true;
        else if (std::strcmp(arg, "--stdin") == 0)
            o->from_stdin = true;
        else if (std::strcmp(arg, "--hex") == 0)
            o->hex_only = true;
        else if (std::strcmp(arg, "--escaped") == 0)
            o->escaped_only = true;
        else if (std::strcmp(arg, "--empty-user") == 0)
            o->empty_user = true;
        else if (parse_valued(arg, o, &ok)) {
            if (!ok) return usage_error("a form is a digit: 1, 2 or 3 for --form, 0 to 3 for the others");
        } else if (arg[0] != '-' && o->text == nullptr)
            o->text = arg;
        else
            return report_bad_argument(arg);
    }
    return o->help || check_combination(*o);
}

// Reads the first line of standard input, without its line end, NUL bytes
// included. False when the line does not fit.
static bool read_line(char *buf, size_t cap, size_t *len) {
    int c;
    *len = 0;
    while ((c = std::getchar()) != EOF && c != '\n') {
        if (*len + 1 >= cap) return false;
        buf[(*len)++] = static_cast<char>(c);
    }
    if (*len > 0 && buf[*len - 1] == '\r') --*len;
    buf[*len] = '\0';
    return true;
}

static char line[4096];
static char value[4096];
static char rendered[4 * sizeof value];

static void wipe_all(const options &o) {
    secure_wipe(line, sizeof line);
    secure_wipe(value, sizeof value);
    secure_wipe(rendered, sizeof rendered);
    char *clear_args[] = {o.text, o.host, o.user, o.pw};
    for (char *arg : clear_args)
        if (arg != nullptr) secure_wipe(arg, std::strlen(arg));
}

static int fail(const char *what) {
    std::fprintf(stderr, "roridorezu-scramble: %s\n", what);
    return 1;
}

// Both renderings unless one alone was asked for.
static int print_value(const options &o) {
    bool hex = !o.escaped_only;
    bool escaped = !o.hex_only;
    if (hex) {
        if (!format_hex(value, rendered, sizeof rendered)) return fail("value too long to print");
        std::printf(escaped ? "hex:     %s\n" : "%s\n", rendered);
    }
    if (escaped) {
        if (!format_escaped(value, rendered, sizeof rendered))
            return fail("value too long to print");
        std::printf(hex ? "escaped: \"%s\"\n" : "%s\n", rendered);
    }
    return 0;
}

// Where the clear text (or the connect password) comes from.
static bool take_secret(options *o, const char **clear, size_t *len) {
    if (!o->from_stdin) {
        *clear = o->connect ? o->pw : o->text;
        *len = *clear != nullptr ? std::strlen(*clear) : 0;
        return true;
    }
    *clear = line;
    const char *prompt = o->connect ? "Password: " : "Text to scramble: ";
    return typing_at_terminal() ? read_secret(prompt, line, sizeof line, len) : read_line(line, sizeof line, len);
}

static int run(options *o) {
    const char *clear = nullptr;
    size_t len = 0;
    if (!take_secret(o, &clear, &len))
        return fail(typing_at_terminal() ? "no text was typed, or it is too long" : "the input line is too long");
    scramble_status st;
    if (o->connect) {
        if (o->from_stdin && std::memchr(line, '\0', len) != nullptr)
            return fail(scramble_message(SCRAMBLE_HAS_NUL));
        const connect_setting settings[] = {{"host", o->host, o->host_form},
                                            {"user", o->user, o->user_form},
                                            {"pw", clear, o->pw_form}};
        st = scramble_connect(settings, 3, value, sizeof value);
    } else {
        if (clear == nullptr) return fail("no text given; see --help");
        st = scramble_value(o->form, clear, len, o->user, value, sizeof value);
    }
    if (st != SCRAMBLE_OK) return fail(scramble_message(st));
    return print_value(*o);
}

int main(int argc, char **argv) {
    options o;
    if (!parse_args(argc, argv, &o)) return 2;
    if (o.help) {
        std::fputs(usage, stdout);
        return 0;
    }
    int rc = run(&o);
    wipe_all(o);
    return rc;
}
