// pg_messages.h - the PostgreSQL statements whose messages must arrive
// whole, on Linux and through the DLL under Wine.
#ifndef RORI_TEST_PG_MESSAGES_H
#define RORI_TEST_PG_MESSAGES_H

// On a slot connected to PostgreSQL: a 600-character error, and two notices
// of a statement that succeeded, each read with OP_GETERROR into a dynamic
// variable; then a plain SELECT, which leaves +36 empty.
void expect_whole_pg_messages(int slot);

#endif
