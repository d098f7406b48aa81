// diag_keep.h - the copy of a handle's diagnostic records that a slot keeps
// after a request whose outcome they explain, so that OP_GETERROR can still
// answer after later ODBC calls of the same request have cleared them.
#ifndef RORI_DIAG_KEEP_H
#define RORI_DIAG_KEEP_H

#include <cstdint>

#include "host/odbc.h"

// Records read from one handle at most.
#define DIAG_KEEP_RECORDS 10

struct kept_record {
    char state[6];     // SQLSTATE and its NUL
    SQLINTEGER native; // native error
    int32_t offset;    // of its message in kept_diag::text
    int32_t length;    // of its message, in bytes
};

struct kept_diag {
    int32_t count;      // records held; 0: there is no copy
    int32_t explaining; // the record that explains the outcome
    bool failure;       // the outcome was a failure (kept when the copy is forgotten)
    kept_record records[DIAG_KEEP_RECORDS];
    // The messages of the records in their order, one per line, ended by a
    // NUL. Taken from the heap at the first read and grown to the longest
    // set of messages met; released with the slot.
    char *text;
    int32_t text_size;
};

// Reads the records of the handle (at most DIAG_KEEP_RECORDS), each message
// whole up to the longest SQLGetDiagRec can hand over, in place of what k
// held. The explaining record is record 1, or on a failure the first whose
// SQLSTATE is not of class 01 when there is one. Returns SQL_SUCCESS when a
// record was read, else SQLGetDiagRec's answer for record 1 (k then holds
// no copy).
SQLRETURN diag_keep_read(kept_diag &k, SQLSMALLINT type, SQLHANDLE handle, bool failure);

inline const kept_record &diag_keep_explaining(const kept_diag &k) { return k.records[k.explaining]; }

// The messages, one per line; empty when no memory could be had for them.
inline const char *diag_keep_messages(const kept_diag &k) { return k.text != nullptr ? k.text : ""; }

// Drops the copy; its memory stays for the next one.
inline void diag_keep_forget(kept_diag &k) { k.count = 0; }

// Drops the copy and gives its memory back.
void diag_keep_release(kept_diag &k);

#endif
