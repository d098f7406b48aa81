// info_items.h - the information items of OP_INFO, and the reading of a
// version text as one integer.
#ifndef RORI_INFO_ITEMS_H
#define RORI_INFO_ITEMS_H

#include <cstdint>

// "MM.mm.bbbb" as MM * 1000000 + mm * 100 + bbbb: each part is the decimal
// number at its fixed offset (0, 3, 6) as atoi reads it. A text whose third
// character is not a point gives 0; a part beyond the end of the text counts
// as 0.
int32_t version_number(const char *text);

#endif
