// The scrambler: every value it writes decodes through the library to its
// clear text, it refuses what a connect text could not carry, and its
// printable renderings give back the value's bytes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "conn/base64.h"
#include "conn/pw_decode.h"
#include "scramble.h"

namespace {

const unsigned char key1[] = "Q7w#Lx2!vR9@kT4$mZ8";
const unsigned char key2[] = "\x9E\x37\x79\xB9\x7F\x4A\x7C\x15\xF3\x9C\xC0\x60\x5C\xED\xC8\x34"
                             "\x10\x82\x27";

std::string decode(const std::string &value, const char *user) {
    std::vector<char> buf(value.begin(), value.end());
    buf.push_back('\0');
    pw_decode(buf.data(), user);
    return buf.data();
}

std::string scramble(int form, const std::string &clear, const char *user,
                     scramble_status expect = SCRAMBLE_OK) {
    char out[256];
    EXPECT_EQ(scramble_value(form, clear.data(), clear.size(), user, out, sizeof out), expect)
        << "form " << form << " clear size " << clear.size();
    return expect == SCRAMBLE_OK ? std::string(out) : std::string();
}

TEST(scrambler, all_forms_round_trip_with_and_without_user) {
    for (size_t len : {0u, 1u, 43u, 44u}) {
        std::string clear;
        for (size_t i = 0; i < len; ++i) clear += char('A' + (i * 5) % 26);
        for (const char *user : {static_cast<const char *>(nullptr), "", "ann"}) {
            for (int form = 1; form <= 3; ++form) {
                std::string value = scramble(form, clear, user);
                ASSERT_EQ(value[0], char(form));
                EXPECT_EQ(decode(value, user), clear) << "form " << form << " len " << len;
            }
        }
    }
}

TEST(scrambler, xor_forms_carry_long_texts) {
    std::string clear(200, 'z');
    for (int form = 1; form <= 2; ++form)
        EXPECT_EQ(decode(scramble(form, clear, nullptr), nullptr), clear);
}

// Every clear byte at every key position (prefixes of key bytes scramble to
// themselves). The byte mapping is one-to-one, so exactly one clear byte per
// position scrambles to a space, which would end the value and is refused.
TEST(scrambler, xor_every_byte_at_every_key_position) {
    const unsigned char *keys[] = {key1, key2};
    for (int form = 1; form <= 2; ++form) {
        const unsigned char *key = keys[form - 1];
        for (size_t n = 0; n <= 19; ++n) {
            std::string prefix;
            for (size_t i = 0; i < n; ++i) prefix += char(key[i % 19]);
            int refused = 0;
            for (int c = 1; c <= 255; ++c) {
                std::string clear = prefix + char(c);
                char out[32];
                scramble_status st =
                    scramble_xor(form, clear.data(), clear.size(), out, sizeof out);
                if (st == SCRAMBLE_CUT_XOR) {
                    ++refused;
                    continue;
                }
                ASSERT_EQ(st, SCRAMBLE_OK);
                EXPECT_EQ(std::string(out, 1 + n), char(form) + prefix);
                EXPECT_EQ(decode(out, nullptr), clear)
                    << "form " << form << " n " << n << " c " << c;
            }
            EXPECT_EQ(refused, 1) << "form " << form << " n " << n;
        }
    }
}

TEST(scrambler, xor_refuses_space_hyphen_and_trailing_space) {
    // Clear bytes chosen to scramble to " -" in the middle of the value.
    std::string clear = {char(' ' ^ key1[0]), char('-' ^ key1[1]), 'x'};
    char out[16] = "untouched";
    EXPECT_EQ(scramble_xor(1, clear.data(), clear.size(), out, sizeof out), SCRAMBLE_CUT_XOR);
    EXPECT_EQ(out[0], '\0');
    // The same text in form 2 does not meet the parser's cut.
    EXPECT_EQ(decode(scramble(2, clear, nullptr), nullptr), clear);
    std::string trailing = {'x', char(' ' ^ key2[1])};
    scramble(2, trailing, nullptr, SCRAMBLE_CUT_XOR);
    EXPECT_NE(std::strstr(scramble_message(SCRAMBLE_CUT_XOR), "form 3"), nullptr);
}

TEST(scrambler, refuses_what_no_form_can_carry) {
    std::string with_nul("a\0b", 3);
    for (int form = 1; form <= 3; ++form) scramble(form, with_nul, nullptr, SCRAMBLE_HAS_NUL);
    scramble(3, std::string(45, 'p'), "ann", SCRAMBLE_TOO_LONG);
    scramble(0, "x", nullptr, SCRAMBLE_BAD_FORM);
    scramble(4, "x", nullptr, SCRAMBLE_BAD_FORM);
    char small[SCRAMBLE_FORM3_SIZE - 1];
    EXPECT_EQ(scramble_value(3, "x", 1, nullptr, small, sizeof small), SCRAMBLE_NO_ROOM);
    EXPECT_EQ(scramble_value(1, "abc", 3, nullptr, small, 4), SCRAMBLE_NO_ROOM);
    EXPECT_EQ(scramble_value(1, "abc", 3, nullptr, small, 5), SCRAMBLE_OK);
}

TEST(scrambler, check_characters_must_be_letters_or_digits) {
    char out[SCRAMBLE_FORM3_SIZE];
    for (const char *check : {"ab-d", "ab d", "a\0cd", "abc="})
        EXPECT_EQ(scramble_blowfish("pw", 2, nullptr, check, out, sizeof out), SCRAMBLE_BAD_CHECK)
            << check;
}

TEST(scrambler, form3_values_have_random_alphanumeric_checks_and_base64) {
    std::vector<std::string> checks;
    for (int i = 0; i < 50; ++i) {
        std::string value = scramble(3, "pw", "ann");
        ASSERT_EQ(value.size(), 69u);
        for (size_t k = 1; k <= 4; ++k)
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(value[k])));
        for (size_t k = 5; k < 69; ++k)
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(value[k])) || value[k] == '+' ||
                        value[k] == '/')
                << value;
        checks.push_back(value.substr(1, 4));
    }
    // 50 draws of 62^4 possibilities: all equal only if the source is not random.
    size_t same = 0;
    for (const std::string &c : checks) same += c == checks[0];
    EXPECT_LT(same, checks.size());
}

TEST(base64_encode, rfc_4648_vectors_and_decoder_round_trip) {
    struct {
        const char *clear, *encoded;
    } cases[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"}};
    for (auto &c : cases) {
        char out[16];
        base64_encode(reinterpret_cast<const unsigned char *>(c.clear), std::strlen(c.clear), out);
        EXPECT_STREQ(out, c.encoded);
    }
    unsigned char bytes[48], back[48];
    for (int i = 0; i < 48; ++i) bytes[i] = static_cast<unsigned char>(i * 83 + 200);
    char text[65];
    base64_encode(bytes, sizeof bytes, text);
    ASSERT_EQ(std::strlen(text), 64u);
    ASSERT_EQ(base64_decode(text, back, sizeof back), 48u);
    EXPECT_EQ(0, std::memcmp(bytes, back, 48));
}

// ---- renderings -----------------------------------------------------------

std::string parse_hex(const char *text) {
    std::string out;
    char *end;
    for (const char *p = text; *p != '\0'; p = end) {
        out += char(std::strtoul(p, &end, 16));
        if (end == p) break;
    }
    return out;
}

// Reads a C string literal body: \xHH... takes every hex digit that follows.
std::string parse_c_escapes(const char *text) {
    std::string out;
    for (const char *p = text; *p != '\0';) {
        if (*p != '\\') {
            out += *p++;
        } else if (p[1] == 'x') {
            char *end;
            out += char(std::strtoul(p + 2, &end, 16));
            p = end;
        } else {
            out += p[1];
            p += 2;
        }
    }
    return out;
}

TEST(scrambler_render, hex_and_escaped_give_back_the_value) {
    std::vector<std::string> values = {scramble(1, "Fa9 \"\\x", nullptr), scramble(3, "pw", "ann"),
                                       "\x03"
                                       "ABC",
                                       "",
                                       "\x01\x7F\x80\xFF"
                                       "a\\"};
    for (const std::string &v : values) {
        char hex[512], esc[512];
        ASSERT_TRUE(format_hex(v.c_str(), hex, sizeof hex));
        EXPECT_EQ(parse_hex(hex), v);
        EXPECT_EQ(std::strlen(hex), v.empty() ? 0 : 3 * v.size() - 1);
        ASSERT_TRUE(format_escaped(v.c_str(), esc, sizeof esc));
        EXPECT_EQ(parse_c_escapes(esc), v) << esc;
        for (const char *p = esc; *p; ++p) EXPECT_TRUE(*p >= 0x20 && *p < 0x7F) << esc;
    }
}

TEST(scrambler_render, refuses_too_small_buffers) {
    char out[16];
    EXPECT_FALSE(format_hex("\x01\x02\x03", out, 8)); // needs 9
    EXPECT_TRUE(format_hex("\x01\x02\x03", out, 9));
    EXPECT_FALSE(format_escaped("\x01\x02", out, 8)); // needs 9
    EXPECT_FALSE(format_escaped("", out, 0));
    EXPECT_TRUE(format_escaped("abcdefg", out, 8));
}

// ---- connect texts --------------------------------------------------------

// Splits "-k=v -k=v" at " -" (which no written value holds) and the first "=".
std::vector<std::pair<std::string, std::string>> settings_of(const std::string &text) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(" -", start);
        if (end == std::string::npos) end = text.size();
        std::string piece = text.substr(start + 1, end - start - 1);
        size_t eq = piece.find('=');
        out.emplace_back(piece.substr(0, eq), piece.substr(eq + 1));
        start = end + 1;
    }
    return out;
}

TEST(scrambler_connect, values_decode_as_the_connect_request_decodes_them) {
    for (int user_form = 0; user_form <= 3; ++user_form) {
        connect_setting s[] = {
            {"host", "sales db", 2}, {"user", "ann", user_form}, {"pw", "s3cret=", 3}};
        char out[512];
        ASSERT_EQ(scramble_connect(s, 3, out, sizeof out), SCRAMBLE_OK);
        auto settings = settings_of(out);
        ASSERT_EQ(settings.size(), 3u) << out;
        EXPECT_EQ(settings[0].first, "host");
        EXPECT_EQ(settings[1].first, "user");
        EXPECT_EQ(settings[2].first, "pw");
        std::string host = decode(settings[0].second, nullptr);
        std::string user = decode(settings[1].second, nullptr);
        EXPECT_EQ(host, "sales db");
        EXPECT_EQ(user, "ann");
        EXPECT_EQ(decode(settings[2].second, user.c_str()), "s3cret=");
        EXPECT_EQ(decode(settings[2].second, nullptr), "<bad decryption>");
    }
}

TEST(scrambler_connect, leaves_out_absent_values_and_keeps_clear_ones) {
    connect_setting s[] = {{"host", nullptr, 0}, {"user", "ann", 0}, {"pw", "p-w", 0}};
    char out[64];
    ASSERT_EQ(scramble_connect(s, 3, out, sizeof out), SCRAMBLE_OK);
    EXPECT_STREQ(out, "-user=ann -pw=p-w");
}

TEST(scrambler_connect, refuses_clear_values_the_parser_would_change) {
    const char *bad[] = {"a -b", "trailing ",
                         "\x03"
                         "abc",
                         "\x01x"};
    for (const char *v : bad) {
        connect_setting s[] = {{"host", "sales", 0}, {"pw", v, 0}};
        char out[64];
        EXPECT_EQ(scramble_connect(s, 2, out, sizeof out), SCRAMBLE_CUT_CLEAR) << v;
        EXPECT_EQ(out[0], '\0');
    }
    connect_setting scrambled[] = {{"pw", "a -b ", 3}};
    char out[128];
    ASSERT_EQ(scramble_connect(scrambled, 1, out, sizeof out), SCRAMBLE_OK);
    EXPECT_EQ(decode(settings_of(out)[0].second, nullptr), "a -b ");
}

TEST(scrambler_connect, reports_a_full_buffer) {
    connect_setting s[] = {{"host", "sales", 0}, {"pw", "secret", 3}};
    char out[80];
    EXPECT_EQ(scramble_connect(s, 2, out, sizeof out), SCRAMBLE_NO_ROOM);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(scramble_connect(s, 2, out, 0), SCRAMBLE_NO_ROOM);
}

} // namespace
