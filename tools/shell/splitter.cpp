// splitter.cpp - the quote and comment states of the statement splitter.
#include "splitter.h"

#include "text.h"

void statement_splitter::finish(std::vector<std::string> *done) {
    std::string statement = trim(buffer_);
    if (!statement.empty()) done->push_back(statement);
    buffer_.clear();
}

void statement_splitter::add_line(const std::string &line, std::vector<std::string> *done) {
    struct quote {
        char c;
        state inside;
    };
    static const quote quotes[] = {{'\'', state::single_quote}, {'"', state::double_quote}, {'`', state::back_quote}};
    if (!buffer_.empty()) buffer_ += '\n';
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        char next = i + 1 < line.size() ? line[i + 1] : '\0';
        if (state_ == state::block_comment) {
            if (c == '*' && next == '/') {
                state_ = state::plain;
                buffer_ += ' ';
                ++i;
            }
            continue;
        }
        if (state_ != state::plain) {
            buffer_ += c;
            for (const quote &q : quotes)
                if (state_ == q.inside && c == q.c) state_ = state::plain;
            continue;
        }
        if (c == '-' && next == '-') break;
        if (c == '/' && next == '*') {
            state_ = state::block_comment;
            ++i;
            continue;
        }
        if (c == ';') {
            finish(done);
            continue;
        }
        buffer_ += c;
        for (const quote &q : quotes)
            if (c == q.c) state_ = q.inside;
    }
}

bool statement_splitter::pending() const { return !trim(buffer_).empty() || inside_text(); }

std::string statement_splitter::take_pending() {
    std::string rest = trim(buffer_);
    buffer_.clear();
    state_ = state::plain;
    return rest;
}
