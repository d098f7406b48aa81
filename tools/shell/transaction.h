// transaction.h - what a statement does to the open transaction of a
// connection with autocommit off, as far as the shell can tell from its
// first words: it changes data, it begins or ends a transaction, or none of
// these.
#ifndef RORI_SHELL_TRANSACTION_H
#define RORI_SHELL_TRANSACTION_H

#include <string>

enum class transaction_effect { none, changes, begins, ends };

// A statement the shell does not know to leave the data alone counts as
// changing it, so that work is never lost without a word.
transaction_effect effect_on_transaction(const std::string &sql);

#endif
