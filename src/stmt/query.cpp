// query.cpp - OP_QUERY, which executes one statement on the slot's
// statement handle (turning the four SHOW listings into catalog calls for
// drivers that do not know them), and OP_FREESTMT, which closes or frees
// that handle.
#include <cstring>

#include "conn/slots.h"
#include "host/copy_bounded.h"
#include "host/diag.h"
#include "host/handlers.h"
#include "host/request.h"
#include "stmt/params.h"

// What a SHOW command lists.
enum show_listing { LIST_SCHEMAS, LIST_TABLES, LIST_CATALOGS };

struct show_command {
    const char *text;
    show_listing listing;
};
static const show_command show_table[] = {
    {"SHOW DATABASES", LIST_SCHEMAS},
    {"SHOW SCHEMAS", LIST_SCHEMAS},
    {"SHOW TABLES", LIST_TABLES},
    {"SHOW CATALOGS", LIST_CATALOGS},
};

// The SQLTables arguments of each listing, indexed by show_listing; a null
// name is passed as a null pointer ("any"), an empty one as "". Schemas and
// catalogs use the special forms of SQLTables ("%" alone with empty names).
// Tables are those of the connection's current catalog in any schema (a
// null catalog when the driver names none): empty names would ask for
// tables that have no catalog and no schema, and a null catalog on a server
// whose databases are catalogs lists every database's tables.
struct tables_args {
    bool current_catalog; // the catalog is the connection's current one
    const char *catalog;
    const char *schema;
    const char *table;
    const char *table_type;
};
static const tables_args listing_args[] = {
    {false, "", "%", "", ""},               // LIST_SCHEMAS
    {true, nullptr, nullptr, "%", nullptr}, // LIST_TABLES
    {false, "%", "", "", ""},               // LIST_CATALOGS
};

// Room for a catalog name and its NUL; a longer name is not used.
#define CATALOG_NAME_SIZE 256

static const char show_prefix[] = "SHOW ";

// Stands where a return code would for an OP_FREESTMT option not in the table.
static const SQLRETURN unknown_option_code = 15;
static const char native_show_driver_prefix[] = "my";

// ASCII comparison without regard to letter case over n characters.
static bool same_letters(const char *a, const char *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

static bool starts_with_letters(const char *text, size_t len, const char *prefix) {
    size_t n = std::strlen(prefix);
    return len >= n && same_letters(text, prefix, n);
}

// Drivers whose name begins with "my" take the SHOW commands themselves. A
// name that cannot be read counts as any other driver's.
static bool driver_knows_show(SQLHDBC dbc) {
    char name[240] = "";
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &len);
    name[sizeof name - 1] = '\0';
    return sql_ok(rc) && starts_with_letters(name, std::strlen(name), native_show_driver_prefix);
}

static const show_command *find_show_command(const char *text, size_t len) {
    for (const show_command &c : show_table)
        if (len == std::strlen(c.text) && same_letters(text, c.text, len)) return &c;
    return nullptr;
}

// A driver with catalogs but no schemas keeps its databases as catalogs:
// there the databases and schemas a user asks for are its catalogs. A
// usage that cannot be read counts as the other drivers'.
static bool databases_are_catalogs(SQLHDBC dbc) {
    SQLUINTEGER schema_usage = 0;
    SQLUINTEGER catalog_usage = 0;
    if (!sql_ok(SQLGetInfo(dbc, SQL_SCHEMA_USAGE, &schema_usage, sizeof schema_usage, nullptr))) return false;
    if (!sql_ok(SQLGetInfo(dbc, SQL_CATALOG_USAGE, &catalog_usage, sizeof catalog_usage, nullptr))) return false;
    return schema_usage == 0 && catalog_usage != 0;
}

static show_listing listing_on(SQLHDBC dbc, show_listing listing) {
    if (listing == LIST_SCHEMAS && databases_are_catalogs(dbc)) return LIST_CATALOGS;
    return listing;
}

// The connection's current catalog, or null when the driver names none,
// names an empty one, or one that does not fit.
static const char *current_catalog(SQLHDBC dbc, char name[CATALOG_NAME_SIZE]) {
    name[0] = '\0';
    SQLRETURN rc = SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, name, CATALOG_NAME_SIZE, nullptr);
    name[CATALOG_NAME_SIZE - 1] = '\0';
    return rc == SQL_SUCCESS && name[0] != '\0' ? name : nullptr;
}

// One name argument of SQLTables: a writable copy of the text, or a null
// pointer with length 0 for a name left out.
struct catalog_arg {
    char text[CATALOG_NAME_SIZE];
    SQLCHAR *ptr;
    SQLSMALLINT len;
    explicit catalog_arg(const char *name) : text{}, ptr(nullptr), len(0) {
        if (name == nullptr) return;
        copy_bounded(text, name, sizeof text);
        ptr = reinterpret_cast<SQLCHAR *>(text);
        len = SQL_NTS;
    }
};

static SQLRETURN run_catalog_call(SQLHSTMT stmt, const tables_args &a, const char *catalog_name) {
    catalog_arg catalog(catalog_name), schema(a.schema), table(a.table), type(a.table_type);
    return SQLTables(stmt, catalog.ptr, catalog.len, schema.ptr, schema.len, table.ptr, table.len, type.ptr,
                     type.len);
}

// True when the statement takes catalog call arguments as identifiers
// (SQL_ATTR_METADATA_ID on), which makes "%" a name rather than a pattern.
static bool names_are_identifiers(SQLHSTMT stmt) {
    SQLULEN on = SQL_FALSE;
    return sql_ok(SQLGetStmtAttr(stmt, SQL_ATTR_METADATA_ID, &on, sizeof on, nullptr)) && on == SQL_TRUE;
}

static void set_names_are_identifiers(SQLHSTMT stmt, SQLULEN on) {
    SQLSetStmtAttr(stmt, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(on), SQL_IS_UINTEGER);
}

// True when a SHOW listing was answered by a catalog call. The call runs
// with patterns, the caller's SQL_ATTR_METADATA_ID being set back after it;
// no diagnostic of the call is read afterwards (SQLRowCount or the
// fall-back execution follows and has its own), so none is lost when
// setting it back clears them.
static bool try_catalog_translation(conn_slot *slot, const char *text, size_t len) {
    if (!starts_with_letters(text, len, show_prefix)) return false;
    if (driver_knows_show(slot->dbc)) return false;
    const show_command *c = find_show_command(text, len);
    if (c == nullptr) return false;
    const tables_args &a = listing_args[listing_on(slot->dbc, c->listing)];
    char name[CATALOG_NAME_SIZE];
    const char *catalog = a.current_catalog ? current_catalog(slot->dbc, name) : a.catalog;
    bool identifiers = names_are_identifiers(slot->stmt);
    if (identifiers) set_names_are_identifiers(slot->stmt, SQL_FALSE);
    SQLRETURN rc = run_catalog_call(slot->stmt, a, catalog);
    if (identifiers) set_names_are_identifiers(slot->stmt, SQL_TRUE);
    return sql_ok(rc);
}

static void clear_field_buffer(conn_slot *slot) {
    if (slot->field_buf != nullptr && slot->field_buf[0] != 0)
        std::memset(slot->field_buf, 0, static_cast<size_t>(slot->field_cap) * FIELD_REC_SIZE);
}

void report_row_count(request &rq, SQLHSTMT stmt) {
    SQLLEN count = 0;
    SQLRETURN rc = SQLRowCount(stmt, &count);
    if (rc == SQL_SUCCESS) {
        set_rowcount(rq, static_cast<double>(count));
        return;
    }
    set_rowcount(rq, 0.0);
    diag_on_stmt(rq, rc);
}

void op_query(request &rq) {
    if (arg_count(rq) < 3) {
        set_status(rq, ST_ARGS);
        return;
    }
    int32_t size = arg_size(rq, 3);
    if (size <= 0) {
        set_status(rq, ST_BADARG);
        return;
    }
    conn_slot *slot = rq.slot;
    clear_field_buffer(slot);
    slot->result_columns = -1;
    SQLRETURN rc = slot_ensure_stmt(slot);
    if (!sql_ok(rc)) {
        set_status(rq, ST_SQLERROR);
        diag_on_dbc(rq, rc); // the allocation's record is on the connection
        return;
    }
    // The statement is the text up to its first NUL, or the whole area; it
    // is passed with its length, so the caller's variable is never written.
    const char *text = reinterpret_cast<const char *>(arg_data(rq, 3));
    const void *nul = std::memchr(text, '\0', static_cast<size_t>(size));
    size_t len = nul ? static_cast<size_t>(static_cast<const char *>(nul) - text) : static_cast<size_t>(size);

    bool translated = try_catalog_translation(slot, text, len);
    if (!translated && arg_count(rq) > 3) {
        query_with_values(rq, text, len);
        return;
    }
    slot_forget_prepared(slot); // the statement is no longer the one prepared with values
    if (!translated) {
        rc = SQLExecDirect(slot->stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(text)),
                           static_cast<SQLINTEGER>(len));
        // A searched UPDATE or DELETE that matched no row answers SQL_NO_DATA:
        // that is a success with a row count of 0.
        if (!sql_ok(rc) && rc != SQL_NO_DATA) {
            set_status(rq, ST_SQLERROR);
            diag_on_stmt(rq, rc);
            return;
        }
        // Notices and warnings: kept before SQLRowCount clears them.
        if (rc == SQL_SUCCESS_WITH_INFO) diag_on_stmt(rq, rc);
    }
    report_row_count(rq, slot->stmt);
}

void op_freestmt(request &rq) {
    conn_slot *slot = rq.slot;
    if (slot->stmt == nullptr) {
        set_status(rq, ST_NOSTMT);
        return;
    }
    slot->result_columns = -1;
    int16_t option = status_subcode(rq);
    if (option == 0 || option == 2 || option == 3) {
        SQLFreeStmt(slot->stmt, SQL_CLOSE); // the handle stays for the next statement
        return;
    }
    slot_free_stmt(slot);
    // Any option but the documented "free" (1) is still honoured as a free,
    // and told apart by the value 15 where a return code would stand and
    // the SQLSTATE "?"; no call failed and the handle is gone, so no record
    // is read.
    if (option != 1) diag_no_record(rq, unknown_option_code);
}
