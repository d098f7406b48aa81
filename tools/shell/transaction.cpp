// transaction.cpp - telling a statement's effect on the transaction by its
// leading keywords.
#include "transaction.h"

#include <cctype>

#include "text.h"

namespace {

struct leading_word {
    const char *name;
    transaction_effect value;
};

// Statements that begin or end a transaction, and those that read or set up the
// session without changing data. Every other statement changes data.
const leading_word leading_words[] = {
    {"COMMIT", transaction_effect::ends},   {"ROLLBACK", transaction_effect::ends},
    {"END", transaction_effect::ends},      {"ABORT", transaction_effect::ends},
    {"SELECT", transaction_effect::none},   {"SHOW", transaction_effect::none},
    {"EXPLAIN", transaction_effect::none},  {"DESCRIBE", transaction_effect::none},
    {"DESC", transaction_effect::none},     {"VALUES", transaction_effect::none},
    {"TABLE", transaction_effect::none},    {"SET", transaction_effect::none},
    {"USE", transaction_effect::none},      {"BEGIN", transaction_effect::begins},
    {"START", transaction_effect::begins},  {"SAVEPOINT", transaction_effect::none},
    {"RELEASE", transaction_effect::none},  {"PRAGMA", transaction_effect::none},
};

// Skips blanks and comments ("-- ..." to the line end, "/* ... */").
size_t skip_blanks_and_comments(const std::string &sql, size_t i) {
    for (;;) {
        while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
        if (sql.compare(i, 2, "--") == 0) i = sql.find('\n', i);
        else if (sql.compare(i, 2, "/*") == 0) {
            i = sql.find("*/", i + 2);
            if (i != std::string::npos) i += 2;
        } else return i;
        if (i == std::string::npos) return sql.size();
    }
}

// The first two words in upper case, after any blanks, comments and "(".
void leading_words_of(const std::string &sql, std::string *first, std::string *second) {
    std::string *target[] = {first, second};
    size_t i = skip_blanks_and_comments(sql, 0);
    while (i < sql.size() && sql[i] == '(') i = skip_blanks_and_comments(sql, i + 1);
    for (std::string *word : target) {
        while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
            *word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
        i = skip_blanks_and_comments(sql, i);
    }
}

} // namespace

transaction_effect effect_on_transaction(const std::string &sql) {
    std::string first, second;
    leading_words_of(sql, &first, &second);
    // ROLLBACK TO SAVEPOINT keeps the transaction and the work before the savepoint.
    if (first == "ROLLBACK" && second == "TO") return transaction_effect::none;
    transaction_effect effect = transaction_effect::changes;
    value_named(leading_words, first, &effect);
    return effect;
}
