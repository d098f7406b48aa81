// session.cpp - the input loop, running statements, and reporting.
#include "session.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <new>

#include "commands.h"
#include "console.h"
#include "connect_text.h"
#include "copy_command.h"
#include "display.h"
#include "entry.h"
#include "executable_comments.h"
#include "names.h"
#include "notices.h"
#include "pg_statements.h"
#include "progress.h"
#include "text.h"

namespace {

// Files that include each other end here rather than in a stack overflow.
const int include_depth_limit = 16;

std::string row_count_text(double count) {
    if (count < 0) return "done";
    long n = static_cast<long>(count);
    return std::to_string(n) + (n == 1 ? " row affected" : " rows affected");
}

// A driver's message on one line: its lines joined by a space, blank lines
// and the spaces around the breaks dropped.
std::string one_line_message(const std::string &message) {
    std::string out;
    size_t start = 0;
    while (start <= message.size()) {
        size_t end = message.find_first_of("\r\n", start);
        if (end == std::string::npos) end = message.size();
        std::string line = trim(message.substr(start, end - start));
        if (!line.empty()) out += (out.empty() ? "" : " ") + line;
        start = end + 1;
    }
    return out;
}

// Why a request failed: the driver's message, or what the status means.
std::string failure_reason(const outcome &o) {
    const status_name *s = find_status(o.status);
    return !o.message.empty() ? one_line_message(o.message) : s != nullptr ? s->meaning : "unknown status";
}

// The limits of a result, as "max_rows = 2 and query_timeout = 5 s"; empty
// when none is in force.
std::string limits_text(const statement_run &run) {
    std::string out;
    if (run.max_rows > 0) out = "max_rows = " + std::to_string(run.max_rows);
    if (run.query_timeout > 0)
        out += (out.empty() ? "" : " and ") + std::string("query_timeout = ") + std::to_string(run.query_timeout) + " s";
    return out;
}

// What the footer says after the row count: the limits in force, and why
// the rows shown are not the whole result.
std::string footer_remark(const statement_run &run) {
    std::string limits = limits_text(run);
    std::string remark = limits.empty() ? std::string() : ", limited by " + limits;
    if (run.interrupted) remark += "; the result is incomplete: Ctrl-C stopped the reading";
    else if (run.failed) remark += "; the result is incomplete: " + failure_reason(run.failure);
    return remark;
}

// A statement named by its first words, such as "INSERT INTO t VALUES ...".
std::string first_words(const std::string &sql) {
    const size_t most_words = 4;
    std::vector<std::string> w = words(sql);
    std::string out;
    for (size_t k = 0; k < w.size() && k < most_words; ++k) out += (k ? " " : "") + w[k];
    return w.size() > most_words ? out + " ..." : out;
}

} // namespace

session::session(library &lib, const shell_settings &settings)
    : lib_(lib), settings_(settings), connections_(lib) {}

session::~session() {
    set_output(std::string());
    if (!started_) return;
    source_name_.clear(); // what is said now belongs to no input line
    while (!connections_.all().empty()) disconnect(connections_.all().front().slot);
    lib_.shutdown();
}

bool session::start() {
    outcome o = lib_.init();
    if (!o.ok()) {
        report_failure(o);
        return false;
    }
    started_ = true;
    return true;
}

void session::run(line_source &source) {
    source_name_ = source.name();
    interactive_ = source.interactive();
    line_number_ = 0;
    name_statements_ = source.names_statements();
    typing_ = typing_ || source.interactive();
    if (source.interactive() && !settings_.quiet)
        message("roridorezu-shell: type \\help for the commands, \\quit to leave.");
    std::string line;
    while (!stopped() && !leaving_includes_) {
        if (!source.read(prompt(), &line)) {
            if (!source.interactive() || !take_interrupt()) break;
            splitter_.take_pending(); // Ctrl-C at the prompt clears the input
            abandon_copy();
            typed_.clear();
            std::fputs("\n", stdout);
            continue;
        }
        read_line(source, line);
        if (take_interrupt()) stop_for_interrupt(source);
    }
    if (stopped() || leaving_includes_) return;
    std::string problem = source.read_problem();
    if (!problem.empty()) {
        source_name_.clear(); // the message names the file itself
        report_problem("cannot read " + source.name() + ": " + problem);
        fail_fatally();
        return;
    }
    if (copy_.active()) end_copy(); // the end of the input ends a COPY block's data, as \. does
    if (source.interactive()) {
        end_of_typing();
        return;
    }
    std::string rest = splitter_.take_pending();
    if (!rest.empty()) run_input_statement(rest);
}

// Messages about a statement of -c name it by its number among them and
// its first words, as there are no lines to point at.
void session::run_input_statement(const std::string &sql) {
    if (name_statements_)
        statement_label_ = "-c statement " + std::to_string(++statements_named_) + " \"" + first_words(sql) + "\"";
    run_split(sql);
    statement_label_.clear();
}

// A line handled, and at a terminal kept for its history once it completes
// a statement or command. A line recalled from the history may hold the
// several lines of one statement.
void session::read_line(line_source &source, const std::string &line) {
    size_t start = 0, end;
    do {
        end = std::min(line.find('\n', start), line.size());
        ++line_number_;
        handle_line(line.substr(start, end - start));
        start = end + 1;
    } while (end < line.size() && !stopped());
    if (!source.interactive()) return;
    typed_ += (typed_.empty() ? "" : "\n") + line;
    if (splitter_.pending()) return;
    source.remember(typed_);
    typed_.clear();
}

// Ctrl-C while a line ran: typed input starts over; a script stops, and
// so does a file of \i typed at the prompt, which the prompt then follows.
void session::stop_for_interrupt(const line_source &source) {
    splitter_.take_pending();
    abandon_copy();
    typed_.clear();
    if (source.interactive()) return;
    report_problem("interrupted: the rest of the input was not run");
    if (typing_) leaving_includes_ = true;
    else fail_fatally();
}

// Ctrl-D: an unfinished statement is never run, as it may lack a WHERE.
void session::end_of_typing() {
    std::fputs("\n", stdout);
    std::fflush(stdout);
    discard_unfinished();
}

void session::discard_unfinished() {
    std::string rest = splitter_.take_pending();
    if (!rest.empty()) note("the unfinished statement was discarded, not run: it had no ';'");
}

void session::quit() {
    discard_unfinished();
    quit_ = true;
}

void session::include(const std::string &path) {
    std::string problem;
    std::unique_ptr<line_source> file = file_input(path, &problem);
    if (file != nullptr && include_depth_ >= include_depth_limit)
        problem = "\\i " + path + ": files include each other more than " + std::to_string(include_depth_limit) +
                  " deep";
    if (!problem.empty()) {
        report_problem(problem);
        return;
    }
    std::string outer_name = source_name_;
    long outer_line = line_number_;
    bool outer_names_statements = name_statements_;
    bool outer_interactive = interactive_;
    ++include_depth_;
    run(*file);
    --include_depth_;
    if (include_depth_ == 0) leaving_includes_ = false;
    source_name_ = outer_name;
    line_number_ = outer_line;
    name_statements_ = outer_names_statements;
    interactive_ = outer_interactive;
}

void session::handle_line(const std::string &line) {
    if (copy_.active()) {
        copy_line(line);
        return;
    }
    split_line split;
    splitter_.set_dialect(connections_.current_dialect());
    splitter_.add_line(line, &split);
    if (!split.problem.empty()) report_problem(split.problem);
    for (const std::string &sql : split.statements) {
        if (stopped() || interrupt_pending()) return;
        run_input_statement(sql);
    }
    if (!split.command.empty() && !stopped() && !interrupt_pending()) run_command(*this, split.command);
}

// A statement as the splitter cut it. PostgreSQL: the data of a COPY ...
// FROM STDIN that follows is loaded, a COPY ... TO STDOUT refused; a change of
// standard_conforming_strings (MariaDB: of NO_BACKSLASH_ESCAPES) changes how
// the next lines are split. MariaDB: of a statement made of executable
// comments only, the bodies that the server would run are sent.
void session::run_split(const std::string &sql) {
    bool postgresql = connections_.current_dialect() == sql_dialect::postgresql;
    client_copy copy = postgresql ? client_copy_of(sql) : client_copy::none;
    if (copy == client_copy::from_stdin) {
        start_copy(sql);
        return;
    }
    if (copy == client_copy::to_stdout) {
        report_problem(copy_to_stdout_refusal());
        return;
    }
    bool on = true;
    bool mariadb = connections_.current_dialect() == sql_dialect::mariadb;
    std::string body;
    if (mariadb && executable_comments_only(sql, server_comment_version(), &body)) {
        if (!body.empty()) run_split(body); // the body is shorter, and holds no whole comment
        return;
    }
    if (!run_sql(sql)) return;
    if (postgresql && sets_standard_strings(sql, &on)) splitter_.set_standard_strings(on);
    if (mariadb && sets_no_backslash_escapes(sql, &on)) splitter_.set_no_backslash_escapes(on);
}

// MariaDB: the version that the server compares with the number of an
// executable comment; 0 when the driver does not say.
long session::server_comment_version() {
    int slot = connections_.current();
    std::string version;
    if (slot == 0 || !lib_.info(slot, 2, &version).ok()) return 0;
    return comment_version_of(version);
}

// COPY ... FROM STDIN: the lines that follow, up to \., are its rows, which
// go to the table as INSERT statements (copy_load.h). When the block cannot
// be loaded, its lines are skipped.
void session::start_copy(const std::string &sql) {
    copy_command command;
    std::string problem;
    int slot = current_slot();
    copy_failure why;
    if (slot == 0) problem = "no connection";
    else if (read_copy_command(sql, &command, &problem) &&
             copy_.begin(slot, command, connections_.in_transaction(slot), &why)) {
        if (interactive_)
            message("Enter data to be copied followed by a newline.\nEnd with a backslash and a period on a line by "
                    "itself, or an EOF signal.");
        return;
    }
    splitter_.skip_copy_data();
    if (!problem.empty()) report_problem("COPY was not run: " + problem + "; its data, up to the line \\., was skipped");
    else if (slot != 0) report_copy_failure(why);
}

// The CR of a CR LF line end belongs to the line end, as psql and the
// server's COPY take it: "\\.\r" ends the data, and no value ends in a CR.
void session::copy_line(const std::string &text) {
    bool cr = !text.empty() && text.back() == '\r';
    std::string without_cr;
    const std::string &line = cr ? (without_cr = text.substr(0, text.size() - 1)) : text;
    copy_failure why;
    if (line == "\\.") end_copy();
    else if (!copy_.add_line(line, line_number_, &why)) {
        splitter_.skip_copy_data(); // the rest of the block's lines
        report_copy_failure(why);
    }
}

void session::end_copy() {
    int slot = copy_.slot();
    copy_failure why;
    if (!copy_.finish(&why)) return report_copy_failure(why);
    connections_.statement_ran(slot, "COPY");
    message("COPY " + std::to_string(copy_.rows()));
}

void session::abandon_copy() { copy_.abandon(); }

// A failure names the table, and the line of the row it concerns.
void session::report_copy_failure(const copy_failure &why) {
    long line = line_number_;
    if (why.line > 0) line_number_ = why.line;
    std::string context = "COPY " + copy_.table() + ": ";
    if (why.problem.empty()) report_failure(why.failure, context);
    else report_problem(context + why.problem);
    line_number_ = line;
    if (why.problem.empty()) check_connection(copy_.slot(), why.failure);
}

std::string session::prompt() const {
    if (copy_.active()) return ">> ";
    const connection *c = connections_.find(connections_.current());
    std::string main = c != nullptr ? c->label + "[" + std::to_string(c->slot) + "]> " : "roridorezu> ";
    if (!splitter_.pending()) return main;
    return std::string(main.size() > 5 ? main.size() - 5 : 0, ' ') + "...> ";
}

// The password typed without echo; false when none could be read.
bool session::ask_password(const std::string &bytes, std::string *password) {
    char typed[512];
    size_t len = 0;
    std::string prompt = "Password for " + connection_label(bytes) + ": ";
    bool ok = read_secret(prompt.c_str(), typed, sizeof typed, &len);
    take_interrupt();
    if (ok) password->assign(typed, len);
    std::fill(typed, typed + sizeof typed, '\0');
    if (!ok) report_problem("no password was typed (it is read from the terminal, without echo)");
    return ok;
}

bool session::connect(const std::string &typed, bool prompt_for_password) {
    std::string text = typed;
    prompt_for_password = take_password_request(&text) || prompt_for_password;
    std::string bytes, problem, password;
    if (!decode_connect_text(text, &bytes, &problem)) {
        report_problem(problem);
        return false;
    }
    if (prompt_for_password) {
        if (!ask_password(bytes, &password)) return false;
        bytes = with_password(bytes, password);
    }
    std::vector<std::string> unread = unread_settings(bytes);
    if (!unread.empty())
        report_notice("the library reads settings separated by exactly one space, so it will not read " +
                      join(unread, ", ") + ": put one space before each setting");
    for (const std::string &key : keys_without_effect(bytes))
        note("-" + key + " has no effect: the data source's own settings decide it");
    return open_connection(bytes);
}

bool session::open_connection(const std::string &bytes) {
    outcome o = connections_.open(bytes);
    std::string unknown = unknown_connect_key(bytes);
    std::string unread = "the connect text has no setting \"" + unknown + "\"; the settings after it were not read";
    if (o.status == ST_BADKEYWORD) o.message = unread;
    if (!o.ok()) {
        report_failure(o);
        // The connect request tells an unknown key only when the connection
        // is made without the settings after it; when it then fails, the
        // driver's error ("no password supplied") would not say why.
        if (o.status != ST_BADKEYWORD && !unknown.empty()) note(unread);
        return false;
    }
    report_note(o);
    message("connected slot " + std::to_string(o.slot) + ": " + connections_.find(o.slot)->label);
    return true;
}

bool session::reconnect(int slot) {
    connection old = *connections_.find(slot);
    int current = connections_.current();
    disconnect(slot);
    if (!open_connection(old.connect_bytes)) {
        // A server that is down now may be up later: the text is kept.
        connections_.keep_unconnected(old, current == slot);
        return false;
    }
    if (current != slot) connections_.use(current);
    return true;
}

int session::current_slot() {
    int slot = connections_.current();
    if (slot == 0) report_problem("not connected: use \\connect with a connect text or a data source name");
    return slot;
}

bool session::run_sql(const std::string &sql) {
    auto started = std::chrono::steady_clock::now();
    bool ok = run_and_report(sql);
    if (!settings_.timing) return ok;
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
    char text[48];
    std::snprintf(text, sizeof text, "Time: %.3f ms", took.count());
    answer(text);
    return ok;
}

bool session::run_and_report(const std::string &sql) {
    int slot = current_slot();
    if (slot == 0) return false;
    // The slot's previous result stayed open for the information items.
    lib_.free_statement(slot, 0);
    std::unique_ptr<row_writer> writer = make_writer(settings_.format, *out_);
    bool rows_on_screen = !writer->holds_rows() && is_terminal(out_->file());
    progress_line progress(is_terminal(stderr) && !rows_on_screen, stderr);
    statement_run run;
    try {
        std::vector<std::string> values;
        values.swap(bind_values_); // the values serve one statement, as psql's \bind
        run = run_statement(lib_, slot, sql, values, settings_.form, connections_.find(slot)->delivery, *writer,
                            progress);
    } catch (const std::bad_alloc &) {
        // The session goes on: only this result is lost.
        progress.finish();
        flush_output();
        lib_.free_statement(slot, 0);
        report_problem("out of memory while reading the result; the rest of it was dropped");
        return false;
    }
    if (run.rows_begun) writer->end(run.rows, footer_remark(run));
    flush_output();
    if (!output_ok()) return false;
    for (const outcome &n : run.notes) report_note(n);
    if (!run.failed) connections_.statement_ran(slot, sql);
    if (run.interrupted) {
        lib_.free_statement(slot, 0);
        note("interrupted: the result was read no further than " + std::to_string(run.rows) +
             " rows, and its cursor is closed");
    } else if (run.failed) {
        report_failure(run.failure);
        check_connection(slot, run.failure);
    }
    else if (!run.has_result) message(row_count_text(run.affected));
    if (!run.failed && settings_.show_warnings && connections_.find(slot)->dialect == sql_dialect::mariadb)
        show_warnings(slot);
    // CSV and TSV have no footer to tell that a limit may have cut them.
    if (!writer->has_footer() && run.max_rows > 0 && run.rows >= run.max_rows)
        note("the result stopped at max_rows = " + std::to_string(run.max_rows) +
             ": it may have had more rows than were written");
    return !run.failed;
}

bool session::set_output(const std::string &path) {
    std::unique_ptr<output_file> next;
    if (!path.empty()) {
        std::FILE *f = std::fopen(path.c_str(), "wb"); // a value's line feeds stay as they are
        if (f == nullptr) {
            report_problem("cannot write " + path + ": " + std::strerror(errno));
            return false;
        }
        next = std::make_unique<output_file>(f, path);
    }
    bool closed = file_ == nullptr || file_->close();
    if (!closed) output_ok();
    file_ = std::move(next);
    out_ = file_ != nullptr ? file_.get() : &stdout_;
    return closed;
}

void session::close_output() {
    set_output(std::string());
    flush_output();
    output_ok();
}

// A failed write ends the run with status 1: the output is no longer whole,
// and nothing after it could be trusted to land. A reader that went away
// (a closed pipe, as under `| head`) ends it quietly, as the signal that
// usually comes with it would.
bool session::output_ok() {
    output_file *failed = out_->failed() ? out_ : stdout_.failed() ? &stdout_ : nullptr;
    if (failed == nullptr) return true;
    if (failed->reader_gone()) quit();
    else if (!output_failure_reported_) {
        output_failure_reported_ = true;
        report_problem(failed->problem());
        fail_fatally();
    }
    return false;
}

namespace {

// The SQLSTATEs (or their first two characters, a class) and MariaDB's
// native errors that say that the connection is lost.
const char *const lost_states[] = {"08", "57P01"};
const int32_t mariadb_lost_errors[] = {2006, 2013}; // server gone away, connection lost during the query

bool says_connection_lost(const outcome &o, sql_dialect dialect) {
    for (const char *state : lost_states)
        if (o.sqlstate.compare(0, std::strlen(state), state) == 0) return true;
    if (dialect != sql_dialect::mariadb) return false;
    return std::find(std::begin(mariadb_lost_errors), std::end(mariadb_lost_errors), o.native) !=
           std::end(mariadb_lost_errors);
}

} // namespace

// A script whose connection is lost ends at once with exit status 2, as
// psql's does, rather than fail at each statement that follows. Typed
// input goes on: \reconnect can bring the connection back.
void session::check_connection(int slot, const outcome &o) {
    const connection *c = connections_.find(slot);
    if (typing_ || connection_ended_ || c == nullptr) return;
    if (!says_connection_lost(o, c->dialect) && !connections_.is_dead(slot)) return;
    report_problem("the connection of slot " + std::to_string(slot) + " is lost: the rest of the input was not run");
    connection_ended_ = true;
}

void session::connect_failed() {
    if (typing_ || connection_ended_) return;
    report_problem("\\connect failed: the rest of the input was not run");
    connection_ended_ = true;
}

void session::disconnect(int slot) {
    bool rolls_back = connections_.work_pending(slot) && connections_.autocommit_off(slot);
    connections_.close(slot);
    if (rolls_back)
        report_notice("slot " + std::to_string(slot) +
                      " was disconnected with autocommit off: the library rolled back the work that was not committed");
}

void session::show(const std::vector<column_info> &columns, const std::vector<row> &rows) {
    std::unique_ptr<row_writer> writer = make_writer(settings_.format, *out_);
    writer->begin(columns);
    for (const row &r : rows) writer->add(r);
    writer->end(static_cast<long>(rows.size()), std::string());
    flush_output();
    output_ok();
}

void session::flush_output() {
    out_->flush();
    stdout_.flush();
}

void session::answer(const std::string &text) {
    stdout_.line(text);
    stdout_.flush();
    output_ok();
}

void session::message(const std::string &text) {
    if (!settings_.quiet) answer(text);
}

std::string session::location() const {
    if (!statement_label_.empty()) return statement_label_ + ": ";
    return source_name_.empty() ? std::string() : source_name_ + ":" + std::to_string(line_number_) + ": ";
}

namespace {

std::string diagnostic_text(const outcome &o) {
    std::string state = o.sqlstate.empty() ? "(none)" : o.sqlstate;
    return opcode_name(o.opcode) + ": " + status_label(o.status) + ", SQLSTATE " + state + ", native error " +
           std::to_string(o.native) + ": " + failure_reason(o);
}

} // namespace

void session::report_failure(const outcome &o, const std::string &context) {
    failed_ = true;
    flush_output();
    write_text(stderr, location() + "error: " + context + diagnostic_text(o) + "\n");
}

// MariaDB's driver does not report warnings: SHOW WARNINGS reads those of
// the last statement, written after its result as the mariadb client
// writes them.
void session::show_warnings(int slot) {
    std::vector<row> rows;
    outcome o = query_rows(lib_, slot, "SHOW WARNINGS", &rows);
    if (!o.ok()) return report_failure(o);
    for (const std::string &line : warning_lines(rows)) stdout_.line(line);
    flush_output();
    output_ok();
}

// A diagnostic of a request that succeeded; PostgreSQL's notices are shown
// as psql shows them, one a line.
void session::report_note(const outcome &o) {
    if (!o.has_record()) return;
    flush_output();
    std::vector<std::string> notices = o.ok() ? notice_lines(o.message) : std::vector<std::string>();
    for (const std::string &n : notices) write_text(stderr, location() + n + "\n");
    if (notices.empty()) write_text(stderr, location() + "note: " + diagnostic_text(o) + "\n");
}

void session::note(const std::string &text) {
    flush_output();
    write_text(stderr, location() + "note: " + text + "\n");
}

void session::report_problem(const std::string &text) {
    failed_ = true;
    flush_output();
    write_text(stderr, location() + "error: " + text + "\n");
}

void session::report_notice(const std::string &text) {
    flush_output();
    write_text(stderr, location() + "note: " + text + "\n");
}
