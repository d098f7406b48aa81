// Value decoding: the Blowfish cipher against its published vectors and an
// independent implementation, Base64 decoding, the key derivation, the XOR
// forms, form 3 through values made by the scrambler and by OpenSSL, and
// the bounded copy the decoder relies on.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "conn/base64.h"
#include "conn/blowfish.h"
#include "conn/pw_decode.h"
#include "conn/secure_wipe.h"
#include "host/copy_bounded.h"
#include "host/heap.h"
#include "scramble.h"

namespace {

std::vector<uint8_t> from_hex(const char *hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2)
        out.push_back(uint8_t(std::stoul(std::string(hex + i, 2), nullptr, 16)));
    return out;
}

uint32_t be32(const uint8_t *b) {
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

uint32_t le32(const uint8_t *b) {
    return uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
}

void put_le32(uint8_t *b, uint32_t w) {
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(w >> (8 * i));
}

// ---- Blowfish -------------------------------------------------------------

// The published ECB vectors: key, plaintext, ciphertext, each block written
// as bytes with L the first four (most significant first).
struct bf_vector {
    const char *key, *plain, *cipher;
};
const bf_vector ecb_vectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

TEST(blowfish, published_ecb_vectors_encrypt_and_decrypt) {
    bf_ctx ctx;
    for (const bf_vector &v : ecb_vectors) {
        std::vector<uint8_t> key = from_hex(v.key), plain = from_hex(v.plain),
                             cipher = from_hex(v.cipher);
        bf_key_schedule(key.data(), key.size(), &ctx);
        uint32_t l = be32(&plain[0]), r = be32(&plain[4]);
        bf_encrypt_block(&ctx, &l, &r);
        EXPECT_EQ(l, be32(&cipher[0])) << v.key << " " << v.plain;
        EXPECT_EQ(r, be32(&cipher[4])) << v.key << " " << v.plain;
        bf_decrypt_block(&ctx, &l, &r);
        EXPECT_EQ(l, be32(&plain[0])) << v.key;
        EXPECT_EQ(r, be32(&plain[4])) << v.key;
    }
}

// The published variable-key-length set: plaintext FEDCBA9876543210 under the
// first n bytes of one 24-byte key; reaches the cyclic use of key bytes.
TEST(blowfish, published_vectors_for_key_lengths_1_to_24) {
    const char *expected[24] = {
        "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
        "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
        "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
        "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
        "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
        "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
    };
    std::vector<uint8_t> key = from_hex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    bf_ctx ctx;
    for (size_t n = 1; n <= 24; ++n) {
        bf_key_schedule(key.data(), n, &ctx);
        uint32_t l = 0xFEDCBA98, r = 0x76543210;
        bf_encrypt_block(&ctx, &l, &r);
        std::vector<uint8_t> c = from_hex(expected[n - 1]);
        EXPECT_EQ(l, be32(&c[0])) << "key length " << n;
        EXPECT_EQ(r, be32(&c[4])) << "key length " << n;
    }
}

// OpenSSL's Blowfish under a 32-byte key, fed its words little-endian as the
// decoder reads them, must match the library's ECB both ways.
TEST(blowfish, little_endian_ecb_agrees_with_openssl_under_32_byte_key) {
    uint8_t key[32], plain[48];
    for (int i = 0; i < 32; ++i) key[i] = uint8_t(i * 37 + 11);
    for (int i = 0; i < 48; ++i) plain[i] = uint8_t(i * 101 + 7);
    bf_ctx ctx;
    bf_key_schedule(key, sizeof key, &ctx);
    uint8_t ours[48], back[48];
    bf_encrypt_ecb_le(&ctx, plain, ours, sizeof plain);
    bf_decrypt_ecb_le(&ctx, ours, back, sizeof ours);
    EXPECT_EQ(0, std::memcmp(back, plain, sizeof plain));

    BF_KEY ref;
    BF_set_key(&ref, sizeof key, key);
    for (int off = 0; off < 48; off += 8) {
        BF_LONG data[2] = {le32(plain + off), le32(plain + off + 4)};
        BF_encrypt(data, &ref);
        EXPECT_EQ(data[0], le32(ours + off)) << "block " << off / 8;
        EXPECT_EQ(data[1], le32(ours + off + 4)) << "block " << off / 8;
    }
    // The byte order matters: read big-endian, the same bytes encrypt otherwise.
    uint8_t be_out[8];
    BF_ecb_encrypt(plain, be_out, &ref, BF_ENCRYPT);
    EXPECT_NE(0, std::memcmp(be_out, ours, 8));
}

// ---- Base64 ---------------------------------------------------------------

std::string b64(const char *src, size_t capacity = 64) {
    uint8_t dst[64];
    size_t n = base64_decode(src, dst, capacity);
    return std::string(reinterpret_cast<char *>(dst), n);
}

TEST(base64, rfc_4648_vectors) {
    EXPECT_EQ(b64(""), "");
    EXPECT_EQ(b64("Zg=="), "f");
    EXPECT_EQ(b64("Zm8="), "fo");
    EXPECT_EQ(b64("Zm9v"), "foo");
    EXPECT_EQ(b64("Zm9vYg=="), "foob");
    EXPECT_EQ(b64("Zm9vYmE="), "fooba");
    EXPECT_EQ(b64("Zm9vYmFy"), "foobar");
    EXPECT_EQ(b64("+/+/"), "\xFB\xFF\xBF");
    EXPECT_EQ(b64(nullptr), "");
}

TEST(base64, padding_ends_only_its_group_and_later_bytes_follow) {
    // "=" third: one byte, whatever the fourth character is.
    EXPECT_EQ(b64("QT=ZQUJD"), "AABC");
    // "=" fourth: two bytes.
    EXPECT_EQ(b64("QUI=QUJD"), "ABABC");
    // Characters outside the alphabet, "=" in the first places included, count 0.
    EXPECT_EQ(b64("*.=A"), std::string(1, '\0'));
    EXPECT_EQ(b64("==AA"), std::string(3, '\0'));
    EXPECT_EQ(b64("Q\x80J!"), "\x40\x02\x40");
}

TEST(base64, never_writes_past_capacity) {
    uint8_t dst[8];
    for (size_t cap = 0; cap <= 6; ++cap) {
        std::memset(dst, 0xEE, sizeof dst);
        size_t n = base64_decode("QUJDREVG", dst, cap); // "ABCDEF"
        EXPECT_EQ(n, cap);
        EXPECT_EQ(0, std::memcmp(dst, "ABCDEF", cap)) << cap;
        for (size_t i = cap; i < sizeof dst; ++i) EXPECT_EQ(dst[i], 0xEE) << cap;
    }
    EXPECT_EQ(base64_decode("QUJD", nullptr, 0), 0u);
}

TEST(base64, group_cut_short_by_the_end_is_dropped_and_nothing_after_is_read) {
    // Valid Base64 follows each NUL: a decoder that reads on would write it.
    const char cut_after_1[] = "QUJDQ\0UJD";
    const char cut_after_2[] = "QUJDQU\0JD";
    const char cut_after_3[] = "QUJDQUJ\0D";
    EXPECT_EQ(b64(cut_after_1), "ABC");
    EXPECT_EQ(b64(cut_after_2), "ABC");
    EXPECT_EQ(b64(cut_after_3), "ABC");
}

// ---- key derivation -------------------------------------------------------

// Keys worked out apart from the library (sequences A and B, the user block
// and the mix done by hand in another language).
TEST(pw_key, derived_keys_match_independent_computation) {
    struct {
        const char *user;
        const char *key;
    } cases[] = {
        {nullptr, "6C264E2F53F445AE7ABA13B7A54F8C1C837849498BF1FE8142BD52E1E113E5FA"},
        {"", "6C264E2F53F445AE7ABA13B7A54F8C1C837849498BF1FE8142BD52E1E113E5FA"},
        {"ann", "0D95EDDB53F445AE7ABA13B7A54F8C1C837849498BF1FE8142BD52E1E113E5FA"},
        {"abcdefghijklmnopqrst",
         "0D99E0BF90EEDF51C358E2AD93F1AF89959D37CC22F1FE8142BD52E1E113E5FA"},
        {"abcdefghijklmnopqrstuvwxyz",
         "0D99E0BF90EEDF51C358E2AD93F1AF89959D37CC22F1FE8142BD52E1E113E5FA"},
        {"abcdefghijklmnopqrs", "0D99E0BF90EEDF51C358E2AD93F1AF89959D37B88BF1FE8142BD52E1E113E5FA"},
    };
    for (auto &c : cases) {
        uint8_t key[32];
        pw_derive_key(c.user, key);
        EXPECT_EQ(std::vector<uint8_t>(key, key + 32), from_hex(c.key))
            << (c.user ? c.user : "(null)");
    }
}

// ---- dispatch and XOR forms -----------------------------------------------

TEST(pw_decode, null_empty_and_clear_values_are_left_alone) {
    EXPECT_EQ(pw_decode(nullptr, "ann"), nullptr);
    char empty[] = "";
    EXPECT_EQ(pw_decode(empty, nullptr), empty);
    char clear[] = "secret";
    EXPECT_EQ(pw_decode(clear, nullptr), clear);
    EXPECT_STREQ(clear, "secret");
    char four[] = "\x04xyz";
    EXPECT_EQ(pw_decode(four, nullptr), four);
    EXPECT_STREQ(four, "\x04xyz");
}

TEST(pw_decode, xor_forms_drop_the_type_byte_and_cycle_the_key) {
    const char key1[] = "Q7w#Lx2!vR9@kT4$mZ8";
    // 21 scrambled bytes 'a': bytes 19 and 20 use key bytes 0 and 1 again.
    std::string value = "\x01" + std::string(21, 'a');
    std::vector<char> buf(value.begin(), value.end());
    buf.push_back('\0');
    EXPECT_EQ(pw_decode(buf.data(), nullptr), buf.data());
    ASSERT_EQ(std::strlen(buf.data()), 21u);
    for (size_t n = 0; n < 21; ++n) EXPECT_EQ(buf[n], char('a' ^ key1[n % 19])) << n;
}

TEST(pw_decode, xor_byte_equal_to_its_key_byte_stays) {
    char form1[] = "\x01Q7a";
    pw_decode(form1, nullptr);
    EXPECT_STREQ(form1, "Q7\x16"); // 'a' ^ 'w'
    char form2[] = "\x02\x9E\x01\x79";
    pw_decode(form2, nullptr);
    EXPECT_STREQ(form2, "\x9E\x36\x79"); // 0x01 ^ 0x37
}

TEST(pw_decode, type_byte_alone_becomes_empty_in_every_form) {
    for (char type : {'\x01', '\x02', '\x03'}) {
        char value[] = {type, '\0', 'x', '\0'};
        char *result = pw_decode(value, "ann");
        EXPECT_STREQ(value, "") << int(type);
        ASSERT_NE(result, nullptr);
        EXPECT_STREQ(result, "") << int(type);
    }
}

// ---- form 3 ---------------------------------------------------------------

std::string form3(const std::string &pw, const char *user, const char *check = "Ab3z") {
    char out[SCRAMBLE_FORM3_SIZE];
    EXPECT_EQ(scramble_blowfish(pw.data(), pw.size(), user, check, out, sizeof out), SCRAMBLE_OK);
    return out;
}

// Decodes value in a buffer sized to it, as the connect request does.
std::string decode(const std::string &value, const char *user, char **result = nullptr) {
    std::vector<char> buf(value.begin(), value.end());
    buf.push_back('\0');
    char *r = pw_decode(buf.data(), user);
    if (result != nullptr) *result = r;
    return buf.data();
}

TEST(pw_form3, round_trips_for_lengths_and_users) {
    const char *users[] = {nullptr, "", "ann", "a_user_name_longer_than_twenty"};
    for (size_t len : {0u, 1u, 2u, 7u, 8u, 43u, 44u}) {
        std::string pw;
        for (size_t i = 0; i < len; ++i) pw += char('!' + (i * 7) % 90);
        for (const char *user : users) {
            char *result;
            EXPECT_EQ(decode(form3(pw, user), user, &result), pw)
                << len << " " << (user ? user : "(null)");
            EXPECT_EQ(result, pw_buf);
            EXPECT_EQ(std::string(pw_buf), pw);
        }
    }
}

TEST(pw_form3, password_with_high_bytes_survives) {
    std::string pw = "\xFF\x80\x01 -=\x7F";
    EXPECT_EQ(decode(form3(pw, "ann"), "ann"), pw);
}

TEST(pw_form3, wrong_user_gives_bad_decryption_in_value_and_pw_buf) {
    std::string value = form3("secret", "ann");
    for (const char *other : {"bob", "Ann", "an", "", static_cast<const char *>(nullptr)}) {
        char *result;
        EXPECT_EQ(decode(value, other, &result), "<bad decryption>");
        EXPECT_EQ(result, pw_buf);
        EXPECT_STREQ(pw_buf, "<bad decryption>");
    }
}

TEST(pw_form3, damaged_text_gives_bad_decryption) {
    std::string value = form3("secret", "ann");
    value[1] = value[1] == 'x' ? 'y' : 'x'; // a check character
    EXPECT_EQ(decode(value, "ann"), "<bad decryption>");
    value = form3("secret", "ann");
    value[10] = value[10] == 'A' ? 'B' : 'A'; // Base64 of the first block
    EXPECT_EQ(decode(value, "ann"), "<bad decryption>");
}

TEST(pw_form3, user_name_counts_with_its_first_20_characters) {
    const char *long_name = "abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(decode(form3("pw", long_name), "abcdefghijklmnopqrst"), "pw");
    EXPECT_EQ(decode(form3("pw", "abcdefghijklmnopqrst"), long_name), "pw");
    EXPECT_EQ(decode(form3("pw", long_name), "abcdefghijklmnopqrs"), "<bad decryption>");
}

TEST(pw_form3, null_and_empty_user_share_the_key) {
    EXPECT_EQ(decode(form3("pw", nullptr), ""), "pw");
    EXPECT_EQ(decode(form3("pw", ""), nullptr), "pw");
}

TEST(pw_form3, wrong_length_stays_scrambled_and_pw_buf_is_kept) {
    std::string good = form3("keep", "ann");
    ASSERT_EQ(decode(good, "ann"), "keep");
    for (const std::string &bad : {good.substr(0, 68), good + "A", good.substr(0, 2)}) {
        char *result = &pw_buf[0];
        EXPECT_EQ(decode(bad, "ann", &result), bad) << bad.size() - 1;
        EXPECT_EQ(result, nullptr);
        EXPECT_STREQ(pw_buf, "keep");
    }
}

TEST(pw_form3, blowfish_decoder_reports_without_writing_the_value) {
    std::string value = form3("pw", "ann");
    std::vector<char> buf(value.begin(), value.end());
    buf.push_back('\0');
    EXPECT_EQ(pw_decode_blowfish("ann", buf.data()), pw_buf);
    EXPECT_EQ(std::string(buf.data()), value);
    EXPECT_STREQ(pw_buf, "pw");
    char alone[] = "\x03";
    EXPECT_EQ(pw_decode_blowfish("ann", alone), alone + 1);
    char other[] = "\x01xy";
    EXPECT_EQ(pw_decode_blowfish("ann", other), other);
    EXPECT_EQ(pw_decode_blowfish("ann", nullptr), nullptr);
}

TEST(pw_form3, no_memory_for_the_key_schedule_leaves_the_value) {
    std::string value = form3("pw", "ann");
    unsigned long before = heap_request_count();
    heap_fail_nth(1);
    char *result = &pw_buf[0];
    EXPECT_EQ(decode(value, "ann", &result), value);
    heap_fail_after(-1);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(heap_request_count() - before, 1u);
    EXPECT_EQ(decode(value, "ann"), "pw"); // and one allocation per decode
    EXPECT_EQ(heap_request_count() - before, 2u);
}

// A form-3 value built with OpenSSL's cipher, with the ciphertext's Base64
// holding "=" in the third place of its first group: that group gives one
// byte, the rest follows directly, and the last two ciphertext bytes stay 0.
TEST(pw_form3, padding_in_the_base64_shifts_the_ciphertext) {
    uint8_t key[32];
    pw_derive_key("ann", key);
    BF_KEY ref;
    BF_set_key(&ref, sizeof key, key);
    uint8_t cipher[48], plain[48];
    for (int seed = 0;; ++seed) {
        ASSERT_LT(seed, 1000);
        for (int i = 0; i < 46; ++i) cipher[i] = uint8_t(seed * 13 + i * 29 + 5);
        cipher[46] = cipher[47] = 0;
        for (int off = 0; off < 48; off += 8) {
            BF_LONG data[2] = {le32(cipher + off), le32(cipher + off + 4)};
            BF_decrypt(data, &ref);
            put_le32(plain + off, data[0]);
            put_le32(plain + off + 4, data[1]);
        }
        // the check characters are plaintext bytes 0..3 and must not be NUL
        if (plain[0] && plain[1] && plain[2] && plain[3]) break;
    }
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    char rest[61];
    base64_encode(cipher + 1, 45, rest);
    std::string value = "\x03" + std::string(reinterpret_cast<char *>(plain), 4);
    value += alphabet[cipher[0] >> 2];
    value += alphabet[(cipher[0] & 3) << 4];
    value += "=Z";
    value += rest;
    ASSERT_EQ(value.size(), 69u);
    std::string expected(reinterpret_cast<char *>(plain + 4), 44);
    expected = expected.substr(0, expected.find('\0'));
    EXPECT_EQ(decode(value, "ann"), expected);
}

// A value the scrambler wrote, opened with OpenSSL: the check characters and
// the NUL-padded password, block words little-endian.
TEST(pw_form3, scrambler_values_decrypt_with_openssl) {
    std::string value = form3("open sesame", "ann", "Q9x2");
    uint8_t cipher[48];
    ASSERT_EQ(base64_decode(value.c_str() + 5, cipher, sizeof cipher), 48u);
    uint8_t key[32];
    pw_derive_key("ann", key);
    BF_KEY ref;
    BF_set_key(&ref, sizeof key, key);
    uint8_t plain[48];
    for (int off = 0; off < 48; off += 8) {
        BF_LONG data[2] = {le32(cipher + off), le32(cipher + off + 4)};
        BF_decrypt(data, &ref);
        put_le32(plain + off, data[0]);
        put_le32(plain + off + 4, data[1]);
    }
    std::string expected = std::string("Q9x2open sesame") + std::string(33, '\0');
    EXPECT_EQ(std::string(reinterpret_cast<char *>(plain), 48), expected);
}

// ---- helpers the decoder uses ---------------------------------------------

TEST(copy_bounded, bounds_and_terminates) {
    char dst[64];
    std::memset(dst, 'x', sizeof dst);
    copy_bounded(dst, "abc", 1);
    EXPECT_EQ(dst[0], '\0');
    EXPECT_EQ(dst[1], 'x');

    std::string fifty(50, 'p');
    std::memset(dst, 'x', sizeof dst);
    copy_bounded(dst, fifty.c_str(), 45);
    EXPECT_EQ(std::string(dst), std::string(44, 'p'));
    EXPECT_EQ(dst[45], 'x');

    copy_bounded(dst, "short", 45);
    EXPECT_STREQ(dst, "short");
}

TEST(copy_bounded, same_buffer_and_null_pointers) {
    char dst[] = "unchanged";
    copy_bounded(dst, dst, 3);
    EXPECT_STREQ(dst, "unchanged");
    copy_bounded(dst, nullptr, 10);
    EXPECT_STREQ(dst, "");
    copy_bounded(nullptr, "abc", 10);
    copy_bounded(nullptr, nullptr, 10);
}

TEST(secure_wipe, clears_exactly_the_given_bytes) {
    char block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    secure_wipe(block + 2, 4);
    EXPECT_EQ(0, std::memcmp(block, "\x01\x02\0\0\0\0\x07\x08", 8));
}

} // namespace
