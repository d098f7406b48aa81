// commands.cpp - the command table and the commands.
#include "commands.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "connect_text.h"
#include "encoding.h"
#include "names.h"
#include "session.h"
#include "text.h"

namespace {

bool parse_int(const std::string &word, long *value) {
    char *end = nullptr;
    *value = std::strtol(word.c_str(), &end, 10);
    return !word.empty() && *end == '\0';
}

std::string number_text(double d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return buf;
}

// Columns of the shell's listings: no display size, and the field type
// code of a text (253, a variable string), so that they align left.
std::vector<column_info> headers(std::initializer_list<const char *> names) {
    std::vector<column_info> out;
    for (const char *n : names) out.push_back(column_info{n, 0, 253});
    return out;
}

row text_row(std::initializer_list<std::string> values) {
    row r;
    for (const std::string &v : values) r.push_back(cell{v, false, v.empty()}); // nothing to show, rather than ""
    return r;
}

// --- connections -------------------------------------------------------------

// The slot named by the only word, or the current slot without one.
bool slot_argument(session &s, const std::string &rest, const char *command, int *slot) {
    std::vector<std::string> w = words(rest);
    long n = 0;
    if (w.empty()) *slot = s.connections().current();
    else if (w.size() == 1 && parse_int(w[0], &n)) *slot = static_cast<int>(n);
    else *slot = -1;
    if (*slot > 0 && s.connections().find(*slot) != nullptr) return true;
    s.report_problem(std::string(command) + ": no connection on " + (w.empty() ? "the current slot" : "slot " + w[0]));
    return false;
}

void cmd_disconnect(session &s, const std::string &rest) {
    int slot = 0;
    if (!slot_argument(s, rest, "\\disconnect", &slot)) return;
    bool was_current = slot == s.connections().current();
    s.disconnect(slot);
    std::string now;
    const connection *current = s.connections().find(s.connections().current());
    if (was_current && current != nullptr)
        now = "; current slot now " + std::to_string(current->slot) + ": " + current->label;
    else if (was_current) now = "; no connection is current now";
    s.message("disconnected slot " + std::to_string(slot) + now);
}

void cmd_use(session &s, const std::string &rest) {
    int slot = 0;
    if (rest.empty()) s.report_problem("\\use needs a slot number");
    else if (slot_argument(s, rest, "\\use", &slot) && s.connections().use(slot))
        s.message("using slot " + std::to_string(slot) + ": " + s.connections().find(slot)->label);
}

// Connects a slot again with its connect text, as after a lost connection.
void cmd_reconnect(session &s, const std::string &rest) {
    int slot = 0;
    if (slot_argument(s, rest, "\\reconnect", &slot)) s.reconnect(slot);
}

// The data sources that the driver manager lists, from the direction
// `first` on; the outcome that ended the list (is_end_of_list when whole).
outcome read_data_sources(session &s, int first, std::vector<data_source> *sources) {
    int slot = 0;
    outcome o = s.connections().borrow(&slot);
    int direction = first;
    data_source ds;
    while (o.ok() && (o = s.lib().next_data_source(slot, direction, &ds)).ok()) {
        sources->push_back(ds);
        direction = DSN_NEXT;
    }
    s.connections().give_back(slot);
    return o;
}

bool is_end_of_list(const outcome &o) { return o.status == ST_SQLERROR && o.native == 100; }

// Whether the driver manager lists a data source of this name: a name that
// holds spaces is then not read as "DSN USER PASSWORD".
bool is_data_source_name(session &s, const std::string &text) {
    std::vector<data_source> sources;
    read_data_sources(s, DSN_FIRST, &sources);
    for (const data_source &ds : sources)
        if (ds.name == text) return true;
    return false;
}

// A single word that names no data source: psql's \c DATABASE, which a
// data source must stand for here.
void suggest_data_source(session &s, const std::string &rest) {
    std::vector<std::string> w = words(rest);
    if (w.size() != 1 || w[0][0] == '-' || w[0].find('=') != std::string::npos || is_data_source_name(s, w[0])) return;
    s.note("there is no data source named " + w[0] + ": to connect to the database " + w[0] +
           ", define a data source for it (in odbc.ini) and connect to that name");
}

void cmd_connect(session &s, const std::string &rest) {
    std::string settings;
    bool connected = false;
    if (rest.empty() && s.connections().current() == 0)
        s.report_problem("\\connect needs a connect text or a data source name");
    else if (rest.empty()) connected = s.reconnect(s.connections().current());
    else if (positional_connect_text(rest, &settings) && !is_data_source_name(s, rest)) connected = s.connect(settings);
    else if (!(connected = s.connect(rest))) suggest_data_source(s, rest);
    if (!connected) s.connect_failed();
}

void cmd_slots(session &s, const std::string &) {
    std::vector<row> rows;
    for (const connection &c : s.connections().all()) {
        std::string state = s.connections().is_dead(c.slot) ? " (broken: \\reconnect connects it again)" : "";
        rows.push_back(
            text_row({std::to_string(c.slot), c.slot == s.connections().current() ? "*" : "", c.label + state}));
    }
    s.show(headers({"slot", "current", "connection"}), rows);
}

// --- catalog and data sources ---------------------------------------------

void cmd_tables(session &s, const std::string &) { s.run_sql("SHOW TABLES"); }
void cmd_schemas(session &s, const std::string &) { s.run_sql("SHOW SCHEMAS"); }
void cmd_catalogs(session &s, const std::string &) { s.run_sql("SHOW CATALOGS"); }
void cmd_databases(session &s, const std::string &) { s.run_sql("SHOW DATABASES"); }

struct source_kind {
    const char *name;
    int first;
};

const source_kind source_kinds[] = {{"", DSN_FIRST}, {"user", DSN_FIRST_USER}, {"system", DSN_FIRST_SYSTEM}};

void cmd_datasources(session &s, const std::string &rest) {
    const source_kind *kind = entry_named(source_kinds, rest);
    if (kind == nullptr) {
        s.report_problem("\\datasources takes nothing, \"user\" or \"system\"");
        return;
    }
    std::vector<data_source> sources;
    outcome o = read_data_sources(s, kind->first, &sources);
    if (!is_end_of_list(o)) s.report_failure(o);
    std::vector<row> rows;
    for (const data_source &ds : sources) rows.push_back(text_row({ds.name, ds.description}));
    s.show(headers({"name", "description"}), rows);
}

// --- information items ------------------------------------------------------

std::string item_number(const info_item &item, const outcome &o) {
    if (item.number == info_number::result) return std::to_string(o.result);
    if (item.number == info_number::rowcount) return number_text(o.rowcount);
    return std::string();
}

void cmd_info(session &s, const std::string &rest) {
    size_t count = 0;
    const info_item *all = info_items(&count);
    std::vector<const info_item *> chosen;
    for (size_t i = 0; i < count; ++i) chosen.push_back(&all[i]);
    if (!rest.empty()) {
        const info_item *one = find_info_item(rest);
        if (one == nullptr) {
            s.report_problem("no information item " + rest + " (items 1 to 10, or their names: see \\info)");
            return;
        }
        chosen.assign(1, one);
    }
    int slot = 0;
    outcome o = s.connections().borrow(&slot);
    if (!o.ok()) {
        s.report_failure(o);
        return;
    }
    std::vector<row> rows;
    for (const info_item *item : chosen) {
        std::string text;
        o = s.lib().info(slot, item->item, &text);
        rows.push_back(text_row({std::to_string(item->item), item->name, text, item_number(*item, o),
                                 status_label(o.status)}));
        if (!o.ok() && chosen.size() == 1) s.report_failure(o);
    }
    s.connections().give_back(slot);
    s.show(headers({"item", "name", "text", "number", "status"}), rows);
}

void cmd_version(session &s, const std::string &) {
    int slot = 0;
    outcome o = s.connections().borrow(&slot);
    std::string name, version, interface_name;
    if (o.ok()) o = s.lib().info(slot, 7, &name);
    if (o.ok()) o = s.lib().info(slot, 8, &version);
    if (o.ok()) o = s.lib().info(slot, 9, &interface_name);
    s.connections().give_back(slot);
    if (!o.ok()) s.report_failure(o);
    else s.answer("roridorezu-shell with the library " + name + " " + version + " (" + interface_name + ")");
}

// --- attributes ---------------------------------------------------------------

struct attr_scope {
    const char *name;
    bool statement;
    attr_table (*table)();
};

const attr_scope scopes[] = {{"conn", false, connection_attributes}, {"stmt", true, statement_attributes}};

std::string attr_title(const attr_scope &scope, int number, const attr_name *entry) {
    std::string name = entry != nullptr ? entry->name : "attribute";
    return std::string(scope.name) + " " + name + " (" + std::to_string(number) + ")";
}

std::string attr_value_text(const attr_name *entry, int64_t value) {
    std::string text = std::to_string(static_cast<long long>(value));
    if (entry != nullptr && entry->kind == attr_kind::text) text += " (the library hands back -99 for a text attribute)";
    return text;
}

void list_attributes(session &s, int slot, const attr_scope &scope) {
    attr_table table = scope.table();
    std::vector<row> rows;
    for (size_t i = 0; i < table.count; ++i) {
        const attr_name &a = table.entries[i];
        int64_t value = 0;
        outcome o = s.lib().get_attribute(slot, scope.statement, a.number, &value);
        rows.push_back(text_row({std::to_string(a.number), a.name, attr_kind_name(a.kind),
                                 o.ok() ? std::to_string(static_cast<long long>(value)) : std::string(),
                                 status_label(o.status)}));
    }
    s.show(headers({"number", "name", "kind", "value", "status"}), rows);
}

// Reads "conn|stmt [NAME|NUMBER]" of the attribute commands.
bool attr_arguments(session &s, const std::vector<std::string> &w, const char *command, const attr_scope **scope,
                    int *number, const attr_name **entry) {
    *scope = w.empty() ? nullptr : entry_named(scopes, w[0]);
    if (*scope == nullptr) {
        s.report_problem(std::string(command) + " needs \"conn\" or \"stmt\" first");
        return false;
    }
    if (w.size() < 2 || find_attribute((*scope)->table(), w[1], number, entry)) return true;
    s.report_problem("no " + std::string((*scope)->name) + " attribute " + w[1] + " (\\getattr " +
                     (*scope)->name + " lists them)");
    return false;
}

void cmd_getattr(session &s, const std::string &rest) {
    std::vector<std::string> w = words(rest);
    const attr_scope *scope = nullptr;
    const attr_name *entry = nullptr;
    int number = 0;
    int slot = 0;
    if (!attr_arguments(s, w, "\\getattr", &scope, &number, &entry) || (slot = s.current_slot()) == 0) return;
    if (w.size() < 2) {
        list_attributes(s, slot, *scope);
        return;
    }
    int64_t value = 0;
    outcome o = s.lib().get_attribute(slot, scope->statement, number, &value);
    if (!o.ok()) s.report_failure(o);
    else s.answer(attr_title(*scope, number, entry) + " = " + attr_value_text(entry, value));
}

const int attr_autocommit = 102; // SQL_ATTR_AUTOCOMMIT

struct value_word {
    bool statement;
    int number;
    const char *name;
    long long value;
};

// Words that stand for the numbers of an attribute.
const value_word value_words[] = {
    {false, attr_autocommit, "on", 1},
    {false, attr_autocommit, "off", 0},
};

bool word_value(const attr_scope &scope, int number, const std::string &word, long long *value) {
    std::string lower;
    for (char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const value_word &w : value_words)
        if (w.statement == scope.statement && w.number == number && lower == w.name) {
            *value = w.value;
            return true;
        }
    return false;
}

// ", on or off" for an attribute that has value words; empty for the others.
std::string words_for(const attr_scope &scope, int number) {
    std::string out;
    for (const value_word &w : value_words)
        if (w.statement == scope.statement && w.number == number) out += (out.empty() ? ", " : " or ") + std::string(w.name);
    return out;
}

// The variable that carries the new value: a text for a text attribute,
// else an integer; null, with *problem set, when the value is not a number
// that the library can take (it reads attribute values as 32 bits).
std::unique_ptr<host_var> value_variable(const attr_scope &scope, int number, const attr_name *entry,
                                         const std::string &name, const std::string &word, std::string *problem) {
    if (entry != nullptr && entry->kind == attr_kind::text)
        return std::make_unique<host_var>(host_var::text(word, word.size() + 1));
    long long named = 0;
    if (word_value(scope, number, word, &named)) return std::make_unique<host_var>(host_var::integer(named));
    char *end = nullptr;
    errno = 0;
    long long n = std::strtoll(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0') *problem = "the value of " + name + " must be a whole number" + words_for(scope, number);
    else if (errno == ERANGE || n < INT32_MIN || n > INT32_MAX)
        *problem = "the value of " + name + " must lie between " + std::to_string(INT32_MIN) + " and " +
                   std::to_string(INT32_MAX) + ": the library takes attribute values as 32-bit numbers";
    else return std::make_unique<host_var>(host_var::integer(n));
    return nullptr;
}

struct zero_meaning {
    bool statement;
    int number;
    const char *meaning;
};

// What 0 does for the attributes where it means something other than a
// plain number; the library passes 0 on to the driver like any value.
const zero_meaning zero_meanings[] = {
    {false, attr_autocommit, "autocommit off: changes last only once COMMIT is sent; work not committed is rolled "
                 "back when the slot is disconnected or the shell ends"},
    {false, 103, "no login timeout"},
    {false, 113, "no connection timeout"},
    {true, 0, "no query timeout"},
    {true, 1, "no limit on the rows of a result"},
};

std::string set_message(const attr_scope &scope, int number, const attr_name *entry, const std::string &value) {
    std::string text = attr_title(scope, number, entry) + " set to " + value;
    if (value != "0") return text;
    for (const zero_meaning &z : zero_meanings)
        if (z.statement == scope.statement && z.number == number) return text + " (" + z.meaning + ")";
    return text;
}

// Some drivers take a value and keep another (SQLite's and MariaDB's keep
// no query timeout): what is read back after setting tells whether the
// setting applies. A text attribute reads back as -99 and is not compared.
void note_value_kept(session &s, int slot, const attr_scope &scope, int number, const attr_name *entry,
                     int64_t set) {
    int64_t kept = 0;
    if (!s.lib().get_attribute(slot, scope.statement, number, &kept).ok() || kept == set) return;
    std::string name = entry != nullptr ? entry->name : "attribute " + std::to_string(number);
    s.note("the driver keeps " + name + " = " + std::to_string(static_cast<long long>(kept)) +
           ": it does not apply this setting");
}

void cmd_setattr(session &s, const std::string &rest) {
    std::vector<std::string> w = words(rest);
    const attr_scope *scope = nullptr;
    const attr_name *entry = nullptr;
    int number = 0;
    if (!attr_arguments(s, w, "\\setattr", &scope, &number, &entry)) return;
    std::string problem;
    std::unique_ptr<host_var> value =
        w.size() == 3 ? value_variable(*scope, number, entry, w[1], w[2], &problem) : nullptr;
    if (w.size() != 3) s.report_problem("\\setattr needs conn|stmt, an attribute and a value");
    else if (entry != nullptr && entry->kind == attr_kind::pointer)
        s.report_problem(attr_title(*scope, number, entry) + " holds an address; the shell does not set it");
    else if (value == nullptr) s.report_problem(problem);
    else {
        int slot = s.current_slot();
        if (slot == 0) return;
        // The last result stays open for the information items, but drivers
        // refuse to change a statement attribute such as the cursor type
        // while a cursor is open (24000): the new value is for the next
        // statement, so the last result is closed first.
        if (scope->statement) s.lib().free_statement(slot, 0);
        bool autocommit = !scope->statement && number == attr_autocommit;
        bool text = entry != nullptr && entry->kind == attr_kind::text;
        std::string shown = text ? w[2] : std::to_string(static_cast<long long>(value->int_value()));
        bool commits = autocommit && value->int_value() != 0 && s.connections().work_pending(slot) &&
                       s.connections().autocommit_off(slot);
        outcome o = s.lib().set_attribute(slot, scope->statement, number, *value);
        if (!o.ok()) s.report_failure(o);
        else if (commits) s.message("autocommit on: the open transaction was committed");
        else s.message(set_message(*scope, number, entry, shown));
        if (o.ok() && !text) note_value_kept(s, slot, *scope, number, entry, value->int_value());
        // Turning autocommit on commits what was open. Turning it off while
        // it is already off changes nothing: the open transaction goes on.
        if (o.ok() && autocommit && value->int_value() != 0) s.connections().autocommit_turned_on(slot);
    }
}

// --- statement, output and the shell ----------------------------------------

void cmd_free(session &s, const std::string &) {
    int slot = s.current_slot();
    if (slot == 0) return;
    outcome o = s.lib().free_statement(slot, 1);
    if (!o.ok()) s.report_failure(o);
    else s.message("statement of slot " + std::to_string(slot) + " freed");
}

void cmd_format(session &s, const std::string &rest) {
    if (!rest.empty() && !parse_format(rest, &s.settings().format))
        s.report_problem("no format " + rest + " (table, csv, tsv, vertical)");
    else s.message(std::string("format ") + format_name(s.settings().format));
}

void cmd_fetch(session &s, const std::string &rest) {
    if (!rest.empty() && !parse_fetch_form(rest, &s.settings().form))
        s.report_problem("no fetch form " + rest + " (array, variable)");
    else s.message(std::string("fetch form ") + fetch_form_name(s.settings().form));
}

// psql's \encoding: the encoding of the drivers' texts, shown or named.
void cmd_encoding(session &s, const std::string &rest) {
    if (!rest.empty() && !set_text_encoding(rest))
        s.report_problem("no encoding " + rest + " (" + encoding_names() + ")");
    else if (rest.empty()) s.answer(text_encoding());
    else s.message("encoding " + text_encoding());
}

void cmd_output(session &s, const std::string &rest) {
    std::string path = rest;
    unquote(&path);
    if (s.set_output(path)) s.message(path.empty() ? "results go to standard output" : "results go to " + path);
}

void cmd_echo(session &s, const std::string &rest) { s.answer(rest); }

void cmd_include(session &s, const std::string &rest) {
    std::string path = rest;
    unquote(&path);
    if (path.empty()) s.report_problem("\\i needs a file name");
    else s.include(path);
}

struct switch_word {
    const char *name;
    bool value;
};

const switch_word switch_words[] = {{"on", true}, {"off", false}};

// "on", "off", or nothing to turn a switch over; false for another word.
bool switch_argument(session &s, const std::string &rest, const char *command, bool *value) {
    if (rest.empty()) *value = !*value;
    else if (!value_named(switch_words, rest, value)) {
        s.report_problem(std::string(command) + " takes \"on\", \"off\" or nothing");
        return false;
    }
    return true;
}

void cmd_timing(session &s, const std::string &rest) {
    if (switch_argument(s, rest, "\\timing", &s.settings().timing))
        s.message(std::string("timing ") + (s.settings().timing ? "on" : "off"));
}

// psql's expanded display: the vertical format, and back to the table.
void cmd_expanded(session &s, const std::string &rest) {
    output_format &format = s.settings().format;
    bool expanded = format == output_format::vertical;
    if (!switch_argument(s, rest, "\\x", &expanded)) return;
    format = expanded ? output_format::vertical : output_format::table;
    s.message(std::string("expanded display ") + (expanded ? "on" : "off") + ": format " + format_name(format));
}

void cmd_quit(session &s, const std::string &) { s.quit(); }

// --- the commands of one database's own client ------------------------------

// psql's \restrict KEY, which pg_dump writes at the top of a plain dump and
// \unrestrict KEY at its end: in between, a backslash command is refused.
void cmd_restrict(session &s, const std::string &rest) {
    std::vector<std::string> w = words(rest);
    if (w.empty()) s.report_problem("\\restrict: missing required argument");
    else s.restrict_key() = w[0];
}

void cmd_unrestrict(session &s, const std::string &rest) {
    std::vector<std::string> w = words(rest);
    if (s.restrict_key().empty()) s.report_problem("\\unrestrict: not currently in restricted mode");
    else if (w.empty()) s.report_problem("\\unrestrict: missing required argument");
    else if (w[0] != s.restrict_key()) s.report_problem("\\unrestrict: wrong key");
    else s.restrict_key().clear();
}

struct format_word {
    const char *name;
    output_format value;
};

// sqlite3's .mode, on the shell's formats. sqlite3's list separates values
// with '|'; the shell has no such format and writes tab-separated values.
const format_word sqlite_modes[] = {{"csv", output_format::csv},      {"tabs", output_format::tsv},
                                    {"list", output_format::tsv},     {"line", output_format::vertical},
                                    {"box", output_format::table},    {"table", output_format::table}};

void dot_mode(session &s, const std::string &rest) {
    if (!value_named(sqlite_modes, rest, &s.settings().format))
        s.report_problem(".mode " + rest + " is not run by the shell: it takes csv, tabs, list, line, box or table");
    else s.message(std::string("format ") + format_name(s.settings().format));
}

// The shell always writes the column names, which .headers on asks for.
void dot_headers(session &s, const std::string &rest) {
    bool on = true;
    if (!switch_argument(s, rest, ".headers", &on)) return;
    if (!on) s.report_problem(".headers off is not run by the shell: it always writes the column names");
}

void dot_bail(session &s, const std::string &rest) {
    if (switch_argument(s, rest, ".bail", &s.settings().bail))
        s.message(std::string("bail ") + (s.settings().bail ? "on" : "off"));
}
// psql's \bind: the words are the next statement's values; a word in
// single quotes may hold spaces, and '' stands for one quote in it.
std::vector<std::string> bind_words(const std::string &rest) {
    std::vector<std::string> values;
    size_t i = 0;
    while (i < rest.size()) {
        if (rest[i] == ' ' || rest[i] == '\t') {
            ++i;
            continue;
        }
        std::string value;
        bool quoted = rest[i] == '\'';
        for (i += quoted ? 1 : 0; i < rest.size(); ++i) {
            if (quoted && rest[i] == '\'' && i + 1 < rest.size() && rest[i + 1] == '\'') value += rest[++i];
            else if (quoted && rest[i] == '\'') quoted = false;
            else if (!quoted && (rest[i] == ' ' || rest[i] == '\t')) break;
            else value += rest[i];
        }
        values.push_back(value);
    }
    return values;
}

void cmd_bind(session &s, const std::string &rest) { s.bind_next(bind_words(rest)); }

void cmd_help(session &s, const std::string &) { s.answer(commands_help()); }

struct command {
    const char *name;
    const char *alias;
    const char *arguments;
    const char *help;
    void (*run)(session &s, const std::string &rest);
};

const command commands[] = {
    {"connect", "c", "[TEXT|DSN [USER [PW]]]",
     "connect a new slot (connect text, data source name, or DSN USER PASSWORD as in psql); alone, the current "
     "one again",
     cmd_connect},
    {"reconnect", "", "[SLOT]", "connect a slot again with its connect text (the current one by default)",
     cmd_reconnect},
    {"disconnect", "", "[SLOT]", "disconnect a slot (the current one by default)", cmd_disconnect},
    {"use", "", "SLOT", "send statements to another connected slot", cmd_use},
    {"slots", "", "", "list the connections", cmd_slots},
    {"datasources", "dsn", "[user|system]", "list the data sources of the driver manager", cmd_datasources},
    {"tables", "", "", "list the tables (SHOW TABLES)", cmd_tables},
    {"schemas", "", "", "list the schemas (SHOW SCHEMAS)", cmd_schemas},
    {"catalogs", "", "", "list the catalogs (SHOW CATALOGS)", cmd_catalogs},
    {"databases", "", "", "list the databases (SHOW DATABASES)", cmd_databases},
    {"info", "", "[ITEM]", "show the information items 1 to 10, or one by number or name", cmd_info},
    {"version", "", "", "show the library's name and version", cmd_version},
    {"getattr", "", "conn|stmt [NAME|NUMBER]", "read one attribute, or list them all", cmd_getattr},
    {"setattr", "", "conn|stmt NAME|NUMBER VALUE", "set an attribute", cmd_setattr},
    {"free", "", "", "free the statement of the current slot", cmd_free},
    {"bind", "", "[VALUE ...]", "values for the next statement's ? markers, as texts; alone, none", cmd_bind},
    {"format", "", "[table|csv|tsv|vertical]", "choose how results are written", cmd_format},
    {"fetch", "", "[array|variable]", "choose how rows are fetched", cmd_fetch},
    {"encoding", "", "[NAME]", "show or name the encoding of the texts the drivers exchange", cmd_encoding},
    {"output", "o", "[FILE]", "write results to a file; without one, to standard output", cmd_output},
    {"x", "", "[on|off]", "expanded display: the vertical format, or back to the table", cmd_expanded},
    {"timing", "", "[on|off]", "say how long each statement took", cmd_timing},
    {"include", "i", "FILE", "run the statements and commands of FILE", cmd_include},
    {"echo", "", "TEXT", "print a line", cmd_echo},
    {"help", "?", "", "this list", cmd_help},
    {"quit", "q", "", "leave the shell (an unfinished statement is not run)", cmd_quit},
};

// The mariadb client's \W and \w, in its dialect only: psql's \w writes
// the query buffer, which this shell does not keep.
void cmd_warnings(session &s, bool on) {
    s.settings().show_warnings = on;
    s.message(on ? "Show warnings enabled." : "Show warnings disabled.");
}
void cmd_warnings_on(session &s, const std::string &) { cmd_warnings(s, true); }
void cmd_warnings_off(session &s, const std::string &) { cmd_warnings(s, false); }

// The commands that scripts written for one database's own client hold,
// taken in that dialect only: in the mariadb client \r means reconnect, and
// in psql \. ends the data of a COPY.
struct client_command {
    sql_dialect dialect;
    const char *name; // as written, with its backslash or dot
    const char *arguments;
    const char *help;
    void (*run)(session &s, const std::string &rest);
};

const client_command client_commands[] = {
    {sql_dialect::postgresql, "\\restrict", "KEY", "psql's: refuse every backslash command until \\unrestrict KEY",
     cmd_restrict},
    {sql_dialect::postgresql, "\\unrestrict", "KEY", "psql's: end \\restrict", cmd_unrestrict},
    {sql_dialect::mariadb, "source", "FILE", "the mariadb client's: run FILE, as \\include does", cmd_include},
    {sql_dialect::mariadb, "\\.", "FILE", "the same as source", cmd_include},
    {sql_dialect::mariadb, "\\W", "", "the mariadb client's: show the warnings after every statement",
     cmd_warnings_on},
    {sql_dialect::mariadb, "\\w", "", "the mariadb client's: stop showing the warnings", cmd_warnings_off},
    {sql_dialect::sqlite, ".mode", "csv|tabs|list|line|box|table", "sqlite3's: choose the format (list writes tabs)",
     dot_mode},
    {sql_dialect::sqlite, ".headers", "on", "sqlite3's: the column names are always written", dot_headers},
    {sql_dialect::sqlite, ".read", "FILE", "sqlite3's: run FILE, as \\include does", cmd_include},
    {sql_dialect::sqlite, ".bail", "on|off", "sqlite3's: stop at the first failure, as --bail", dot_bail},
    {sql_dialect::sqlite, ".timer", "on|off", "sqlite3's: the same as \\timing", cmd_timing},
    {sql_dialect::sqlite, ".quit", "", "sqlite3's: the same as \\quit", cmd_quit},
    {sql_dialect::sqlite, ".exit", "", "sqlite3's: the same as \\quit", cmd_quit},
};

using command_code = void (*)(session &s, const std::string &rest);

// The code of a command as written ("\\tables", ".mode", "source"); null
// when there is none in this dialect.
command_code find_command(const std::string &name, sql_dialect dialect) {
    for (const client_command &c : client_commands)
        if (c.dialect == dialect && name == c.name) return c.run;
    if (name.empty() || name[0] != '\\') return nullptr;
    for (const command &c : commands)
        if (name.compare(1, std::string::npos, c.name) == 0 ||
            (*c.alias != '\0' && name.compare(1, std::string::npos, c.alias) == 0))
            return c.run;
    return nullptr;
}

std::string unknown_command(const std::string &name) {
    if (name[0] != '.') return "no command " + name + " (\\help lists them)";
    std::string runs;
    for (const client_command &c : client_commands)
        if (c.dialect == sql_dialect::sqlite) runs += (runs.empty() ? "" : ", ") + std::string(c.name);
    return "sqlite3's " + name + " is not run by the shell; of sqlite3's commands it runs " + runs;
}

} // namespace

void run_command(session &s, const std::string &line) {
    std::string text = trim(line);
    if (!text.empty() && text.back() == ';') text = trim(text.substr(0, text.size() - 1));
    size_t space = text.find_first_of(" \t");
    std::string name = text.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : trim(text.substr(space));
    if (name.empty()) return;
    if (name[0] != '\\' && name[0] != '.') // the mariadb client's words are read in any case
        for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    command_code run = find_command(name, s.connections().current_dialect());
    if (!s.restrict_key().empty() && name != "\\unrestrict")
        s.report_problem("backslash commands are restricted; only \\unrestrict is allowed");
    else if (run == nullptr) s.report_problem(unknown_command(name));
    else run(s, rest);
}

namespace {

// "  \\name ARGUMENTS" and the help, in two columns.
std::string help_line(const std::string &name, const char *arguments, const char *alias, const char *help) {
    std::string left = "  " + name + (*arguments ? std::string(" ") + arguments : "");
    if (*alias) left += std::string(" (\\") + alias + ")";
    return left + std::string(left.size() < 40 ? 40 - left.size() : 1, ' ') + help + "\n";
}

} // namespace

std::string commands_help() {
    std::string out = "Commands (a statement ends with ';' and may span lines):\n";
    for (const command &c : commands) out += help_line(std::string("\\") + c.name, c.arguments, c.alias, c.help);
    sql_dialect dialect = sql_dialect::standard;
    for (const client_command &c : client_commands) {
        if (c.dialect != dialect) out += std::string("Commands of the client, in the ") + dialect_name(c.dialect) + " dialect:\n";
        dialect = c.dialect;
        out += help_line(c.name, c.arguments, "", c.help);
    }
    return out;
}
