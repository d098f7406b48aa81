// session.cpp - the input loop, running statements, and reporting.
#include "session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "commands.h"
#include "console.h"
#include "connect_text.h"
#include "entry.h"
#include "names.h"
#include "progress.h"
#include "text.h"

namespace {

std::string row_count_text(double count) {
    if (count < 0) return "done";
    long n = static_cast<long>(count);
    return std::to_string(n) + (n == 1 ? " row affected" : " rows affected");
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
    line_number_ = 0;
    if (source.interactive() && !settings_.quiet)
        message("roridorezu-shell: type \\help for the commands, \\quit to leave.");
    std::string line;
    while (!stopped()) {
        if (!source.read(prompt(), &line)) {
            if (!source.interactive() || !take_interrupt()) break;
            splitter_.take_pending(); // Ctrl-C at the prompt clears the input
            std::fputs("\n", stdout);
            continue;
        }
        ++line_number_;
        handle_line(line);
        if (take_interrupt()) stop_for_interrupt(source);
    }
    if (stopped()) return;
    if (source.interactive()) {
        end_of_typing();
        return;
    }
    std::string rest = splitter_.take_pending();
    if (!rest.empty()) run_sql(rest);
}

// Ctrl-C while a line ran: typed input starts over; a script stops.
void session::stop_for_interrupt(const line_source &source) {
    splitter_.take_pending();
    if (source.interactive()) return;
    report_problem("interrupted: the rest of the input was not run");
    fail_fatally();
}

// Ctrl-D: an unfinished statement is never run, as it may lack a WHERE.
void session::end_of_typing() {
    std::fputs("\n", stdout);
    std::fflush(stdout);
    std::string rest = splitter_.take_pending();
    if (!rest.empty()) note("the unfinished statement was discarded, not run: it had no ';'");
}

void session::handle_line(const std::string &line) {
    std::vector<std::string> statements;
    std::string command;
    splitter_.set_dialect(connections_.current_dialect());
    splitter_.add_line(line, &statements, &command);
    for (const std::string &sql : statements) {
        if (stopped() || interrupt_pending()) return;
        run_sql(sql);
    }
    if (!command.empty() && !stopped() && !interrupt_pending()) run_command(*this, command);
}

std::string session::prompt() const {
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
    for (const std::string &key : keys_without_effect(bytes))
        note("-" + key + " has no effect: the data source's own settings decide it");
    outcome o = connections_.open(bytes);
    if (o.status == ST_BADKEYWORD)
        o.message = "the connect text has no setting \"" + unknown_connect_key(bytes) +
                    "\"; the settings after it were not read";
    if (!o.ok()) {
        report_failure(o);
        return false;
    }
    report_note(o);
    message("connected slot " + std::to_string(o.slot) + ": " + connections_.find(o.slot)->label);
    return true;
}

int session::current_slot() {
    int slot = connections_.current();
    if (slot == 0) report_problem("not connected: use \\connect with a connect text or a data source name");
    return slot;
}

void session::run_sql(const std::string &sql) {
    int slot = current_slot();
    if (slot == 0) return;
    // The slot's previous result stayed open for the information items.
    lib_.free_statement(slot, 0);
    std::unique_ptr<row_writer> writer = make_writer(settings_.format, *out_);
    bool rows_on_screen = !writer->holds_rows() && is_terminal(out_->file());
    progress_line progress(is_terminal(stderr) && !rows_on_screen, stderr);
    statement_run run;
    try {
        run = run_statement(lib_, slot, sql, settings_.form, connections_.find(slot)->delivery, *writer, progress);
    } catch (const std::bad_alloc &) {
        // The session goes on: only this result is lost.
        progress.finish();
        flush_output();
        lib_.free_statement(slot, 0);
        report_problem("out of memory while reading the result; the rest of it was dropped");
        return;
    }
    flush_output();
    if (!output_ok()) return;
    for (const outcome &n : run.notes) report_note(n);
    if (run.interrupted) {
        lib_.free_statement(slot, 0);
        note("interrupted: the result was read no further than " + std::to_string(run.rows) +
             " rows, and its cursor is closed");
    } else if (run.failed) report_failure(run.failure);
    else if (!run.has_result) message(row_count_text(run.affected));
}

bool session::set_output(const std::string &path) {
    std::unique_ptr<output_file> next;
    if (!path.empty()) {
        std::FILE *f = std::fopen(path.c_str(), "w");
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

void session::disconnect(int slot) {
    bool rolls_back = connections_.autocommit_off(slot);
    connections_.close(slot);
    if (rolls_back)
        report_notice("slot " + std::to_string(slot) +
                      " was disconnected with autocommit off: the library rolled back the work that was not committed");
}

void session::show(const std::vector<column_info> &columns, const std::vector<row> &rows) {
    std::unique_ptr<row_writer> writer = make_writer(settings_.format, *out_);
    writer->begin(columns);
    for (const row &r : rows) writer->add(r);
    writer->end(static_cast<long>(rows.size()));
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
    return source_name_.empty() ? std::string() : source_name_ + ":" + std::to_string(line_number_) + ": ";
}

namespace {

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

std::string diagnostic_text(const outcome &o) {
    std::string state = o.sqlstate.empty() ? "(none)" : o.sqlstate;
    const status_name *s = find_status(o.status);
    std::string why = !o.message.empty() ? one_line_message(o.message) : s != nullptr ? s->meaning : "unknown status";
    return opcode_name(o.opcode) + ": " + status_label(o.status) + ", SQLSTATE " + state + ", native error " +
           std::to_string(o.native) + ": " + why;
}

} // namespace

void session::report_failure(const outcome &o) {
    failed_ = true;
    flush_output();
    std::fprintf(stderr, "%serror: %s\n", location().c_str(), diagnostic_text(o).c_str());
}

void session::report_note(const outcome &o) {
    if (!o.has_record()) return;
    flush_output();
    std::fprintf(stderr, "%snote: %s\n", location().c_str(), diagnostic_text(o).c_str());
}

void session::note(const std::string &text) {
    flush_output();
    std::fprintf(stderr, "%snote: %s\n", location().c_str(), text.c_str());
}

void session::report_problem(const std::string &text) {
    failed_ = true;
    flush_output();
    std::fprintf(stderr, "%serror: %s\n", location().c_str(), text.c_str());
}

void session::report_notice(const std::string &text) {
    flush_output();
    std::fprintf(stderr, "%snote: %s\n", location().c_str(), text.c_str());
}
