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
