// session.cpp - the input loop, running statements, and reporting.
#include "session.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "commands.h"
#include "connect_text.h"
#include "entry.h"
#include "names.h"
#include "progress.h"
#include "text.h"

namespace {

bool is_command_line(const std::string &line) {
    size_t b = line.find_first_not_of(" \t");
    return b != std::string::npos && line[b] == '\\';
}

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
    while (!stopped() && source.read(prompt(), &line)) {
        ++line_number_;
        handle_line(line);
    }
    std::string rest = splitter_.take_pending();
    if (!stopped() && !rest.empty()) run_sql(rest);
}

void session::handle_line(const std::string &line) {
    if (!splitter_.inside_text() && is_command_line(line)) {
        run_command(*this, line);
        return;
    }
    std::vector<std::string> statements;
    splitter_.add_line(line, &statements);
    for (const std::string &sql : statements) {
        if (stopped()) break;
        run_sql(sql);
    }
}

std::string session::prompt() const {
    const connection *c = connections_.find(connections_.current());
    std::string main = c != nullptr ? c->label + "[" + std::to_string(c->slot) + "]> " : "roridorezu> ";
    if (!splitter_.pending()) return main;
    return std::string(main.size() > 5 ? main.size() - 5 : 0, ' ') + "...> ";
}

void session::connect(const std::string &typed) {
    std::string bytes, problem;
    if (!decode_connect_text(typed, &bytes, &problem)) {
        report_problem(problem);
        return;
    }
    outcome o = connections_.open(bytes);
    if (!o.ok()) {
        report_failure(o);
        return;
    }
    report_note(o);
    message("connected slot " + std::to_string(o.slot) + ": " + connections_.find(o.slot)->label);
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
    std::unique_ptr<row_writer> writer = make_writer(settings_.format, out_);
    bool rows_on_screen = !writer->holds_rows() && is_terminal(out_);
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
    for (const outcome &note : run.notes) report_note(note);
    if (run.failed) report_failure(run.failure);
    else if (!run.has_result) message(row_count_text(run.affected));
}

bool session::set_output(const std::string &path) {
    std::FILE *next = stdout;
    if (!path.empty() && (next = std::fopen(path.c_str(), "w")) == nullptr) {
        report_problem("cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    if (out_ != stdout) std::fclose(out_);
    out_ = next;
    return true;
}

void session::disconnect(int slot) {
    bool rolls_back = connections_.autocommit_off(slot);
    connections_.close(slot);
    if (rolls_back)
        report_notice("slot " + std::to_string(slot) +
                      " was disconnected with autocommit off: the library rolled back the work that was not committed");
}

void session::show(const std::vector<column_info> &columns, const std::vector<row> &rows) {
    std::unique_ptr<row_writer> writer = make_writer(settings_.format, out_);
    writer->begin(columns);
    for (const row &r : rows) writer->add(r);
    writer->end(static_cast<long>(rows.size()));
    flush_output();
}

void session::flush_output() {
    std::fflush(out_);
    std::fflush(stdout);
}

void session::answer(const std::string &text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
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

void session::report_problem(const std::string &text) {
    failed_ = true;
    flush_output();
    std::fprintf(stderr, "%serror: %s\n", location().c_str(), text.c_str());
}

void session::report_notice(const std::string &text) {
    flush_output();
    std::fprintf(stderr, "%snote: %s\n", location().c_str(), text.c_str());
}
