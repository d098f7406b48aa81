// results.cpp - statement execution and the two row readers.
#include "results.h"

#include <memory>

#include "console.h"
#include "text.h"

namespace {

struct form_entry {
    fetch_form value;
    const char *name;
};

const form_entry forms[] = {{fetch_form::array, "array"}, {fetch_form::variable, "variable"}};

// Statement attributes that can end a result early.
const int attr_query_timeout = 0; // SQL_ATTR_QUERY_TIMEOUT
const int attr_max_rows = 1;      // SQL_ATTR_MAX_ROWS

// Reads the rows of the current result, one fetch request per row.
class row_reader {
public:
    row_reader(library &lib, int slot, size_t columns) : lib_(lib), slot_(slot), columns_(columns) {}
    virtual ~row_reader() = default;

    // False at the end of the result, or when the fetch failed: then
    // *failed is set and *fetched says why (the library reports a failed
    // fetch through +20 and +36 with status ST_OK, and a row it could not
    // store, such as a value too large for memory, with a status).
    bool next(row *r, outcome *fetched, bool *failed) {
        double before = counter_;
        prepare();
        if (request_ == nullptr) request_ = std::make_unique<fetch_request>(lib_, slot_, flags(), operands());
        *fetched = request_->next(static_cast<int32_t>(columns_), &counter_);
        *failed = counter_ == before || !fetched->ok();
        if (counter_ == 0 || *failed) return false;
        read(r);
        return true;
    }

protected:
    virtual uint16_t flags() const = 0;
    virtual std::vector<host_var *> operands() = 0;
    virtual void prepare() {}
    virtual void read(row *r) = 0;

    library &lib_;
    int slot_;
    size_t columns_;
    // +28 of the fetch: it counts up from here, drops to 0 at the end of the
    // result and stays put when a fetch fails, so it starts above 0.
    double counter_ = 1;

private:
    std::unique_ptr<fetch_request> request_; // made at the first row, when the operands exist
};

class array_reader : public row_reader {
public:
    array_reader(library &lib, int slot, size_t columns)
        : row_reader(lib, slot, columns), values_(host_var::dynamic_array()) {}

protected:
    uint16_t flags() const override { return FETCH_ARRAY; }
    std::vector<host_var *> operands() override { return {&values_}; }
    // The elements are emptied rather than dropped, and traded with the
    // row's texts, so that after the first rows no value needs new memory.
    void prepare() override {
        for (std::string &e : values_.elements) e.clear();
    }
    void read(row *r) override {
        r->resize(columns_);
        for (size_t k = 0; k < columns_; ++k) {
            cell &c = (*r)[k];
            if (k < values_.elements.size()) c.text.swap(values_.elements[k]);
            else c.text.clear();
            c.maybe_null = c.text.empty();
        }
    }

private:
    host_var values_;
};

// The variable form leaves a variable untouched for a NULL value and
// writes any other value with its NUL after it. So each variable is filled
// with a byte other than NUL before the fetch (the host fills what a
// resize adds with another such byte): afterwards its last NUL ends the
// value, and a variable without any NUL held a NULL. Values keep their
// inner NUL bytes, and no value can pass for a NULL.
const uint8_t unwritten_byte = 0xFF;
// A variable that grew beyond this for a long value starts small again, so
// that later rows do not pay for filling it.
const size_t kept_variable_size = 65536;
const size_t fresh_variable_size = 16;

// The value written into v, into *text (whose memory is reused); false
// for a NULL.
bool value_written(const host_var &v, std::string *text) {
    const uint8_t *p = v.area.data();
    size_t n = v.area.size();
    while (n > 0 && p[n - 1] != 0) --n;
    if (n == 0) text->clear();
    else text->assign(reinterpret_cast<const char *>(p), n - 1);
    return n != 0;
}

class variable_reader : public row_reader {
public:
    variable_reader(library &lib, int slot, size_t columns) : row_reader(lib, slot, columns) {
        for (size_t k = 0; k < columns; ++k) values_.push_back(host_var::text("", fresh_variable_size, true));
    }

protected:
    uint16_t flags() const override { return 0; }
    std::vector<host_var *> operands() override {
        std::vector<host_var *> out;
        for (host_var &v : values_) out.push_back(&v);
        return out;
    }
    void prepare() override {
        for (host_var &v : values_) {
            if (v.area.size() > kept_variable_size) {
                v.area.resize(fresh_variable_size, unwritten_byte);
                v.declared_size = fresh_variable_size;
            }
            v.fill(unwritten_byte);
        }
    }
    void read(row *r) override {
        r->resize(columns_);
        for (size_t k = 0; k < columns_; ++k) (*r)[k].null = !value_written(values_[k], &(*r)[k].text);
    }

private:
    std::vector<host_var> values_;
};

std::unique_ptr<row_reader> make_reader(fetch_form form, library &lib, int slot, size_t columns) {
    if (form == fetch_form::variable) return std::make_unique<variable_reader>(lib, slot, columns);
    return std::make_unique<array_reader>(lib, slot, columns);
}

void note_diagnostic(statement_run *run, const outcome &o) {
    if (o.has_record()) run->notes.push_back(o);
}

void fail(statement_run *run, const outcome &o) {
    run->failed = true;
    run->failure = o;
}

void show_binary(const std::vector<column_info> &columns, binary_delivery delivery, row *r) {
    for (size_t k = 0; k < r->size() && k < columns.size(); ++k) {
        cell &c = (*r)[k];
        if (!c.null && !c.maybe_null)
            binary_shown(c.text, columns[k].binary, columns[k].type_code, delivery, &c.text);
    }
}

void fetch_rows(library &lib, int slot, fetch_form form, binary_delivery delivery,
                const std::vector<column_info> &columns, row_writer &writer, progress_line &progress,
                statement_run *run) {
    std::unique_ptr<row_reader> reader = make_reader(form, lib, slot, columns.size());
    writer.begin(columns);
    row r;
    outcome fetched;
    bool failed = false;
    while (!(run->interrupted = interrupt_pending()) && !writer.output_failed() &&
           reader->next(&r, &fetched, &failed)) {
        show_binary(columns, delivery, &r);
        writer.add(r);
        note_diagnostic(run, fetched);
        progress.rows_so_far(++run->rows);
    }
    progress.finish();
    run->rows_begun = true;
    if (failed) fail(run, fetched);
}

// A limit the statement attributes set on the result: its value, or 0 when
// it is not set or cannot be read.
long limit_in_force(library &lib, int slot, int attribute) {
    int64_t value = 0;
    return lib.get_attribute(slot, true, attribute, &value).ok() && value > 0 ? static_cast<long>(value) : 0;
}

} // namespace

bool parse_fetch_form(const std::string &word, fetch_form *form) { return value_named(forms, word, form); }

const char *fetch_form_name(fetch_form form) { return entry_for(forms, form).name; }

statement_run run_statement(library &lib, int slot, const std::string &sql, const std::vector<std::string> &values,
                            fetch_form form, binary_delivery delivery, row_writer &writer, progress_line &progress) {
    statement_run run;
    outcome q = lib.query(slot, sql, values);
    if (!q.ok()) {
        fail(&run, q);
        return run;
    }
    note_diagnostic(&run, q);
    std::vector<column_info> columns;
    outcome d = lib.describe(slot, &columns);
    if (!d.ok()) fail(&run, d);
    else if (columns.empty()) run.affected = q.rowcount;
    else if ((run.interrupted = interrupt_pending())) run.has_result = true;
    else {
        run.has_result = true;
        run.max_rows = limit_in_force(lib, slot, attr_max_rows);
        run.query_timeout = limit_in_force(lib, slot, attr_query_timeout);
        fetch_rows(lib, slot, form, delivery, columns, writer, progress, &run);
    }
    return run;
}

outcome query_rows(library &lib, int slot, const std::string &sql, std::vector<row> *rows) {
    rows->clear();
    lib.free_statement(slot, 0);
    outcome q = lib.query(slot, sql);
    std::vector<column_info> columns;
    outcome d = q.ok() ? lib.describe(slot, &columns) : q;
    if (!d.ok() || columns.empty()) return d.ok() ? q : d;
    array_reader reader(lib, slot, columns.size());
    row r;
    outcome fetched;
    bool failed = false;
    while (reader.next(&r, &fetched, &failed)) rows->push_back(r);
    lib.free_statement(slot, 0);
    return failed ? fetched : q;
}
