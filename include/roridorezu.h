/* roridorezu.h - the numbers and record layouts shared between the library
 * and its host: opcodes, status codes, host services, host variable types,
 * and the byte offsets of call_params, arg_desc, sql_status and field_rec.
 *
 * Every record here lives in host memory. Its layout is a set of fixed byte
 * offsets, not a C struct, so both sides read and write it field by field.
 * Integers are little-endian; sql_status +20 and +24 (and +4 for the array
 * fetch) hold "word-swapped" integers: high 16-bit word first. */
#ifndef RORIDOREZU_H
#define RORIDOREZU_H

#include <stdint.h>

#if defined(_WIN32)
#define RORI_CDECL __cdecl
#else
#define RORI_CDECL __attribute__((cdecl))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The host's service function: service, p, argno, a, b, ptr, len. */
typedef int(RORI_CDECL *host_callback)(int service, void *p, int argno, int a,
                                       int b, void *ptr, int len);

/* The library's one export. */
typedef int(RORI_CDECL *vizori_fn)(void *p, host_callback cb);

/* Opcodes (argument 1). */
enum {
    OP_INIT = 1,
    OP_SHUTDOWN = 2,
    OP_GETERROR = 3,
    OP_NEWCONN = 4,
    OP_CONNECT = 6,
    OP_DISCONNECT = 7,
    OP_INFO = 8,
    OP_QUERY = 9,
    OP_DESCRIBE = 10,
    OP_SETFIELDS = 11,
    OP_FETCH = 12,
    OP_FREESTMT = 13,
    OP_GETCONNATTR = 14,
    OP_SETCONNATTR = 15,
    OP_GETSTMTATTR = 16,
    OP_SETSTMTATTR = 17,
    OP_DATASOURCES = 18,
    OP_LAST = 24 /* opcodes above this are outside the table */
};

/* Status codes (sql_status +18 and the result of vizori). */
enum {
    ST_OK = 0,
    ST_SQLERROR = 2,
    ST_ARGS = 3,
    ST_NOINIT = 5,
    ST_NOSLOT = 7,
    ST_NOMEM = 8,
    ST_BADOP = 9,
    ST_BADCONN = 10,
    ST_BADARG = 11,
    ST_BADKEYWORD = 13,
    ST_NOSTMT = 14,
    ST_UNSUPPORTED = 15,
    ST_FIELDS = 16,
    ST_BUSY = 17 /* a call of vizori is running on this thread already */
};

/* Host services. */
enum {
    HS_GETNUM = 1,
    HS_GETSTR = 2,
    HS_PUTSTR = 4,
    HS_RESIZE = 5,
    HS_PUTNUM = 6
};

/* HS_GETSTR fills at most this many bytes, NUL included. */
#define HS_GETSTR_LIMIT 240

/* Host variable types (low 4 bits of arg_desc +4) and argument flags.
 * What a variable of each type receives in the variable form of OP_FETCH:
 *   HV_TEXT     the value as text and a NUL, written into the data area.
 *   HV_FLOAT    an 8-byte double, written into the data area.
 *   HV_BINARY   an integer, despite its name: the value as a 32-bit
 *               unsigned number, stored with HS_PUTNUM (sign-extended).
 *               A blob fetched into it gives 0.
 *   HV_INTEGER  the value as a 32-bit signed number, stored with HS_PUTNUM.
 *   HV_RAW      the value's bytes as they are, written into the data area;
 *               their length is not written anywhere (see the guide's
 *               "Raw values and their length"). Every type value not named
 *               here (0, 1, 3, 5, 7, 9 to 15) is raw as well.
 * A NULL gives 0 to HV_BINARY and HV_INTEGER and leaves the other types
 * untouched. The array and line forms deliver text whatever the type. */
enum {
    HV_RAW = 0,
    HV_TEXT = 2,
    HV_FLOAT = 4,
    HV_BINARY = 6,
    HV_INTEGER = 8,
    HV_TYPE_MASK = 0x0F,
    ARG_ARRAY = 0x10,
    ARG_DYNAMIC = 0x40
};

/* Fetch flags (sql_status +2 of OP_FETCH). */
enum {
    FETCH_ARRAY = 1,
    FETCH_LINE = 2,
    FETCH_LINE_UNSUPPORTED_4 = 4,
    FETCH_LINE_UNSUPPORTED_8 = 8
};

/* Element k (from 1) of an array argument is addressed as k * 256 + argno. */
#define ARGNO_ELEMENT(k, argno) ((k) * 256 + (argno))

/* call_params: argument count at +0, descriptor of argument k at +20*k. */
#define CP_ARGC 0
#define ARG_DESC_SIZE 20
#define CP_ARG(k) (ARG_DESC_SIZE * (k))

/* arg_desc fields. */
#define AD_FLAGS 4 /* uint16: type and flags */
#define AD_ADDR 8  /* 32-bit address of the data area */
#define AD_SIZE 12 /* int32: size of the data area */

/* sql_status, argument 2: at least SQL_STATUS_MIN bytes. */
#define SQL_STATUS_MIN 48
#define SS_SLOT 0      /* uint8 */
#define SS_SUBCODE 2   /* int16 */
#define SS_PARAM 4     /* int32 (plain for attributes, swapped for fetch) */
#define SS_ROWPOS 8    /* double */
#define SS_OPCODE 16   /* int16 */
#define SS_STATUS 18   /* int16 */
#define SS_NATIVE 20   /* int32, word-swapped */
#define SS_RESULT 24   /* int32, word-swapped */
#define SS_ROWCOUNT 28 /* double */
#define SS_SQLSTATE 36 /* 6 bytes */

/* field_rec: one column description, 224 bytes, plain little-endian. */
#define FIELD_REC_SIZE 224
#define FR_NAME 0
#define FR_SOURCE_NAME 32
#define FR_TABLE_NAME 64
#define FR_SOURCE_TABLE 96
#define FR_SCHEMA_NAME 128
#define FR_CATALOG_NAME 160
#define FR_DEFAULT_VALUE 172
#define FR_LENGTH 204
#define FR_WIDTH 208
#define FR_FLAGS 212
#define FR_TYPE_CODE 216
#define FR_PRECISION 220
#define FR_RESERVED 222
#define FR_TEXT_WIDTH 32
#define FR_CATALOG_WIDTH 12
#define FR_FLAG_NOT_NULL 0x1
#define FR_FLAG_BINARY 0x80 /* SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY: the type code alone cannot tell */
#define FR_FLAG_AUTO_UNIQUE 0x200

#ifdef __cplusplus
}
#endif

#endif
