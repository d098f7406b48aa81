// binary_shown_test.cpp - the shell shows an empty binary value as "\x"
// whichever way the driver delivers binary columns, and leaves other
// empty values alone.
#include <gtest/gtest.h>

#include <string>

#include "binary.h"

TEST(binary_shown, empty_values) {
    const int32_t blob = 252, tiny = 1;
    std::string shown;
    EXPECT_TRUE(binary_shown("", true, blob, binary_delivery::hex_digits, &shown));
    EXPECT_EQ(shown, "\\x");
    shown.clear();
    EXPECT_TRUE(binary_shown("", true, tiny, binary_delivery::raw_bytes, &shown));
    EXPECT_EQ(shown, "\\x");
    // A TINYINT, and a text of type code 252 (SQL_WLONGVARCHAR), hold no
    // binary value: their records have no binary flag.
    EXPECT_FALSE(binary_shown("", false, tiny, binary_delivery::raw_bytes, &shown));
    EXPECT_FALSE(binary_shown("", false, blob, binary_delivery::hex_digits, &shown));
}

// MariaDB's driver delivers raw bytes. Its BINARY(n) columns get the field
// type code of a TINYINT and the binary flag, and BIT(1) the code of BIT.
TEST(binary_shown, raw_bytes_told_by_flag_and_type) {
    const int32_t tiny = 1, bit = 16, blob = 252;
    const binary_delivery raw = binary_delivery::raw_bytes;
    std::string shown;
    EXPECT_TRUE(binary_shown(std::string("\0", 1), false, bit, raw, &shown));
    EXPECT_EQ(shown, "\\x00");
    EXPECT_TRUE(binary_shown("A", true, tiny, raw, &shown));
    EXPECT_EQ(shown, "\\x41");
    EXPECT_TRUE(binary_shown(std::string("\0\1", 2), true, tiny, raw, &shown));
    EXPECT_EQ(shown, "\\x0001");
    EXPECT_TRUE(binary_shown("42", true, tiny, raw, &shown)) << "two bytes that read as a number";
    EXPECT_EQ(shown, "\\x3432");
    // TINYINT values stay numbers, a text of type code 252 stays text; so
    // does a BIT that a driver delivers as the ODBC rule asks.
    EXPECT_FALSE(binary_shown("-128", false, tiny, raw, &shown));
    EXPECT_FALSE(binary_shown("05", false, tiny, raw, &shown));
    EXPECT_FALSE(binary_shown("abcd", false, blob, binary_delivery::hex_digits, &shown));
    EXPECT_FALSE(binary_shown("1", false, bit, binary_delivery::hex_digits, &shown));
}
