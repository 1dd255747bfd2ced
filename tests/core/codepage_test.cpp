// SPDX-License-Identifier: MIT
// Conversion of bad input: characters a code page lacks, invalid and cut-off
// byte sequences, control bytes.

#include "codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string Fffd(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += kFffd;
  return out;
}

// True when text is well-formed UTF-8 (no overlong forms or surrogates).
bool IsUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    auto b = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    auto cont = [&](size_t i) { return (b(i) & 0xC0) == 0x80; };
    unsigned lead = b(at);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0) return false;
    for (size_t i = 1; i < length; ++i)
      if (!cont(at + i)) return false;
    if (lead == 0xE0 && b(at + 1) < 0xA0) return false;
    if (lead == 0xED && b(at + 1) > 0x9F) return false;
    if (lead == 0xF0 && b(at + 1) < 0x90) return false;
    if (lead == 0xF4 && b(at + 1) > 0x8F) return false;
    at += length;
  }
  return true;
}

TEST(CodePageTest, MissingCharactersBecomeOneQuestionMarkEach) {
  EXPECT_EQ(catalogue::EncodeFromUtf8("a\xC3\xA9"
                                      "b",
                                      catalogue::CodePage::Ascii),
            "a?b");  // é
  EXPECT_EQ(catalogue::EncodeFromUtf8("\xE2\x82\xAC"
                                      "1",
                                      catalogue::CodePage::Gb2312),
            "?1");                                                                               // €
  EXPECT_EQ(catalogue::EncodeFromUtf8("x\xF0\x9F\x98\x80y", catalogue::CodePage::Big5), "x?y");  // an emoji
  EXPECT_EQ(catalogue::EncodeFromUtf8("\xE7\xBC\x96\xE2\x82\xAC\xE5\x8F\xB7", catalogue::CodePage::Gb2312),
            "\xB1\xE0?\xBA\xC5");  // 编€号
  // Bytes that are not UTF-8 at all: one '?' per byte, the rest converted.
  EXPECT_EQ(catalogue::EncodeFromUtf8("\xFF\xC3"
                                      "A",
                                      catalogue::CodePage::Gb2312),
            "??A");
  EXPECT_EQ(catalogue::EncodeFromUtf8("\xED\xA0\x80", catalogue::CodePage::Ascii), "???");  // a surrogate
  EXPECT_EQ(catalogue::EncodeFromUtf8("", catalogue::CodePage::Big5), "");
}

TEST(CodePageTest, InvalidSequencesBecomeOneReplacementPerByte) {
  // A lead byte followed by a byte that cannot trail it, a lone trailing
  // lead byte, bytes that never start a character.
  EXPECT_EQ(catalogue::DecodeToUtf8("\xB1"
                                    "A",
                                    catalogue::CodePage::Gb2312),
            kFffd + "A");
  EXPECT_EQ(catalogue::DecodeToUtf8("\xB1\xE0X\xB1", catalogue::CodePage::Gb2312), "\xE7\xBC\x96X" + kFffd);
  EXPECT_EQ(catalogue::DecodeToUtf8("\xFF\xFF"
                                    "a",
                                    catalogue::CodePage::Gb2312),
            Fffd(2) + "a");
  EXPECT_EQ(catalogue::DecodeToUtf8("\xBD\x73\xB8", catalogue::CodePage::Big5), "\xE7\xB7\xA8" + kFffd);
  EXPECT_EQ(catalogue::DecodeToUtf8("\xFF"
                                    "Z\xBD\x73",
                                    catalogue::CodePage::Big5),
            kFffd + "Z\xE7\xB7\xA8");
  EXPECT_EQ(catalogue::DecodeToUtf8("A\x80\xE7", catalogue::CodePage::Ascii), "A" + Fffd(2));
  // A NUL inside the bytes is kept, not taken for the end.
  EXPECT_EQ(catalogue::DecodeToUtf8(std::string_view("a\0b", 3), catalogue::CodePage::Big5), std::string("a\0b", 3));
}

TEST(CodePageTest, DisplayTextHasNoControlCharacters) {
  EXPECT_EQ(catalogue::DecodeForDisplay("A\x01\x1B[31m\x7F\tB", catalogue::CodePage::Ascii),
            "A" + Fffd(2) + "[31m" + Fffd(2) + "B");
  EXPECT_EQ(catalogue::DecodeForDisplay(std::string_view("\0\r\n", 3), catalogue::CodePage::Gb2312), Fffd(3));
  EXPECT_EQ(catalogue::DecodeForDisplay("\xB1\xE0\n", catalogue::CodePage::Gb2312), "\xE7\xBC\x96" + kFffd);
  // glibc passes a lone 0x80 in Big5 through as the C1 control U+0080.
  EXPECT_EQ(catalogue::DecodeForDisplay("\x80"
                                        "A",
                                        catalogue::CodePage::Big5),
            kFffd + "A");
}

// Codes where the platforms' own tables part ways: each must read and write
// the same on every platform, with GB2312's own characters.
TEST(CodePageTest, Gb2312CodesReadTheSameEverywhere) {
  struct Case {
    const char* bytes;
    std::string text;  // "" when GB2312 has no character there
  };
  const Case cases[] = {
      {"\xA1\xA4", "\xE3\x83\xBB"},  // U+30FB, not the middle dot U+00B7
      {"\xA1\xAA", "\xE2\x80\x95"},  // U+2015, not the em dash U+2014
      {"\xA1\xA1", "\xE3\x80\x80"},  // ideographic space, the first code
      {"\xF7\xFE", "\xE9\xBD\x84"},  // the last code
      // Codes that only the wider Chinese tables assign.
      {"\xA2\xA1", ""}, {"\xA2\xAA", ""}, {"\xA2\xE3", ""}, {"\xA6\xE0", ""}, {"\xA6\xF5", ""},
      {"\xA8\xBB", ""}, {"\xA8\xC0", ""}, {"\xAA\xA1", ""}, {"\xD7\xFA", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    if (c.text.empty()) {
      EXPECT_EQ(catalogue::DecodeToUtf8(c.bytes, catalogue::CodePage::Gb2312), Fffd(2));
    } else {
      EXPECT_EQ(catalogue::DecodeToUtf8(c.bytes, catalogue::CodePage::Gb2312), c.text);
      EXPECT_EQ(catalogue::EncodeFromUtf8(c.text, catalogue::CodePage::Gb2312), c.bytes);
    }
  }
  // The other platform's characters for the two differing codes are not in
  // the set, nor are the small Roman numerals.
  for (const char* text : {"\xC2\xB7", "\xE2\x80\x94", "\xE2\x85\xB0"})
    EXPECT_EQ(catalogue::EncodeFromUtf8(text, catalogue::CodePage::Gb2312), "?") << testing::PrintToString(text);
}

// Every two-byte code of the set's range, counted: GB2312 has 7445
// characters, and each decodes alone to one character.
TEST(CodePageTest, Gb2312HasItsCharactersAndNoMore) {
  int assigned = 0;
  for (int first = 0xA1; first <= 0xF7; ++first) {
    for (int second = 0xA1; second <= 0xFE; ++second) {
      const char pair[] = {static_cast<char>(first), static_cast<char>(second), '\0'};
      if (catalogue::DecodeToUtf8(pair, catalogue::CodePage::Gb2312) != Fffd(2)) ++assigned;
    }
  }
  EXPECT_EQ(assigned, 7445);
}

TEST(CodePageTest, RandomBytesAlwaysDecodeToBoundedValidText) {
  std::mt19937 random(420);
  std::uniform_int_distribution<int> byte(0, 255);
  for (catalogue::CodePage codePage :
       {catalogue::CodePage::Ascii, catalogue::CodePage::Gb2312, catalogue::CodePage::Big5}) {
    for (int round = 0; round < 50; ++round) {
      std::string input(1 + round * 37, '\0');
      for (char& c : input) c = static_cast<char>(byte(random));
      std::string decoded = catalogue::DecodeToUtf8(input, codePage);
      std::string shown = catalogue::DecodeForDisplay(input, codePage);
      ASSERT_TRUE(IsUtf8(decoded));
      ASSERT_TRUE(IsUtf8(shown));
      // At most one replacement (3 bytes) per input byte; nothing dropped.
      ASSERT_LE(decoded.size(), 3 * input.size());
      ASSERT_GE(decoded.size(), input.size() / 2);
      for (char c : shown) ASSERT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
      // What came out converts back: only the replacements become '?'.
      std::string expected = decoded;
      for (size_t at; (at = expected.find(kFffd)) != std::string::npos;) expected.replace(at, 3, "?");
      ASSERT_EQ(catalogue::DecodeToUtf8(catalogue::EncodeFromUtf8(decoded, codePage), codePage), expected);
    }
  }
}

}  // namespace
