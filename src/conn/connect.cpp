// connect.cpp - OP_CONNECT: parses the keyword text of argument 3 (a private
// copy of it), decodes scrambled values and connects the slot.
//
// Text grammar: "-key=value", settings separated by " -". The character in
// front of each key is skipped unseen; a value ends at the end of the text
// or at a space followed by a hyphen, and loses its trailing spaces.
#include <cstring>

#include "conn/pw_decode.h"
#include "conn/secure_wipe.h"
#include "conn/slots.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/heap.h"
#include "host/request.h"

static const char empty_text[] = "";

struct connect_values {
    const char *host;
    const char *user;
    const char *pw;
};

// Keyword table, compared in this order; a null target accepts the keyword
// without using its value.
struct keyword {
    const char *name;
    const char *connect_values::*target;
};
static const keyword keyword_table[] = {
    {"host", &connect_values::host}, {"user", &connect_values::user}, {"pw", &connect_values::pw},
    {"db", nullptr},                 {"sockfile", nullptr},           {"port", nullptr},
    {"flags", nullptr},
};

static const keyword *find_keyword(const char *key) {
    for (const keyword &k : keyword_table)
        if (std::strcmp(k.name, key) == 0) return &k;
    return nullptr;
}

// The value's end: the NUL, or a space followed by a hyphen; then back over
// trailing spaces, never before the value's first character.
static char *value_end(char *value) {
    char *end = value;
    while (*end != '\0' && !(end[0] == ' ' && end[1] == '-')) ++end;
    while (end > value && end[-1] == ' ') --end;
    return end;
}

// Parses text in place, cutting keys and values with NULs. Returns false at
// the first key that matches no keyword.
static bool parse_connect_text(char *text, connect_values &vals) {
    char *scan = text;
    for (;;) {
        char *eq = std::strchr(scan, '=');
        if (eq == nullptr) return true;
        *eq = '\0';
        const char *key = scan + 1;
        char *value = eq + 1;
        char *end = value_end(value);
        if (*end != '\0') {
            *end = '\0';
            scan = end + 1;
        } else {
            scan = end;
        }
        const keyword *kw = find_keyword(key);
        if (kw == nullptr) return false;
        if (kw->target != nullptr) vals.*(kw->target) = value;
    }
}

// A private, terminated copy of argument 3: the caller's variable is never
// written, and a text that fills its area without a NUL is taken whole.
static char *copy_connect_text(const request &rq) {
    const char *area = reinterpret_cast<const char *>(arg_data(rq, 3));
    size_t size = static_cast<size_t>(arg_size(rq, 3));
    size_t len = 0;
    while (len < size && area[len] != '\0') ++len;
    char *copy = static_cast<char *>(heap_alloc(len + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, area, len);
    copy[len] = '\0';
    return copy;
}

void op_connect(request &rq) {
    if (arg_count(rq) < 3) {
        set_status(rq, ST_ARGS);
        return;
    }
    if (arg_size(rq, 3) <= 0) {
        set_status(rq, ST_BADARG);
        return;
    }
    char *text = copy_connect_text(rq);
    if (text == nullptr) {
        set_status(rq, ST_NOMEM);
        return;
    }
    size_t text_size = std::strlen(text) + 1;
    connect_values vals{empty_text, empty_text, empty_text};
    if (!parse_connect_text(text, vals)) set_status(rq, ST_BADKEYWORD);

    // Values set by a keyword point into the private copy, so they may be
    // decoded in place; the empty defaults are never written.
    if (vals.host != empty_text) pw_decode(const_cast<char *>(vals.host), nullptr);
    if (vals.user != empty_text) pw_decode(const_cast<char *>(vals.user), nullptr);
    if (vals.pw != empty_text) pw_decode(const_cast<char *>(vals.pw), vals.user);
    const char *dsn = vals.host[0] != '\0' ? vals.host : text;

    SQLRETURN rc = SQLConnect(rq.slot->dbc, reinterpret_cast<SQLCHAR *>(const_cast<char *>(dsn)), SQL_NTS,
                              reinterpret_cast<SQLCHAR *>(const_cast<char *>(vals.user)), SQL_NTS,
                              reinterpret_cast<SQLCHAR *>(const_cast<char *>(vals.pw)), SQL_NTS);
    secure_wipe(pw_buf, sizeof pw_buf);
    secure_wipe(text, text_size);
    heap_free(text);

    if (rc == SQL_SUCCESS) return;
    if (rc != SQL_SUCCESS_WITH_INFO) set_status(rq, ST_SQLERROR);
    diag_on_dbc(rq, rc);
}
