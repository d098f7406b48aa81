// copy_load.cpp - a COPY block as INSERT statements: the table's columns
// and types from the catalog, the values as text arrays, batches, the
// block's transaction.
#include "copy_load.h"

#include <cctype>
#include <cstring>

#include "results.h"

namespace {

// A statement is sent once its rows take about a megabyte; a single
// longer row makes it longer.
const size_t batch_bytes = 1 << 20;

const char *const block_savepoint = "roridorezu_copy";
const char *const batch_savepoint = "roridorezu_copy_batch";

// A value as a literal without a type, which the server reads with the
// column's own input function, as COPY does. A backslash is doubled in an
// E'' literal, which reads the same whatever standard_conforming_strings
// says.
void append_literal(const std::string &value, std::string *out) {
    bool escaped = value.find('\\') != std::string::npos;
    out->append(escaped ? "E'" : "'");
    size_t start = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c != '\'' && !(c == '\\' && escaped)) continue;
        out->append(value, start, i + 1 - start);
        *out += c; // doubled
        start = i + 1;
    }
    out->append(value, start, std::string::npos);
    *out += '\'';
}

std::string literal(const std::string &value) {
    std::string out;
    append_literal(value, &out);
    return out;
}

// Whether a value stands in a text array as it is: not empty, not NULL,
// none of the array's signs or spaces, and no quote of the literal.
bool plain_element(const std::string &value) {
    if (value.empty() || value.find_first_of("{}\",\\' \t\n\r\v\f") != std::string::npos) return false;
    if (value.size() != 4) return true;
    std::string word = value;
    for (char &c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word != "NULL";
}

// A value as an element of a text array, written straight into the inside
// of an E'' literal: the array quotes it and escapes its backslashes and
// quotes with a backslash, and the literal doubles each backslash again.
// Most numbers, dates and words need no quotes, which keeps the statement
// shorter for the driver to go through.
void append_array_element(const std::string &value, std::string *out) {
    if (plain_element(value)) {
        out->append(value);
        return;
    }
    out->append("\"");
    size_t start = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const char *escaped = value[i] == '\\' ? "\\\\\\\\" : value[i] == '"' ? "\\\\\"" : value[i] == '\'' ? "''" : nullptr;
        if (escaped == nullptr) continue;
        out->append(value, start, i - start);
        out->append(escaped);
        start = i + 1;
    }
    out->append(value, start, std::string::npos);
    out->append("\"");
}

// The row of the catalog query below for a column named name; null when
// the table has none.
const row *column_named(const std::vector<row> &columns, const std::string &name) {
    for (const row &c : columns)
        if (c[0].text == name) return &c;
    return nullptr;
}

} // namespace

bool copy_load::run(const std::string &sql, copy_failure *why) {
    lib_.free_statement(slot_, 0);
    outcome o = lib_.query(slot_, sql);
    if (o.ok()) return true;
    why->failure = o;
    return false;
}

// The columns that COPY fills (those of the column list, or else all but
// the generated ones, in their order) with their types, and whether one is
// an identity GENERATED ALWAYS, which an INSERT may fill only with
// OVERRIDING SYSTEM VALUE, as pg_dump --inserts writes it. The types come
// without their length (format_type with -1 writes bpchar and "bit", not
// character and bit, which mean a length of one), and a domain as the type
// it is built on: the cast then keeps the whole value, and the column
// checks its length and the domain's constraints as COPY does, instead of
// an explicit cast cutting the value short.
bool copy_load::read_table(copy_failure *why) {
    std::string sql = "SELECT a.attname, pg_catalog.quote_ident(a.attname), pg_catalog.format_type((WITH RECURSIVE "
                      "d(t) AS (SELECT a.atttypid UNION ALL SELECT y.typbasetype FROM pg_catalog.pg_type y JOIN d ON "
                      "y.oid = d.t WHERE y.typtype = 'd') SELECT d.t FROM d JOIN pg_catalog.pg_type z ON z.oid = d.t "
                      "WHERE z.typtype <> 'd'), -1), "
                      "(a.attidentity = 'a')::int, (a.attgenerated <> '')::int FROM pg_catalog.pg_attribute a "
                      "WHERE a.attrelid = " +
                      literal(command_.table) + "::pg_catalog.regclass AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum";
    std::vector<row> catalog;
    outcome o = query_rows(lib_, slot_, sql, &catalog);
    if (!o.ok()) {
        why->failure = o;
        return false;
    }
    std::vector<const row *> filled;
    bool identity = false;
    for (const row &c : catalog) {
        identity = identity || c[3].text == "1";
        if (command_.column_names.empty() && c[4].text != "1") filled.push_back(&c);
    }
    for (const std::string &name : command_.column_names) {
        filled.push_back(column_named(catalog, name));
        if (filled.back() == nullptr) why->problem = "column \"" + name + "\" of relation " + command_.table + " does not exist";
    }
    if (filled.empty()) why->problem = "the table " + command_.table + " has no columns to fill";
    if (!why->problem.empty()) return false;
    columns_ = filled.size();
    std::string names;
    names_.clear();
    types_.clear();
    for (size_t k = 0; k < columns_; ++k) {
        names_.push_back((*filled[k])[0].text);
        names += (k == 0 ? "" : ", ") + (*filled[k])[1].text;
        types_.push_back((*filled[k])[2].text);
    }
    prefix_ = "INSERT INTO " + command_.table + " (" + names + ")" + (identity ? " OVERRIDING SYSTEM VALUE " : " ");
    return true;
}

bool copy_load::begin(int slot, const copy_command &command, bool in_transaction, copy_failure *why) {
    slot_ = slot;
    command_ = command;
    savepoint_ = in_transaction;
    rows_ = 0;
    row_line_ = 0;
    lines_.clear();
    row_starts_.clear();
    row_lines_.clear();
    if (!read_table(why)) return false;
    arrays_.assign(columns_, std::string());
    if (!run(savepoint_ ? std::string("SAVEPOINT ") + block_savepoint : "BEGIN", why)) return false;
    reader_ = std::make_unique<copy_reader>(command_.format);
    active_ = true;
    return true;
}

// Rolls the block back after a failure; the failure stays the one to tell.
bool copy_load::roll_back() {
    copy_failure ignored;
    if (savepoint_) {
        run(std::string("ROLLBACK TO SAVEPOINT ") + block_savepoint, &ignored);
        run(std::string("RELEASE SAVEPOINT ") + block_savepoint, &ignored);
    } else run("ROLLBACK", &ignored);
    active_ = false;
    return false;
}

void copy_load::abandon() {
    if (active_) roll_back();
}

// The lines of the batch's rows are kept as they came, to read its rows
// again one at a time should the batch fail.
bool copy_load::add_line(const std::string &line, long line_number, copy_failure *why) {
    if (row_line_ == 0) {
        row_line_ = line_number;
        row_start_ = lines_.size();
    }
    lines_ += line;
    lines_ += '\n';
    if (!reader_->add_line(line)) {
        if (reader_->unfinished()) return true;
        long header_line = row_line_;
        row_line_ = 0; // a header, which is no row
        lines_.resize(row_start_);
        return header_matches(header_line, why) || roll_back();
    }
    bool added = add_row(row_line_, why);
    row_line_ = 0;
    return added;
}

// With HEADER MATCH, the header names the columns that COPY fills, in
// their order, or the block stops, as the server's COPY stops.
bool copy_load::header_matches(long line_number, copy_failure *why) {
    if (!command_.format.header_match) return true;
    size_t count = reader_->field_count();
    why->line = line_number;
    if (count != columns_)
        why->problem = "wrong number of fields in header line: got " + std::to_string(count) + ", expected " +
                       std::to_string(columns_);
    for (size_t k = 0; k < count && why->problem.empty(); ++k) {
        const copy_field &f = reader_->fields()[k];
        if (f.null || f.value != names_[k])
            why->problem = "column name mismatch in header line field " + std::to_string(k + 1) + ": got " +
                           (f.null ? std::string("a null value") : "\"" + f.value + "\"") + ", expected \"" +
                           names_[k] + "\"";
    }
    return why->problem.empty();
}

void copy_load::add_value(size_t column, const copy_field &field) {
    std::string &array = arrays_[column];
    if (!array.empty()) array += ',';
    if (field.null) array += "NULL";
    else append_array_element(field.value, &array);
}

// The row that the reader holds goes into the batch, which is sent once
// it is large enough. A row that cannot be written as values stops the
// block, as the server's COPY would stop there.
bool copy_load::add_row(long line_number, copy_failure *why) {
    size_t count = reader_->field_count();
    why->line = line_number;
    if (count != columns_) {
        why->problem = count > columns_ ? "extra data after last expected column"
                                        : "missing data for column " + std::to_string(count + 1);
        return roll_back();
    }
    const std::vector<copy_field> &fields = reader_->fields();
    for (size_t k = 0; k < count; ++k)
        if (!fields[k].null && std::memchr(fields[k].value.data(), 0, fields[k].value.size()) != nullptr) {
            why->problem = "invalid byte sequence: a value holds the byte 0x00";
            return roll_back();
        }
    row_starts_.push_back(row_start_);
    row_lines_.push_back(line_number);
    for (size_t k = 0; k < count; ++k) add_value(k, fields[k]);
    return lines_.size() < batch_bytes || send_batch(why);
}

bool copy_load::send_batch(copy_failure *why) {
    if (row_starts_.empty()) return true;
    // The arrays unnest side by side in the select list, row by row, which
    // keeps the server from first storing the rows as unnest in FROM does.
    statement_ = prefix_;
    for (size_t k = 0; k < columns_; ++k) {
        statement_ += k == 0 ? "SELECT unnest(E'{" : ", unnest(E'{";
        statement_ += arrays_[k];
        statement_ += "}'::text[])::";
        statement_ += types_[k];
    }
    if (!run(std::string("SAVEPOINT ") + batch_savepoint, why)) return roll_back();
    if (!run(statement_, why)) {
        copy_failure ignored;
        if (run(std::string("ROLLBACK TO SAVEPOINT ") + batch_savepoint, &ignored)) find_bad_row(why);
        return roll_back();
    }
    if (!run(std::string("RELEASE SAVEPOINT ") + batch_savepoint, why)) return roll_back();
    rows_ += static_cast<long>(row_starts_.size());
    for (std::string &array : arrays_) array.clear();
    lines_.clear();
    row_starts_.clear();
    row_lines_.clear();
    return true;
}

// The batch failed: its rows one at a time, read again from their lines
// and sent as VALUES of literals without a type (which the columns' input
// functions read too), after the rows of the block that went before, tell
// which one the server refuses. Without one that fails alone, the batch's
// first line is named.
void copy_load::find_bad_row(copy_failure *why) {
    why->line = row_lines_.front();
    copy_format format = command_.format;
    format.header = false;
    copy_reader reader(format);
    size_t at = 0;
    for (size_t k = 0; k < row_starts_.size(); ++k) {
        size_t end = k + 1 < row_starts_.size() ? row_starts_[k + 1] : lines_.size();
        for (; at < end; at = lines_.find('\n', at) + 1) reader.add_line(lines_.substr(at, lines_.find('\n', at) - at));
        std::string values = prefix_ + "VALUES (";
        for (size_t f = 0; f < reader.field_count(); ++f) {
            if (f > 0) values += ',';
            if (reader.fields()[f].null) values += "NULL";
            else append_literal(reader.fields()[f].value, &values);
        }
        copy_failure refused;
        if (run(values + ")", &refused)) continue;
        *why = refused;
        why->line = row_lines_[k];
        return;
    }
}

bool copy_load::finish(copy_failure *why) {
    if (reader_->unfinished()) {
        why->line = row_line_;
        why->problem = "the data ended inside a value (a quote that never closed, or a backslash at a line end)";
        return roll_back();
    }
    why->line = 0;
    if (!send_batch(why)) return false;
    if (!run(savepoint_ ? std::string("RELEASE SAVEPOINT ") + block_savepoint : "COMMIT", why)) return roll_back();
    active_ = false;
    return true;
}
