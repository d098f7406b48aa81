/* odbc_faults.c - an ODBC fault injector that sits between the library and
 * the driver manager. See odbc_faults.h for the rules it can be given. */
#define _GNU_SOURCE
#include "odbc_faults.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sql.h>
#include <sqlext.h>

#define EXPORT __attribute__((visibility("default")))

enum {
    FN_ALLOCHANDLE,
    FN_SETENVATTR,
    FN_FREEHANDLE,
    FN_CONNECT,
    FN_DISCONNECT,
    FN_GETDIAGREC,
    FN_EXECDIRECT,
    FN_TABLES,
    FN_GETINFO,
    FN_ROWCOUNT,
    FN_FREESTMT,
    FN_NUMRESULTCOLS,
    FN_COLATTRIBUTE,
    FN_FETCHSCROLL,
    FN_GETDATA,
    FN_GETCONNECTATTR,
    FN_SETCONNECTATTR,
    FN_GETSTMTATTR,
    FN_SETSTMTATTR,
    FN_DATASOURCES,
    FN_ENDTRAN,
    FN_PREPARE,
    FN_NUMPARAMS,
    FN_BINDPARAMETER,
    FN_EXECUTE,
    FN_COUNT
};

static const char *const fn_names[FN_COUNT] = {
    "SQLAllocHandle",   "SQLSetEnvAttr",     "SQLFreeHandle",     "SQLConnect",      "SQLDisconnect",
    "SQLGetDiagRec",    "SQLExecDirect",     "SQLTables",         "SQLGetInfo",      "SQLRowCount",
    "SQLFreeStmt",      "SQLNumResultCols",  "SQLColAttribute",   "SQLFetchScroll",  "SQLGetData",
    "SQLGetConnectAttr", "SQLSetConnectAttr", "SQLGetStmtAttr",   "SQLSetStmtAttr",  "SQLDataSources",
    "SQLEndTran",       "SQLPrepare",        "SQLNumParams",      "SQLBindParameter", "SQLExecute",
};

enum { MODE_FAIL, MODE_ANSWER, MODE_TEXT, MODE_NUMBER, MODE_NO_TOTAL, MODE_BREAK, MODE_INFO_FIRST, MODE_SHORT,
       MODE_WIDE };

/* Arguments that make a broken call fail inside the driver manager or the
 * driver, each with a diagnostic record of its own. */
#define SPOILED_ATTRIBUTE 0x7FFF0001
#define SPOILED_INFO_TYPE 0xFFF0
#define SPOILED_FIELD 0xFFF0
#define SPOILED_ORIENTATION 99
#define SPOILED_COLUMN 0xFFF0
#define SPOILED_DIRECTION 99

#define MAX_RULES 32
/* Room for a message beyond the 32,766 bytes SQLGetDiagRec can hand over. */
#define RULE_TEXT 34000

typedef struct {
    int used;
    int fn;
    int mode;
    long nth;
    int keyed;
    long key;
    SQLRETURN rc;
    long number;
    char text[RULE_TEXT];
    unsigned long matched; /* calls that matched function and key */
    unsigned long fired;
} rule;

static rule rules[MAX_RULES];
static unsigned long calls[FN_COUNT];
static long last_key[FN_COUNT];
static long last_value[FN_COUNT];
static void *real_fn[FN_COUNT];
/* Depth of forwarded calls: calls made from inside one (by the driver
 * manager or the driver) are neither counted nor changed. */
static __thread int depth;

static void *real(int fn) {
    if (real_fn[fn] == NULL) {
        real_fn[fn] = dlsym(RTLD_NEXT, fn_names[fn]);
        if (real_fn[fn] == NULL) {
            fprintf(stderr, "odbc_faults: %s not found behind the injector\n", fn_names[fn]);
            abort();
        }
    }
    return real_fn[fn];
}

static int fn_by_name(const char *name) {
    int i;
    for (i = 0; name != NULL && i < FN_COUNT; ++i)
        if (strcmp(fn_names[i], name) == 0) return i;
    return -1;
}

/* One call in flight. */
typedef struct {
    int outer; /* counted: made by the program, not from inside a call */
    rule *r;   /* the rule that acts on it, if any */
} hook;

static int rule_applies(const rule *r) {
    if (r->nth > 0) return r->matched == (unsigned long)r->nth;
    if (r->nth == 0) return 1;
    return r->matched >= (unsigned long)(-r->nth);
}

static hook enter(int fn, long key, long value) {
    hook h = {0, NULL};
    int i;
    if (depth++ > 0) return h;
    h.outer = 1;
    ++calls[fn];
    last_key[fn] = key;
    last_value[fn] = value;
    for (i = 0; i < MAX_RULES; ++i) {
        rule *r = &rules[i];
        if (!r->used || r->fn != fn || (r->keyed && r->key != key)) continue;
        ++r->matched;
        if (h.r == NULL && rule_applies(r)) h.r = r;
    }
    return h;
}

/* True when the call is to fail without reaching the driver manager. */
static int failing(hook *h) {
    if (h->r == NULL || h->r->mode != MODE_FAIL) return 0;
    ++h->r->fired;
    --depth;
    return 1;
}

/* True when the call is to reach the driver manager with a spoiled
 * argument, so that it fails there and leaves a real diagnostic record. */
static int breaking(hook *h) {
    if (h->r == NULL || h->r->mode != MODE_BREAK) return 0;
    ++h->r->fired;
    return 1;
}

static int acting(hook *h, int mode, SQLRETURN rc) {
    if (h->r == NULL || h->r->mode != mode) return 0;
    if (mode != MODE_ANSWER && !SQL_SUCCEEDED(rc)) return 0;
    ++h->r->fired;
    return 1;
}

static SQLRETURN leave(hook *h, SQLRETURN rc) {
    --depth;
    if (acting(h, MODE_ANSWER, rc)) return h->r->rc;
    return rc;
}

/* Replaces a text result: cut to the buffer, the full length reported. */
static SQLRETURN put_text(const rule *r, void *buf, long buflen, SQLSMALLINT *len16, SQLLEN *len_l, SQLRETURN rc) {
    size_t n = strlen(r->text);
    if (buf != NULL && buflen > 0) {
        size_t m = n < (size_t)(buflen - 1) ? n : (size_t)(buflen - 1);
        memcpy(buf, r->text, m);
        ((char *)buf)[m] = '\0';
        if (m < n) rc = SQL_SUCCESS_WITH_INFO;
    }
    if (len16 != NULL) *len16 = (SQLSMALLINT)n;
    if (len_l != NULL) *len_l = (SQLLEN)n;
    return rc;
}

/* --- the control interface ---------------------------------------------- */

EXPORT void odbc_fault_reset(void) {
    memset(rules, 0, sizeof rules);
    memset(calls, 0, sizeof calls);
    memset(last_key, 0, sizeof last_key);
    memset(last_value, 0, sizeof last_value);
}

static int add_rule(const char *function, int mode, long nth) {
    int fn = fn_by_name(function), i;
    if (fn < 0) return -1;
    for (i = 0; i < MAX_RULES; ++i) {
        if (rules[i].used) continue;
        memset(&rules[i], 0, sizeof rules[i]);
        rules[i].used = 1;
        rules[i].fn = fn;
        rules[i].mode = mode;
        rules[i].nth = nth;
        return i;
    }
    return -1;
}

EXPORT int odbc_fault_fail(const char *function, long nth, int rc) {
    int id = add_rule(function, MODE_FAIL, nth);
    if (id >= 0) rules[id].rc = (SQLRETURN)rc;
    return id;
}

EXPORT int odbc_fault_answer(const char *function, long nth, int rc) {
    int id = add_rule(function, MODE_ANSWER, nth);
    if (id >= 0) rules[id].rc = (SQLRETURN)rc;
    return id;
}

EXPORT int odbc_fault_text(const char *function, long nth, const char *text) {
    int id = add_rule(function, MODE_TEXT, nth);
    if (id >= 0) snprintf(rules[id].text, RULE_TEXT, "%s", text ? text : "");
    return id;
}

EXPORT int odbc_fault_number(const char *function, long nth, long number) {
    int id = add_rule(function, MODE_NUMBER, nth);
    if (id >= 0) rules[id].number = number;
    return id;
}

EXPORT int odbc_fault_no_total(long nth) { return add_rule("SQLGetData", MODE_NO_TOTAL, nth); }
EXPORT int odbc_fault_info_first(long nth) { return add_rule("SQLGetDiagRec", MODE_INFO_FIRST, nth); }

EXPORT int odbc_fault_short_reads(long seed) {
    int id = add_rule("SQLGetData", MODE_SHORT, 0);
    if (id >= 0) rules[id].number = seed | 1;
    return id;
}

EXPORT int odbc_fault_wide_texts(void) {
    int id = add_rule("SQLColAttribute", MODE_WIDE, 0);
    odbc_fault_only_key(id, SQL_DESC_TYPE);
    return id;
}

/* A program run with ODBC_FAULTS_WIDE_TEXTS set (the shell, preloaded with
 * this library) gets that rule from the start. */
__attribute__((constructor)) static void rules_from_environment(void) {
    if (getenv("ODBC_FAULTS_WIDE_TEXTS") != NULL) odbc_fault_wide_texts();
}

EXPORT int odbc_fault_break(const char *function, long nth) {
    static const int breakable[] = {FN_SETENVATTR, FN_CONNECT,      FN_EXECDIRECT,     FN_GETINFO,
                                    FN_COLATTRIBUTE, FN_FETCHSCROLL, FN_GETDATA,       FN_GETCONNECTATTR,
                                    FN_SETCONNECTATTR, FN_GETSTMTATTR, FN_SETSTMTATTR, FN_DATASOURCES};
    int fn = fn_by_name(function);
    size_t i;
    for (i = 0; i < sizeof breakable / sizeof breakable[0]; ++i)
        if (breakable[i] == fn) return add_rule(function, MODE_BREAK, nth);
    return -1;
}

EXPORT void odbc_fault_only_key(int id, long key) {
    if (id < 0 || id >= MAX_RULES || !rules[id].used) return;
    rules[id].keyed = 1;
    rules[id].key = key;
}

EXPORT unsigned long odbc_fault_fired(int id) {
    return id >= 0 && id < MAX_RULES && rules[id].used ? rules[id].fired : 0;
}

EXPORT unsigned long odbc_fault_calls(const char *function) {
    int fn = fn_by_name(function);
    return fn < 0 ? 0 : calls[fn];
}

EXPORT unsigned long odbc_fault_total_calls(void) {
    unsigned long n = 0;
    int i;
    for (i = 0; i < FN_COUNT; ++i) n += calls[i];
    return n;
}

EXPORT long odbc_fault_last_key(const char *function) {
    int fn = fn_by_name(function);
    return fn < 0 ? 0 : last_key[fn];
}

EXPORT long odbc_fault_last_value(const char *function) {
    int fn = fn_by_name(function);
    return fn < 0 ? 0 : last_value[fn];
}

/* --- the twenty-five forwarded functions -------------------------------------- */

#define REAL(fn, type) ((type)real(fn))

typedef SQLRETURN (*alloc_handle_t)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *);
EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *output) {
    hook h = enter(FN_ALLOCHANDLE, type, 0);
    if (failing(&h)) {
        if (output != NULL) *output = SQL_NULL_HANDLE;
        return h.r->rc;
    }
    return leave(&h, REAL(FN_ALLOCHANDLE, alloc_handle_t)(type, input, output));
}

typedef SQLRETURN (*set_env_attr_t)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    hook h = enter(FN_SETENVATTR, attr, (long)value);
    if (failing(&h)) return h.r->rc;
    if (breaking(&h)) attr = SPOILED_ATTRIBUTE;
    return leave(&h, REAL(FN_SETENVATTR, set_env_attr_t)(env, attr, value, len));
}

typedef SQLRETURN (*free_handle_t)(SQLSMALLINT, SQLHANDLE);
EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    hook h = enter(FN_FREEHANDLE, type, 0);
    if (failing(&h)) return h.r->rc;
    return leave(&h, REAL(FN_FREEHANDLE, free_handle_t)(type, handle));
}

typedef SQLRETURN (*connect_t)(SQLHDBC, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT);
EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR *dsn, SQLSMALLINT l1, SQLCHAR *user, SQLSMALLINT l2,
                                    SQLCHAR *pw, SQLSMALLINT l3) {
    hook h = enter(FN_CONNECT, 0, 0);
    if (failing(&h)) return h.r->rc;
    if (breaking(&h)) {
        dsn = (SQLCHAR *)"rori-no-such-data-source";
        l1 = SQL_NTS;
    }
    return leave(&h, REAL(FN_CONNECT, connect_t)(dbc, dsn, l1, user, l2, pw, l3));
}

typedef SQLRETURN (*disconnect_t)(SQLHDBC);
EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
    hook h = enter(FN_DISCONNECT, 0, 0);
    if (failing(&h)) return h.r->rc;
    return leave(&h, REAL(FN_DISCONNECT, disconnect_t)(dbc));
}

typedef SQLRETURN (*end_tran_t)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT);
EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
    hook h = enter(FN_ENDTRAN, completion, 0);
    if (failing(&h)) return h.r->rc;
    return leave(&h, REAL(FN_ENDTRAN, end_tran_t)(type, handle, completion));
}

/* The two records of MODE_INFO_FIRST: an informational one before the
 * failure, as some drivers put them. */
static const struct {
    const char *state;
    SQLINTEGER native;
    const char *text;
} info_first_records[] = {
    {"01000", 5701, "rori: changed database context"},
    {"42S02", 208, "rori: no such table"},
};

static SQLRETURN info_first_record(hook *h, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg,
                                   SQLSMALLINT buflen, SQLSMALLINT *len) {
    rule one;
    ++h->r->fired;
    --depth;
    if (rec < 1 || rec > 2) return SQL_NO_DATA;
    if (state != NULL) memcpy(state, info_first_records[rec - 1].state, 6);
    if (native != NULL) *native = info_first_records[rec - 1].native;
    snprintf(one.text, RULE_TEXT, "%s", info_first_records[rec - 1].text);
    return put_text(&one, msg, buflen, len, NULL, SQL_SUCCESS);
}

typedef SQLRETURN (*get_diag_rec_t)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *, SQLCHAR *,
                                    SQLSMALLINT, SQLSMALLINT *);
EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR *state,
                                       SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT buflen, SQLSMALLINT *len) {
    hook h = enter(FN_GETDIAGREC, type, rec);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    if (h.r != NULL && h.r->mode == MODE_INFO_FIRST) return info_first_record(&h, rec, state, native, msg, buflen, len);
    rc = REAL(FN_GETDIAGREC, get_diag_rec_t)(type, handle, rec, state, native, msg, buflen, len);
    if (acting(&h, MODE_NUMBER, rc) && native != NULL) *native = (SQLINTEGER)h.r->number;
    if (acting(&h, MODE_TEXT, rc)) rc = put_text(h.r, msg, buflen, len, NULL, rc);
    return leave(&h, rc);
}

/* A broken call gets a statement that does not parse. */
static void spoil_statement(hook *h, SQLCHAR **text, SQLINTEGER *len) {
    if (!breaking(h)) return;
    *text = (SQLCHAR *)"rori spoiled statement";
    *len = SQL_NTS;
}

typedef SQLRETURN (*exec_direct_t)(SQLHSTMT, SQLCHAR *, SQLINTEGER);
EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR *text, SQLINTEGER len) {
    hook h = enter(FN_EXECDIRECT, 0, len);
    if (failing(&h)) return h.r->rc;
    spoil_statement(&h, &text, &len);
    return leave(&h, REAL(FN_EXECDIRECT, exec_direct_t)(stmt, text, len));
}

typedef SQLRETURN (*prepare_t)(SQLHSTMT, SQLCHAR *, SQLINTEGER);
EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR *text, SQLINTEGER len) {
    hook h = enter(FN_PREPARE, 0, len);
    if (failing(&h)) return h.r->rc;
    spoil_statement(&h, &text, &len);
    return leave(&h, REAL(FN_PREPARE, prepare_t)(stmt, text, len));
}

typedef SQLRETURN (*num_params_t)(SQLHSTMT, SQLSMALLINT *);
EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT *count) {
    hook h = enter(FN_NUMPARAMS, 0, 0);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    rc = REAL(FN_NUMPARAMS, num_params_t)(stmt, count);
    if (acting(&h, MODE_NUMBER, rc) && count != NULL) *count = (SQLSMALLINT)h.r->number;
    return leave(&h, rc);
}

typedef SQLRETURN (*bind_parameter_t)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                                      SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *);
EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT io, SQLSMALLINT c_type,
                                          SQLSMALLINT sql_type, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                                          SQLLEN buflen, SQLLEN *ind) {
    hook h = enter(FN_BINDPARAMETER, number, buflen);
    if (failing(&h)) return h.r->rc;
    return leave(&h, REAL(FN_BINDPARAMETER, bind_parameter_t)(stmt, breaking(&h) ? 0 : number, io, c_type,
                                                                sql_type, size, digits, value, buflen, ind));
}

typedef SQLRETURN (*execute_t)(SQLHSTMT);
EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) {
    hook h = enter(FN_EXECUTE, 0, 0);
    if (failing(&h)) return h.r->rc;
    return leave(&h, REAL(FN_EXECUTE, execute_t)(stmt));
}

typedef SQLRETURN (*tables_t)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                              SQLCHAR *, SQLSMALLINT);
EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR *cat, SQLSMALLINT l1, SQLCHAR *schema, SQLSMALLINT l2,
                                   SQLCHAR *table, SQLSMALLINT l3, SQLCHAR *type, SQLSMALLINT l4) {
    hook h = enter(FN_TABLES, 0, 0);
    if (failing(&h)) return h.r->rc;
    return leave(&h, REAL(FN_TABLES, tables_t)(stmt, cat, l1, schema, l2, table, l3, type, l4));
}

typedef SQLRETURN (*get_info_t)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *);
EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT buflen,
                                    SQLSMALLINT *len) {
    hook h = enter(FN_GETINFO, type, buflen);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    rc = REAL(FN_GETINFO, get_info_t)(dbc, breaking(&h) ? SPOILED_INFO_TYPE : type, value, buflen, len);
    if (acting(&h, MODE_TEXT, rc)) rc = put_text(h.r, value, buflen, len, NULL, rc);
    return leave(&h, rc);
}

typedef SQLRETURN (*row_count_t)(SQLHSTMT, SQLLEN *);
EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN *count) {
    hook h = enter(FN_ROWCOUNT, 0, 0);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    rc = REAL(FN_ROWCOUNT, row_count_t)(stmt, count);
    if (acting(&h, MODE_NUMBER, rc) && count != NULL) *count = (SQLLEN)h.r->number;
    return leave(&h, rc);
}

typedef SQLRETURN (*free_stmt_t)(SQLHSTMT, SQLUSMALLINT);
EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
    hook h = enter(FN_FREESTMT, option, 0);
    if (failing(&h)) return h.r->rc;
    return leave(&h, REAL(FN_FREESTMT, free_stmt_t)(stmt, option));
}

typedef SQLRETURN (*num_result_cols_t)(SQLHSTMT, SQLSMALLINT *);
EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT *count) {
    hook h = enter(FN_NUMRESULTCOLS, 0, 0);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    rc = REAL(FN_NUMRESULTCOLS, num_result_cols_t)(stmt, count);
    if (acting(&h, MODE_NUMBER, rc) && count != NULL) *count = (SQLSMALLINT)h.r->number;
    return leave(&h, rc);
}

/* The SQL types of texts as a driver reports them that exports only wide
 * functions: TEXT as SQL_WLONGVARCHAR, VARCHAR as SQL_WVARCHAR. */
static void widen_text_type(SQLLEN *type) {
    static const SQLLEN narrow[] = {SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR};
    static const SQLLEN wide[] = {SQL_WCHAR, SQL_WVARCHAR, SQL_WLONGVARCHAR};
    size_t i;
    for (i = 0; i < sizeof narrow / sizeof narrow[0]; ++i)
        if (*type == narrow[i]) {
            *type = wide[i];
            return;
        }
}

typedef SQLRETURN (*col_attribute_t)(SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *,
                                     SQLLEN *);
EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                                         SQLSMALLINT buflen, SQLSMALLINT *len, SQLLEN *number) {
    hook h = enter(FN_COLATTRIBUTE, field, col);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    rc = REAL(FN_COLATTRIBUTE, col_attribute_t)(stmt, col, breaking(&h) ? SPOILED_FIELD : field, text, buflen, len,
                                                number);
    if (acting(&h, MODE_NUMBER, rc) && number != NULL) *number = (SQLLEN)h.r->number;
    if (acting(&h, MODE_TEXT, rc)) rc = put_text(h.r, text, buflen, len, NULL, rc);
    if (acting(&h, MODE_WIDE, rc) && number != NULL) widen_text_type(number);
    return leave(&h, rc);
}

typedef SQLRETURN (*fetch_scroll_t)(SQLHSTMT, SQLSMALLINT, SQLLEN);
EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
    hook h = enter(FN_FETCHSCROLL, orientation, offset);
    if (failing(&h)) return h.r->rc;
    if (breaking(&h)) orientation = SPOILED_ORIENTATION;
    return leave(&h, REAL(FN_FETCHSCROLL, fetch_scroll_t)(stmt, orientation, offset));
}

typedef SQLRETURN (*get_data_t)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *);

#define SHORT_BY_MOST 3

/* A text cut 1 to 3 bytes (at random) short of the buffer, as a driver
 * does that will not split a multi-byte character. The length reported is
 * still the whole rest of the value. A rest that the whole buffer would
 * have held arrives whole, as from such a driver. */
static SQLRETURN get_data_short(rule *r, SQLHSTMT stmt, SQLUSMALLINT col, SQLPOINTER value, SQLLEN buflen,
                                SQLLEN *ind) {
    SQLLEN got = 0, rest = 0, room;
    SQLRETURN rc;
    r->number = (long)((unsigned long)r->number * 1103515245UL + 12345UL);
    room = buflen - 1 - (SQLLEN)((unsigned long)r->number >> 16) % SHORT_BY_MOST;
    rc = REAL(FN_GETDATA, get_data_t)(stmt, col, SQL_C_CHAR, value, room, &got);
    if (ind != NULL) *ind = got;
    if (rc != SQL_SUCCESS_WITH_INFO || got < room) return rc;
    if (got < buflen)
        return REAL(FN_GETDATA, get_data_t)(stmt, col, SQL_C_CHAR, (char *)value + room - 1, buflen - room + 1, &rest);
    ++r->fired;
    return rc;
}

EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT type, SQLPOINTER value,
                                    SQLLEN buflen, SQLLEN *ind) {
    hook h = enter(FN_GETDATA, col, buflen);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    if (h.r != NULL && h.r->mode == MODE_SHORT && type == SQL_C_CHAR && value != NULL && buflen > SHORT_BY_MOST + 1)
        rc = get_data_short(h.r, stmt, col, value, buflen, ind);
    else
        rc = REAL(FN_GETDATA, get_data_t)(stmt, breaking(&h) ? SPOILED_COLUMN : col, type, value, buflen, ind);
    if (acting(&h, MODE_NUMBER, rc) && ind != NULL) *ind = (SQLLEN)h.r->number;
    if (h.r != NULL && h.r->mode == MODE_NO_TOTAL && rc == SQL_SUCCESS_WITH_INFO && ind != NULL &&
        *ind != SQL_NULL_DATA) {
        ++h.r->fired;
        *ind = SQL_NO_TOTAL;
    }
    return leave(&h, rc);
}

typedef SQLRETURN (*get_attr_t)(SQLHANDLE, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *);
typedef SQLRETURN (*set_attr_t)(SQLHANDLE, SQLINTEGER, SQLPOINTER, SQLINTEGER);

static SQLRETURN get_attr(int fn, SQLHANDLE handle, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buflen,
                          SQLINTEGER *len) {
    hook h = enter(fn, attr, buflen);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    rc = REAL(fn, get_attr_t)(handle, breaking(&h) ? SPOILED_ATTRIBUTE : attr, value, buflen, len);
    if (acting(&h, MODE_NUMBER, rc) && value != NULL) {
        SQLUINTEGER v = (SQLUINTEGER)h.r->number;
        memcpy(value, &v, sizeof v);
    }
    return leave(&h, rc);
}

static SQLRETURN set_attr(int fn, SQLHANDLE handle, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    hook h = enter(fn, attr, (long)value);
    if (failing(&h)) return h.r->rc;
    if (breaking(&h)) {
        /* A driver may accept an attribute it does not know; the cursor
         * library cannot be chosen once connected, nor with that value. */
        attr = fn == FN_SETCONNECTATTR ? SQL_ATTR_ODBC_CURSORS : SPOILED_ATTRIBUTE;
        value = (SQLPOINTER)99;
    }
    return leave(&h, REAL(fn, set_attr_t)(handle, attr, value, len));
}

EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buflen,
                                           SQLINTEGER *len) {
    return get_attr(FN_GETCONNECTATTR, dbc, attr, value, buflen, len);
}

EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    return set_attr(FN_SETCONNECTATTR, dbc, attr, value, len);
}

EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER buflen,
                                        SQLINTEGER *len) {
    return get_attr(FN_GETSTMTATTR, stmt, attr, value, buflen, len);
}

EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    return set_attr(FN_SETSTMTATTR, stmt, attr, value, len);
}

typedef SQLRETURN (*data_sources_t)(SQLHENV, SQLUSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *, SQLCHAR *,
                                    SQLSMALLINT, SQLSMALLINT *);
EXPORT SQLRETURN SQL_API SQLDataSources(SQLHENV env, SQLUSMALLINT direction, SQLCHAR *name, SQLSMALLINT l1,
                                        SQLSMALLINT *len1, SQLCHAR *desc, SQLSMALLINT l2, SQLSMALLINT *len2) {
    hook h = enter(FN_DATASOURCES, direction, l1);
    SQLRETURN rc;
    if (failing(&h)) return h.r->rc;
    rc = REAL(FN_DATASOURCES, data_sources_t)(env, breaking(&h) ? SPOILED_DIRECTION : direction, name, l1, len1, desc, l2,
                                              len2);
    if (acting(&h, MODE_TEXT, rc)) rc = put_text(h.r, name, l1, len1, NULL, rc);
    return leave(&h, rc);
}
