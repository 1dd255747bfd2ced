// SPDX-License-Identifier: MIT
// The provisioning profile reader: the forms editors save, comments, words
// in any case, and errors that name what is allowed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "profile.h"

namespace {
std::string Utf16Le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) bytes += std::string{c, '\0'};
  return bytes;
}

class ProfileFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/rt420-profile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Write(const std::string& bytes) {
    std::string path = (dir_ / "p.ini").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(ProfileFileTest, ReadsEveryFormAnEditorSaves) {
  const std::string body = "[module]\r\nid1 = 33\r\n";
  const std::pair<const char*, std::string> forms[] = {
      {"plain", body},
      {"UTF-8 BOM", "\xEF\xBB\xBF" + body},
      {"UTF-16LE BOM", Utf16Le(body)},
  };
  for (const auto& [name, bytes] : forms) {
    std::string error;
    std::optional<Profile> p = LoadProfile(Write(bytes), error);
    ASSERT_TRUE(p) << name << ": " << error;
    EXPECT_EQ(p->id1, 33) << name;
  }
}

TEST_F(ProfileFileTest, SaysWhyAFileCannotBeRead) {
  std::filesystem::create_directory(dir_ / "folder");
  const std::pair<std::string, const char*> cases[] = {
      {(dir_ / "missing.ini").string(), "no such file"},
      {(dir_ / "folder").string(), "it is a folder"},
  };
  for (const auto& [path, why] : cases) {
    std::string error;
    EXPECT_FALSE(LoadProfile(path, error));
    EXPECT_NE(error.find(why), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

TEST(ProfileTest, AcceptsCommentsAndAnyCase) {
  struct Want {
    std::optional<int> id1{}, id2{}, lineSettingIndex{}, keyCount{}, modeIndex{}, rs485Index{};
  };
  struct Case {
    const char* text;
    Want want;
  };
  const Case cases[] = {
      {"[Module]\nID1 = 12 ; the door\nId2=7 # the gate\n", {.id1 = 12, .id2 = 7}},
      {"[MODULE]\nMode = Two\nRS485 = 40\n", {.modeIndex = 0, .rs485Index = 2}},
      {"mode = ONE\nLine-Setting = 19200,E,8,1\nKEY-COUNT = 6\n", {.lineSettingIndex = 5, .keyCount = 6, .modeIndex = 1}},
      {"; only a comment\n# another\nid1 = 1\n", {.id1 = 1}},
  };
  for (const Case& c : cases) {
    std::string error;
    std::optional<Profile> p = ParseProfile(c.text, "p.ini", error);
    ASSERT_TRUE(p) << c.text << error;
    EXPECT_EQ(p->id1, c.want.id1) << c.text;
    EXPECT_EQ(p->id2, c.want.id2) << c.text;
    EXPECT_EQ(p->lineSettingIndex, c.want.lineSettingIndex) << c.text;
    EXPECT_EQ(p->keyCount, c.want.keyCount) << c.text;
    EXPECT_EQ(p->modeIndex, c.want.modeIndex) << c.text;
    EXPECT_EQ(p->rs485Index, c.want.rs485Index) << c.text;
  }
}

TEST(ProfileTest, ErrorsNameTheLineAndWhatIsAllowed) {
  const std::pair<const char*, const char*> cases[] = {
      {"id1 = 100\n", "p.ini line 1: id1 must be 1 to 99, not '100'"},
      {"\nkeys = 4\n", "p.ini line 2: unknown setting 'keys' (id1, id2, line-setting, key-count, mode, rs485)"},
      {"key-count = 21\n", "p.ini line 1: key-count must be 0 to 20, not '21'"},
      {"mode = three\n", "p.ini line 1: mode must be two or one, not 'three'"},
      {"rs485 = 33\n", "p.ini line 1: rs485 must be 24, 32 or 40, not '33'"},
      {"[reader]\n", "p.ini line 1: unknown section [reader] (only [module])"},
      {"id1 33\n", "p.ini line 1: want setting = value"},
      {"ID1 = 3\nid1 = 4\n", "p.ini line 2: id1 given twice"},
      {"# nothing\n", "p.ini names no setting (id1, id2, line-setting, key-count, mode, rs485)"},
  };
  for (const auto& [text, want] : cases) {
    std::string error;
    EXPECT_FALSE(ParseProfile(text, "p.ini", error)) << text;
    EXPECT_EQ(error, want);
  }
}
}  // namespace
