// session.h - one run of the shell: its settings, connections and output,
// the loop that turns input lines into statements and commands, and the
// way results, messages and failures are shown.
#ifndef RORI_SHELL_SESSION_H
#define RORI_SHELL_SESSION_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "connections.h"
#include "copy_load.h"
#include "formats.h"
#include "input.h"
#include "library.h"
#include "output.h"
#include "results.h"
#include "splitter.h"

struct shell_settings {
    output_format format = output_format::table;
    fetch_form form = fetch_form::array;
    bool bail = false;  // stop at the first failure
    bool failures_set_status = false; // any failure makes the exit status 1 (-c and -f)
    bool quiet = false; // no banner and no informational messages
    bool timing = false; // say how long each statement took
    bool show_warnings = false; // MariaDB: SHOW WARNINGS after each statement (\W)
};

class session {
public:
    session(library &lib, const shell_settings &settings);
    ~session();
    session(const session &) = delete;
    session &operator=(const session &) = delete;

    // OP_INIT; false when the library cannot start.
    bool start();
    // Reads lines until the input ends, \quit, or a failure under --bail.
    void run(line_source &source);
    // A connect text or DSN as typed (notations decoded here); its password
    // is asked for when the text holds a bare -pw or prompt_for_password
    // is set. False when no connection was made.
    bool connect(const std::string &typed, bool prompt_for_password = false);
    // Runs a statement that was taken whole (the last one of an input that
    // ended without a semicolon, and the catalog commands); false when it
    // failed.
    bool run_sql(const std::string &sql);
    // \bind: the values, as texts, of the next statement's markers; an
    // empty list gives it none.
    void bind_next(const std::vector<std::string> &values) { bind_values_ = values; }

    bool stopped() const { return quit_ || fatal_ || connection_ended_ || (settings_.bail && failed_); }
    int exit_status() const {
        if (connection_ended_) return 2;
        return fatal_ || ((settings_.bail || settings_.failures_set_status) && failed_) ? 1 : 0;
    }
    // A failure that ends the shell with exit status 1 even without --bail:
    // a start-up connection failed, or a file could not be read.
    void fail_fatally() { fatal_ = true; }

    // --- for the commands ---------------------------------------------------
    library &lib() { return lib_; }
    connection_table &connections() { return connections_; }
    shell_settings &settings() { return settings_; }
    // Ends the session after this line; an unfinished statement is
    // discarded, not run, and the shell says so.
    void quit();
    // Runs the lines of a file here, as if they were typed (\i).
    void include(const std::string &path);
    // Connects a slot again with the connect text it was connected with;
    // false when that failed.
    bool reconnect(int slot);
    // The slot statements go to; 0 (and a failure reported) when there is none.
    int current_slot();
    // Sends results to a file from now on; an empty path means standard
    // output. False when the file cannot be opened, or the one it replaces
    // could not be written in full.
    bool set_output(const std::string &path);
    // At the end of the run: closes the results file and flushes standard
    // output, reporting a failure.
    void close_output();
    // psql's restricted mode (\restrict KEY): while the key is set, no
    // backslash command but \unrestrict KEY runs. Empty when not restricted.
    std::string &restrict_key() { return restrict_key_; }
    // A \connect failed: a script (not typed input) ends here with exit
    // status 2, as its statements were meant for the other connection.
    void connect_failed();
    // Disconnects a slot of the shell, saying so when autocommit was off on
    // it (the library then rolls back the work that was not committed).
    void disconnect(int slot);

    // Rows of the shell's own listings, written like a result.
    void show(const std::vector<column_info> &columns, const std::vector<row> &rows);
    void answer(const std::string &text);  // what a command was asked for: standard output
    void message(const std::string &text); // what happened: standard output, unless quiet
    // context, when given, goes before the request's name ("COPY t: ").
    void report_failure(const outcome &o, const std::string &context = std::string());
    void report_note(const outcome &o); // when the request left a diagnostic
    void note(const std::string &text);
    void report_problem(const std::string &text);      // a failure of the shell's own
    void report_notice(const std::string &text);       // a warning of the shell's own

private:
    void handle_line(const std::string &line);
    void run_input_statement(const std::string &sql);
    void run_split(const std::string &sql);
    long server_comment_version();
    bool ask_password(const std::string &bytes, std::string *password);
    bool open_connection(const std::string &bytes);
    void stop_for_interrupt(const line_source &source);
    void end_of_typing();
    void discard_unfinished();
    bool run_and_report(const std::string &sql); // false when it failed
    void check_connection(int slot, const outcome &o);
    void show_warnings(int slot);
    void start_copy(const std::string &sql);
    void copy_line(const std::string &line);
    void end_copy();
    void abandon_copy();
    void report_copy_failure(const copy_failure &why);
    void read_line(line_source &source, const std::string &line);
    std::string prompt() const;
    std::string location() const;
    void flush_output();
    bool output_ok();

    library &lib_;
    shell_settings settings_;
    std::vector<std::string> bind_values_; // for the next statement only
    connection_table connections_;
    statement_splitter splitter_;
    copy_load copy_{lib_}; // the COPY block whose data lines are being read
    output_file stdout_{stdout, std::string()};
    std::unique_ptr<output_file> file_; // the file of -o or \o
    output_file *out_ = &stdout_;      // where results go
    bool output_failure_reported_ = false;
    bool started_ = false;
    bool quit_ = false;
    bool failed_ = false;
    bool fatal_ = false;
    bool connection_ended_ = false; // a script lost its connection, or its \connect failed: exit status 2
    bool interactive_ = false; // lines are typed at the prompt
    std::string source_name_;
    long line_number_ = 0;
    int include_depth_ = 0;
    bool typing_ = false;         // the input below any \i is typed at a terminal
    bool leaving_includes_ = false; // Ctrl-C in a file of \i typed at the prompt
    std::string typed_; // the lines typed since the last complete statement
    std::string restrict_key_;
    bool name_statements_ = false;   // the input is -c text
    long statements_named_ = 0;      // statements of -c so far, over all -c texts
    std::string statement_label_;    // names the statement of -c that runs
};

#endif
