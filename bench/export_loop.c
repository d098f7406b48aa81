/* export_loop.c - the floor of a CSV or TSV export: a plain C loop of
 * SQLFetch and one SQLGetData (SQL_C_CHAR) per column, writing the bytes
 * that `roridorezu-shell --fetch=variable --csv` (or --format=tsv) writes for
 * the same result, through the same driver manager and driver. The shell's
 * export time is measured against it (bench/export_bench.sh).
 *
 *   export_loop csv|tsv CONNECT-STRING SQL OUTPUT-FILE
 *
 * It prints the number of rows; any ODBC or write failure ends it with
 * status 1. */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { buffer_size = 4096 };

static void die(SQLSMALLINT type, SQLHANDLE handle, const char *what) {
    SQLCHAR state[6] = "", text[512] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &len);
    fprintf(stderr, "export_loop: %s: %s %s\n", what, state, text);
    exit(1);
}

static void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char *what) {
    if (!SQL_SUCCEEDED(rc)) die(type, handle, what);
}

static void put(const char *p, size_t n, FILE *out) {
    if (fwrite(p, 1, n, out) != n) {
        perror("export_loop: write");
        exit(1);
    }
}

/* Whether one of the characters of set occurs in the n bytes of v (which
 * end in a NUL and may hold more). */
static int holds_any(const char *v, size_t n, const char *set) {
    for (size_t k = strcspn(v, set); k < n; k += 1 + strcspn(v + k + 1, set))
        if (v[k] != '\0') return 1;
    return 0;
}

/* RFC 4180: a value holding a comma, a quote or a line break is quoted,
 * its quotes doubled; NULL is an empty field, an empty text "". */
static void put_csv(const char *v, size_t n, int null, FILE *out) {
    if (null) return;
    if (n == 0) {
        put("\"\"", 2, out);
        return;
    }
    if (!holds_any(v, n, ",\"\r\n")) {
        put(v, n, out);
        return;
    }
    put("\"", 1, out);
    for (size_t k = 0; k < n; ++k) {
        if (v[k] == '"') put("\"", 1, out);
        put(v + k, 1, out);
    }
    put("\"", 1, out);
}

/* Backslash, tab and line breaks escaped; NULL is \N. */
static void put_tsv(const char *v, size_t n, int null, FILE *out) {
    if (null) {
        put("\\N", 2, out);
        return;
    }
    if (!holds_any(v, n, "\\\t\n\r")) {
        put(v, n, out);
        return;
    }
    for (size_t k = 0; k < n; ++k) {
        const char *e = v[k] == '\\' ? "\\\\" : v[k] == '\t' ? "\\t" : v[k] == '\n' ? "\\n" : v[k] == '\r' ? "\\r" : NULL;
        if (e) put(e, 2, out);
        else put(v + k, 1, out);
    }
}

typedef void (*field_fn)(const char *v, size_t n, int null, FILE *out);

/* The whole value of column k, however long, into *value (grown as needed). */
static size_t read_value(SQLHSTMT stmt, SQLUSMALLINT k, char **value, size_t *capacity, int *null) {
    size_t used = 0;
    for (;;) {
        SQLLEN ind = 0;
        SQLRETURN rc = SQLGetData(stmt, k, SQL_C_CHAR, *value + used, (SQLLEN)(*capacity - used), &ind);
        if (rc == SQL_NO_DATA) return used;
        check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
        *null = ind == SQL_NULL_DATA;
        if (*null) return 0;
        if (rc == SQL_SUCCESS || (ind != SQL_NO_TOTAL && (size_t)ind < *capacity - used))
            return used + (ind == SQL_NO_TOTAL ? strlen(*value + used) : (size_t)ind);
        used = *capacity - 1; /* the part read ends in its NUL */
        *capacity *= 2;
        *value = realloc(*value, *capacity);
        if (*value == NULL) exit(1);
    }
}

static void write_header(SQLHSTMT stmt, SQLSMALLINT columns, char separator, field_fn field, FILE *out) {
    for (SQLSMALLINT k = 1; k <= columns; ++k) {
        SQLCHAR name[256];
        SQLSMALLINT len = 0, type, digits, nullable;
        SQLULEN size;
        check(SQLDescribeCol(stmt, (SQLUSMALLINT)k, name, sizeof name, &len, &type, &size, &digits, &nullable),
              SQL_HANDLE_STMT, stmt, "SQLDescribeCol");
        if (k > 1) put(&separator, 1, out);
        field((const char *)name, strlen((const char *)name), 0, out);
    }
    put("\n", 1, out);
}

static long export_rows(SQLHSTMT stmt, SQLSMALLINT columns, char separator, field_fn field, FILE *out) {
    size_t capacity = buffer_size;
    char *value = malloc(capacity);
    long rows = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt)) != SQL_NO_DATA) {
        check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
        for (SQLSMALLINT k = 1; k <= columns; ++k) {
            int null = 0;
            size_t n = read_value(stmt, (SQLUSMALLINT)k, &value, &capacity, &null);
            if (k > 1) put(&separator, 1, out);
            field(value, n, null, out);
        }
        put("\n", 1, out);
        ++rows;
    }
    free(value);
    return rows;
}

int main(int argc, char **argv) {
    if (argc != 5 || (strcmp(argv[1], "csv") != 0 && strcmp(argv[1], "tsv") != 0)) {
        fprintf(stderr, "usage: export_loop csv|tsv CONNECT-STRING SQL OUTPUT-FILE\n");
        return 2;
    }
    int csv = strcmp(argv[1], "csv") == 0;
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    check(SQLDriverConnect(dbc, NULL, (SQLCHAR *)argv[2], SQL_NTS, NULL, 0, NULL, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    FILE *out = fopen(argv[4], "w");
    if (out == NULL) {
        perror(argv[4]);
        return 1;
    }
    check(SQLExecDirect(stmt, (SQLCHAR *)argv[3], SQL_NTS), SQL_HANDLE_STMT, stmt, "SQLExecDirect");
    SQLSMALLINT columns = 0;
    check(SQLNumResultCols(stmt, &columns), SQL_HANDLE_STMT, stmt, "SQLNumResultCols");
    field_fn field = csv ? put_csv : put_tsv;
    char separator = csv ? ',' : '\t';
    write_header(stmt, columns, separator, field, out);
    long rows = export_rows(stmt, columns, separator, field, out);
    if (fclose(out) != 0) {
        perror(argv[4]);
        return 1;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    printf("%ld\n", rows);
    return 0;
}
