/* minimal_host.c - a complete host for the roridorezu library, in plain C11.
 *
 * It loads the library at run time, connects one slot with a connect text,
 * runs one SQL statement and prints every row of its result: the values
 * separated by "|", one row a line. On a failure it prints the request, the
 * status, the SQLSTATE, the native error and the message, and exits 1.
 *
 *   minimal_host [--raw] LIBRARY CONNECT_TEXT SQL
 *
 * By default the rows come as text, in the array form. With --raw each
 * column comes as raw bytes into a variable of its own (the variable form),
 * and each value is printed as its exact length and its bytes in
 * hexadecimal, or as NULL: the way to read binary data, NUL bytes included.
 *
 * Everything a host needs is here: a parameter block with one descriptor
 * per argument, a small store of variables behind those descriptors, and
 * the five services through which the library reads and writes them.
 * docs/guide.md walks through this file. */
#include "roridorezu.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

/* ---- little-endian fields of the shared records ---------------------- */

static void put16(unsigned char *at, unsigned v) {
    at[0] = (unsigned char)v;
    at[1] = (unsigned char)(v >> 8);
}

static void put32(unsigned char *at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
}

static uint32_t get32(const unsigned char *at) {
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

static int16_t get16s(const unsigned char *at) {
    return (int16_t)(at[0] | at[1] << 8);
}

/* The library writes +20 and +24 of the status block high word first. */
static int32_t get_swapped(const unsigned char *at) {
    uint32_t raw = get32(at);
    return (int32_t)(raw << 16 | raw >> 16);
}

static void put_swapped(unsigned char *at, int32_t v) {
    uint32_t u = (uint32_t)v;
    put32(at, u << 16 | u >> 16);
}

/* ---- the variable store ---------------------------------------------- */

/* One variable per argument. Its data area is what the argument's
 * descriptor points at; a number lives in `number`; the elements of an
 * array variable are kept apart, one allocated text each. `requested` is
 * the size that the last HS_RESIZE asked for, -1 when none came. */
struct variable {
    long long number;
    unsigned char *data;
    int size;
    char **elements;
    int element_count;
    int requested;
};

/* Columns fetched with --raw, one variable each (arguments 3 and up). */
#define MAX_COLUMNS 16
#define MAX_ARGS (2 + MAX_COLUMNS)

struct request {
    unsigned char params[CP_ARG(MAX_ARGS + 1)]; /* call_params */
    struct variable vars[MAX_ARGS + 1];         /* indexed by argument number */
    int argc;
};

/* Writes argument k's descriptor from its variable: type and flags, the
 * 32-bit address of the data area and its size. */
static void describe_argument(struct request *r, int k, unsigned type_flags) {
    unsigned char *d = r->params + CP_ARG(k);
    put16(d + AD_FLAGS, type_flags);
    put32(d + AD_ADDR, (uint32_t)(uintptr_t)r->vars[k].data);
    put32(d + AD_SIZE, (uint32_t)r->vars[k].size);
}

static int resize_variable(struct request *r, int k, int size) {
    struct variable *v = &r->vars[k];
    unsigned char *grown = realloc(v->data, (size_t)size);
    if (grown == NULL) return 1;
    if (size > v->size) memset(grown + v->size, 0, (size_t)(size - v->size));
    v->data = grown;
    v->size = size;
    unsigned char *d = r->params + CP_ARG(k);
    put32(d + AD_ADDR, (uint32_t)(uintptr_t)grown);
    put32(d + AD_SIZE, (uint32_t)size);
    return 0;
}

/* A text variable whose data area holds `text` and its NUL. */
static int set_text(struct request *r, int k, const char *text) {
    if (resize_variable(r, k, (int)strlen(text) + 1) != 0) return 1;
    memcpy(r->vars[k].data, text, strlen(text) + 1);
    describe_argument(r, k, HV_TEXT);
    return 0;
}

static int store_element(struct variable *v, int element, const void *bytes, int len) {
    if (element > v->element_count) {
        char **more = realloc(v->elements, (size_t)element * sizeof *more);
        if (more == NULL) return 1;
        for (int i = v->element_count; i < element; i++) more[i] = NULL;
        v->elements = more;
        v->element_count = element;
    }
    char *text = malloc((size_t)len + 1);
    if (text == NULL) return 1;
    memcpy(text, bytes, (size_t)len);
    text[len] = '\0';
    free(v->elements[element - 1]);
    v->elements[element - 1] = text;
    return 0;
}

static void free_variable(struct variable *v) {
    for (int i = 0; i < v->element_count; i++) free(v->elements[i]);
    free(v->elements);
    free(v->data);
    memset(v, 0, sizeof *v);
}

/* ---- the five host services ------------------------------------------ */

/* The library passes the request's parameter block as p; the request
 * record begins with it, so p leads back to the variables. */
static int RORI_CDECL host_service(int service, void *p, int argno, int a, int b, void *ptr, int len) {
    struct request *r = (struct request *)p;
    int k = argno & 0xFF, element = argno >> 8;
    if (k < 1 || k > r->argc) return 1;
    struct variable *v = &r->vars[k];
    switch (service) {
    case HS_GETNUM:
        return (int)v->number;
    case HS_GETSTR:
        if (len <= 0) return 1;
        snprintf(ptr, (size_t)len, "%s", v->data ? (const char *)v->data : "");
        return 0;
    case HS_PUTSTR:
        if (len < 0) len = (int)strlen(ptr);
        if (element > 0) return store_element(v, element, ptr, len);
        if (len >= v->size && resize_variable(r, k, len + 1) != 0) return 1;
        memcpy(v->data, ptr, (size_t)len);
        v->data[len] = '\0';
        return 0;
    case HS_RESIZE:
        v->requested = len;
        return resize_variable(r, k, len);
    case HS_PUTNUM:
        v->number = (long long)((unsigned long long)(uint32_t)b << 32 | (uint32_t)a);
        return 0;
    default:
        return 1;
    }
}

/* ---- requests --------------------------------------------------------- */

static vizori_fn vizori;
static unsigned char *status; /* argument 2 of every request: the status block */

static const char *const op_names[] = {
    [OP_INIT] = "OP_INIT",           [OP_SHUTDOWN] = "OP_SHUTDOWN",   [OP_GETERROR] = "OP_GETERROR",
    [OP_NEWCONN] = "OP_NEWCONN",     [OP_CONNECT] = "OP_CONNECT",     [OP_DISCONNECT] = "OP_DISCONNECT",
    [OP_QUERY] = "OP_QUERY",         [OP_DESCRIBE] = "OP_DESCRIBE",   [OP_SETFIELDS] = "OP_SETFIELDS",
    [OP_FETCH] = "OP_FETCH",         [OP_FREESTMT] = "OP_FREESTMT",
};

/* What each status means, for a failure that left no diagnostic record. */
static const struct {
    const char *name, *meaning;
} statuses[] = {
    [ST_OK] = {"ST_OK", "success"},
    [ST_SQLERROR] = {"ST_SQLERROR", "an ODBC call failed"},
    [ST_ARGS] = {"ST_ARGS", "too few arguments for the request"},
    [ST_NOINIT] = {"ST_NOINIT", "OP_INIT has not run"},
    [ST_NOSLOT] = {"ST_NOSLOT", "all ten connection slots are taken"},
    [ST_NOMEM] = {"ST_NOMEM", "memory was not obtained, or the host could not store a value"},
    [ST_BADOP] = {"ST_BADOP", "no such request"},
    [ST_BADCONN] = {"ST_BADCONN", "the slot number names no connection"},
    [ST_BADARG] = {"ST_BADARG", "an argument or sub-code is not accepted"},
    [ST_BADKEYWORD] = {"ST_BADKEYWORD", "the connect text holds an unknown key"},
    [ST_NOSTMT] = {"ST_NOSTMT", "the slot has no statement"},
    [ST_UNSUPPORTED] = {"ST_UNSUPPORTED", "this form of the request is not supported"},
    [ST_FIELDS] = {"ST_FIELDS", "the field records do not match the result"},
};

/* Sends one request whose operands (arguments 3 and up) are already in r.
 * The status block is shared by every request; the slot and sub-code
 * fields at +0 and +2 are the caller's to set. */
static int send_request(struct request *r, int opcode, int operand_count) {
    r->argc = 2 + operand_count;
    put32(r->params + CP_ARGC, (uint32_t)r->argc);
    r->vars[1].number = opcode;
    describe_argument(r, 1, HV_INTEGER);
    r->vars[2].data = status;
    r->vars[2].size = SQL_STATUS_MIN;
    describe_argument(r, 2, 0);
    return vizori(r->params, host_service);
}

/* Prints what went wrong with the request whose status block is in
 * `status`: the message comes from OP_GETERROR on the same slot when the
 * request left a SQLSTATE, else it is what the status means. */
static void report_failure(int opcode) {
    int code = get16s(status + SS_STATUS);
    char sqlstate[6];
    memcpy(sqlstate, status + SS_SQLSTATE, 6);
    sqlstate[5] = '\0';
    int32_t native = get_swapped(status + SS_NATIVE);
    int known = code >= 0 && code <= ST_FIELDS && statuses[code].name != NULL;

    struct request e = {0};
    const char *message = known ? statuses[code].meaning : "unknown status";
    if (sqlstate[0] != '\0' && set_text(&e, 3, "") == 0) {
        send_request(&e, OP_GETERROR, 1);
        message = (const char *)e.vars[3].data;
    }
    fprintf(stderr, "%s failed: %s (%d), SQLSTATE %s, native error %ld: %s\n", op_names[opcode],
            known ? statuses[code].name : "?", code, sqlstate[0] ? sqlstate : "(none)", (long)native, message);
    free_variable(&e.vars[3]);
}

/* Sends the request and reports it when its status is not ST_OK. */
static int send_request_checked(struct request *r, int opcode, int operand_count) {
    if (send_request(r, opcode, operand_count) == ST_OK) return 0;
    report_failure(opcode);
    return 1;
}

/* Fetches the next row in the given form (+2) into the variables that are
 * ready in r. Returns 1 for a row, 0 at the end of the result, -1 on a
 * failure. */
static int fetch_row(struct request *r, int form, int operand_count) {
    double counter;
    put16(status + SS_SUBCODE, (unsigned)form);
    memset(status + SS_ROWPOS, 0, 8); /* 0.0: the next row */
    if (send_request_checked(r, OP_FETCH, operand_count) != 0) return -1;
    memcpy(&counter, status + SS_ROWCOUNT, 8);
    return counter == 0.0 ? 0 : 1; /* the end of the data resets the row counter */
}

/* The array form: every column as text, column k in element k of the
 * dynamic array of argument 3. A NULL arrives as an empty text. */
static int fetch_text_rows(struct request *r, int columns) {
    describe_argument(r, 3, HV_TEXT | ARG_ARRAY | ARG_DYNAMIC);
    put_swapped(status + SS_PARAM, columns);
    int got;
    while ((got = fetch_row(r, FETCH_ARRAY, 1)) == 1) {
        for (int c = 0; c < columns; c++) {
            const char *value = c < r->vars[3].element_count ? r->vars[3].elements[c] : NULL;
            printf("%s%s", c ? "|" : "", value ? value : "");
        }
        printf("\n");
    }
    return got;
}

/* A raw value's length is never written anywhere; it is the size that the
 * last HS_RESIZE of its variable asked for, less the byte that the library
 * always adds. No request at all means a NULL. Only the bytes that the
 * area holds are shown (all of them, unless a resize failed). */
static void print_raw_value(const struct variable *v) {
    if (v->requested < 0) {
        printf("NULL");
        return;
    }
    int length = v->requested - 1;
    int held = length < v->size ? length : v->size;
    printf("%d bytes%s", length, length > 0 ? " " : "");
    for (int i = 0; i < held; i++) printf("%02X", v->data[i]);
}

/* The variable form: column k as raw bytes into the dynamic variable of
 * argument k + 2. Every variable starts each fetch empty (size 0); as the
 * columns' widths are 0 (set_raw_widths), the library then asks for 1 byte
 * and, for a value of L > 0 bytes, for L + 1 bytes. */
static int fetch_raw_rows(struct request *r, int columns) {
    int got;
    do {
        for (int k = 3; k < 3 + columns; k++) {
            free_variable(&r->vars[k]);
            r->vars[k].requested = -1;
            describe_argument(r, k, HV_RAW | ARG_DYNAMIC);
        }
        got = fetch_row(r, 0, columns);
        for (int k = 3; got == 1 && k < 3 + columns; k++) {
            printf("%s", k > 3 ? "|" : "");
            print_raw_value(&r->vars[k]);
        }
        if (got == 1) printf("\n");
    } while (got == 1);
    for (int k = 3; k < 3 + columns; k++) free_variable(&r->vars[k]);
    return got;
}

/* Gives every column the width 0, in the field records that OP_DESCRIBE
 * left in argument 3, and hands them back with OP_SETFIELDS: a dynamic
 * variable in the variable form is then sized by its value alone. */
static int set_raw_widths(struct request *r, int columns) {
    for (int c = 0; c < columns; c++) put32(r->vars[3].data + c * FIELD_REC_SIZE + FR_WIDTH, 0);
    return send_request_checked(r, OP_SETFIELDS, 1);
}

/* Describes the result into argument 3, room for MAX_COLUMNS records, and
 * returns the column count (for --raw, at most MAX_COLUMNS), -1 on a
 * failure. */
static int describe_result(struct request *r, int raw) {
    free_variable(&r->vars[3]);
    if (resize_variable(r, 3, MAX_COLUMNS * FIELD_REC_SIZE) != 0) return -1;
    describe_argument(r, 3, HV_RAW);
    if (send_request_checked(r, OP_DESCRIBE, 1) != 0) return -1;
    int columns = get_swapped(status + SS_RESULT);
    if (!raw || columns == 0) return columns;
    if (columns > MAX_COLUMNS) columns = MAX_COLUMNS;
    return set_raw_widths(r, columns) == 0 ? columns : -1;
}

/* The conversation of one statement on a connected slot: execute,
 * learn the column count, fetch to the end, close the cursor. */
static int run_statement(const char *sql, int raw) {
    struct request r = {0};
    int failed = set_text(&r, 3, sql) != 0 || send_request_checked(&r, OP_QUERY, 1) != 0;
    int columns = failed ? 0 : describe_result(&r, raw);
    free_variable(&r.vars[3]);
    failed = failed || columns < 0;
    if (columns > 0) {
        memset(status + SS_ROWCOUNT, 0, 8); /* the row counter starts at 0.0 */
        failed = (raw ? fetch_raw_rows(&r, columns) : fetch_text_rows(&r, columns)) < 0;
        free_variable(&r.vars[3]);
    }
    if (!failed) {
        put16(status + SS_SUBCODE, 0); /* close the cursor, keep the statement */
        failed = send_request_checked(&r, OP_FREESTMT, 0) != 0;
    }
    return failed;
}

static int connect_slot(const char *connect_text) {
    struct request r = {0};
    status[SS_SLOT] = 0;
    int failed = send_request_checked(&r, OP_NEWCONN, 0) != 0;
    failed = failed || set_text(&r, 3, connect_text) != 0 || send_request_checked(&r, OP_CONNECT, 1) != 0;
    free_variable(&r.vars[3]);
    return failed;
}

static vizori_fn load_library(const char *path) {
#if defined(_WIN32)
    HMODULE lib = LoadLibraryA(path);
    FARPROC entry = lib ? GetProcAddress(lib, "vizori") : NULL;
    vizori_fn f;
    memcpy(&f, &entry, sizeof f);
    return f;
#else
    void *lib = dlopen(path, RTLD_NOW);
    void *entry = lib ? dlsym(lib, "vizori") : NULL;
    vizori_fn f;
    memcpy(&f, &entry, sizeof f);
    return f;
#endif
}

int main(int argc, char **argv) {
    int raw = argc > 1 && strcmp(argv[1], "--raw") == 0;
    argv += raw;
    argc -= raw;
    if (argc != 4) {
        fprintf(stderr, "usage: minimal_host [--raw] LIBRARY CONNECT_TEXT SQL\n");
        return 2;
    }
    vizori = load_library(argv[1]);
    if (vizori == NULL) {
        fprintf(stderr, "%s: cannot load the library or find vizori in it\n", argv[1]);
        return 1;
    }
    unsigned char block[SQL_STATUS_MIN] = {0};
    status = block;

    struct request r = {0};
    int failed = send_request_checked(&r, OP_INIT, 0) != 0;
    int slot = 0;
    if (!failed) {
        failed = connect_slot(argv[2]);
        slot = status[SS_SLOT];
    }
    if (!failed) failed = run_statement(argv[3], raw);
    /* Give the slot back and end, also after a failure. */
    if (slot != 0) {
        status[SS_SLOT] = (unsigned char)slot;
        send_request(&r, OP_DISCONNECT, 0);
    }
    status[SS_SLOT] = 0;
    send_request(&r, OP_SHUTDOWN, 0);
    return failed ? 1 : 0;
}
