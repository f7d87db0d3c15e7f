// Texts of signed updates: Base64 both ways, hex, the built-in key, the signature file and the
// "SHA256" value.
#include "base/signed_update.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>

namespace {

// Base64 as the key and the signature file carry it: the alphabet's vectors, and everything
// that must not be taken for a key or a signature (a second text for the same bytes included).
TEST(SignedUpdate, Base64KeysAndSignatures) {
  struct Case {
    const char* text;
    const char* bytes;  // nullptr: refused
  } cases[] = {
      {"", ""},           {"Zg==", "f"},       {"Zm8=", "fo"},      {"Zm9v", "foo"},
      {"Zm9vYg==", "foob"}, {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"}, {"+/+/", "\xFB\xFF\xBF"},
      {"Zg=", nullptr},   {"Zg", nullptr},     {"Zh==", nullptr},   {"Zm9=", nullptr},
      {"Zg==Zg==", nullptr}, {"Z===", nullptr}, {"====", nullptr},  {"Zm 9v", nullptr},
      {"Zm9v\n", nullptr}, {"Zm-v", nullptr},  {"Zm_v", nullptr},   {"Zm9v=", nullptr},
      {"Zm\xC4v", nullptr},
  };
  for (const Case& c : cases) {
    auto got = base::DecodeBase64(c.text);
    if (c.bytes) {
      ASSERT_TRUE(got) << c.text;
      EXPECT_EQ(*got, c.bytes) << c.text;
    } else {
      EXPECT_FALSE(got) << c.text;
    }
  }

  // 32 bytes 00 01 .. 1F and 64 bytes 00 .. 3F, as the publishing tool writes them.
  const std::string key = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
  const std::string signature =
      "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+Pw==";
  std::string keyBytes, signatureBytes;
  for (int i = 0; i < 64; ++i) (i < 32 ? keyBytes : signatureBytes) += static_cast<char>(i);
  signatureBytes = keyBytes + signatureBytes;
  struct Text {
    std::string text;
    bool key, signature;  // accepted as a key / as a signature file
  } texts[] = {
      {key, true, false},
      {key + "\r\n", true, false},
      {"  " + key + " \t\n", true, false},
      {key.substr(0, 43), false, false},                           // no padding
      {"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg==", false, false},  // 31 bytes
      {"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8g", false, false},  // 33 bytes
      {signature, false, true},
      {signature + "\r\n", false, true},
      {" " + signature + "\n\n", false, true},
      {signature.substr(0, 44) + "\r\n" + signature.substr(44), false, false},  // in two lines
      {signature + "\r\nx", false, false},
      {"", false, false},
      {"\r\n", false, false},
  };
  for (const Text& t : texts) {
    auto k = base::ParsePublicKey(t.text);
    auto s = base::ParseSignatureFile(t.text);
    EXPECT_EQ(k.has_value(), t.key) << t.text;
    EXPECT_EQ(s.has_value(), t.signature) << t.text;
    if (k) EXPECT_EQ(*k, keyBytes);
    if (s) EXPECT_EQ(*s, signatureBytes);
  }
}


// The one Base64 both ways, as trelkpublish writes keys and signatures and both read them: the
// standard vectors, a key or signature file's line with its blanks, and a round trip.
TEST(SignedUpdate, Base64WrittenAndReadBack) {
  struct Case {
    std::string bytes;
    const char* text;
  } cases[] = {{"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},
               {"foo", "Zm9v"},   {"foob", "Zm9vYg=="}, {"foobar", "Zm9vYmFy"},
               {std::string("\0\xFF\xFE", 3), "AP/+"}};
  for (const Case& c : cases) {
    EXPECT_EQ(base::EncodeBase64(c.bytes), c.text);
    EXPECT_EQ(base::DecodeBase64(base::TrimBlanksAndBreaks(c.text)), c.bytes) << c.text;
  }
  // What a key or signature file may look like around its one line, and what it may not.
  struct Read {
    const char* text;
    bool ok;
  } reads[] = {{"Zm9v\r\n", true},  {"  Zm9v\t\n", true}, {"Zm8=\r\n", true}, {"Zm 9v", false},
               {"Zm9", false},      {"Zm9v=", false},    {"Zg=a", false},    {"Z===", false},
               {"Zh==", false},     {"Zm9=", false},     {"Zm9v====", false}, {"Zm9\xC3v", false},
               {"Zg==Zg==", false}, {"Zm-_", false}};
  for (const Read& r : reads) EXPECT_EQ(base::DecodeBase64(base::TrimBlanksAndBreaks(r.text)).has_value(), r.ok) << r.text;
  std::mt19937 random(14);
  for (size_t n = 0; n < 100; ++n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(random());
    EXPECT_EQ(base::DecodeBase64(base::TrimBlanksAndBreaks(base::EncodeBase64(bytes))), bytes) << n;
  }
}

TEST(SignedUpdate, Sha256ValueNamesTheDigest) {
  std::string digest;
  for (int i = 0; i < 32; ++i) digest += static_cast<char>(i * 8 + 7);
  const std::string lower = base::HexText(digest);
  EXPECT_EQ(base::HexText(std::string("\x00\x0f\xa0\xff", 4)), "000fa0ff");
  ASSERT_EQ(lower, "070f171f272f373f474f575f676f777f878f979fa7afb7bfc7cfd7dfe7eff7ff");
  std::string upper = lower, mixed = lower, otherLast = lower;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  for (size_t i = 0; i < mixed.size(); i += 3) mixed[i] = static_cast<char>(toupper(static_cast<unsigned char>(mixed[i])));
  otherLast.back() = 'e';
  struct Case {
    std::string value;
    bool matches;
  } cases[] = {
      {lower, true},           {upper, true},          {mixed, true},
      {otherLast, false},      {lower.substr(1), false}, {lower + "f", false},
      {lower.substr(0, 63) + "g", false}, {lower.substr(0, 31) + " " + lower.substr(32), false},
      {"", false},             {"0x" + lower.substr(2), false}, {std::string(64, '0'), false},
  };
  for (const Case& c : cases) EXPECT_EQ(base::Sha256ValueMatches(c.value, digest), c.matches) << c.value;
  EXPECT_FALSE(base::Sha256ValueMatches(lower, digest.substr(1))) << "a digest of another length";
}

}  // namespace
