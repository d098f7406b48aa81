// connect_text_test.cpp - what the shell's history keeps of a \connect line
// (no password, however it is spelt), and which settings of a connect text
// the connect request would not read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connect_text.h"

TEST(connect_text, history_masks_every_spelling_of_a_password) {
    const char *const cases[][2] = {
        {"\\c -host=demo -user=ann -pw=secret", "\\c -host=demo -user=ann -pw=***"},
        {"\\connect -host=demo -PW=secret -user=ann", "\\connect -host=demo -PW=*** -user=ann"},
        {"\\c -host=demo -password=two words -pwd=x", "\\c -host=demo -password=*** -pwd=***"},
        {"\\c host=demo pw=secret", "\\c host=demo pw=***"},
        {"\\c -host=demo -pw secret", "\\c -host=demo -pw ***"},
        {"\\c -host=demo -Db_Password=s\t-user=ann", "\\c -host=demo -Db_Password=***\t-user=ann"},
        {"\\c demo ann secret more", "\\c demo ann *** ***"},
        {"\\c -host=demo -user=ann -pw", "\\c -host=demo -user=ann -pw"},
        {"\\c hex: 2D 68 3D 64 20 2D 50 57 3D 61", "\\c (a connect text with a password)"}, // -h=d -PW=a
        {"SELECT 'pw=1'", "SELECT 'pw=1'"},
    };
    for (const auto &c : cases) EXPECT_EQ(history_text(c[0]), c[1]) << c[0];
}

TEST(connect_text, settings_after_a_wider_separator_are_unread) {
    using names = std::vector<std::string>;
    EXPECT_EQ(unread_settings("-host=demo -user=ann -pw=x"), names{});
    EXPECT_EQ(unread_settings("-host=demo  -user=ann -pw=x"), (names{"-user", "-pw"}));
    EXPECT_EQ(unread_settings("-host=demo\t-user=ann -pw=x"), names{"-user"});
    EXPECT_EQ(unread_settings("-host=demo -user=ann   -pw=x"), names{"-pw"});
    // An unknown key is the connect request's own error, not a separator's.
    EXPECT_EQ(unread_settings("-host=demo -nosuch=1 -pw=x"), names{});
}
