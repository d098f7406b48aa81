// binary_shown_test.cpp - the shell shows an empty binary value as "\x"
// whichever way the driver delivers binary columns, and leaves other
// empty values alone.
#include <gtest/gtest.h>

#include <string>

#include "binary.h"

TEST(binary_shown, empty_values) {
    const int32_t blob = 252, tiny = 1;
    std::string shown;
    EXPECT_TRUE(binary_shown("", blob, 16, binary_delivery::hex_digits, &shown));
    EXPECT_EQ(shown, "\\x");
    shown.clear();
    EXPECT_TRUE(binary_shown("", tiny, 10, binary_delivery::raw_bytes, &shown));
    EXPECT_EQ(shown, "\\x");
    // A TINYINT (display size 4) and a text column hold no binary value.
    EXPECT_FALSE(binary_shown("", tiny, 4, binary_delivery::raw_bytes, &shown));
    EXPECT_FALSE(binary_shown("", 12, 10, binary_delivery::raw_bytes, &shown));
}

// MariaDB's driver delivers raw bytes. Its BINARY(n) columns get the field
// type code of a TINYINT with display size 2n, and BIT(1) the code of BIT.
TEST(binary_shown, raw_bytes_told_by_type_and_size) {
    const int32_t tiny = 1, bit = 16;
    const binary_delivery raw = binary_delivery::raw_bytes;
    std::string shown;
    EXPECT_TRUE(binary_shown(std::string("\0", 1), bit, 1, raw, &shown));
    EXPECT_EQ(shown, "\\x00");
    EXPECT_TRUE(binary_shown("A", tiny, 2, raw, &shown));
    EXPECT_EQ(shown, "\\x41");
    EXPECT_TRUE(binary_shown(std::string("\0\1", 2), tiny, 4, raw, &shown));
    EXPECT_EQ(shown, "\\x0001");
    EXPECT_TRUE(binary_shown("05", tiny, 4, raw, &shown)) << "no TINYINT writes a leading zero";
    EXPECT_EQ(shown, "\\x3035");
    // TINYINT values, signed (size 4) and unsigned (size 3), stay numbers;
    // so does a BIT that a driver delivers as the ODBC rule asks.
    EXPECT_FALSE(binary_shown("-128", tiny, 4, raw, &shown));
    EXPECT_FALSE(binary_shown("7", tiny, 4, raw, &shown));
    EXPECT_FALSE(binary_shown("255", tiny, 3, raw, &shown));
    EXPECT_FALSE(binary_shown("1", bit, 1, binary_delivery::hex_digits, &shown));
}
