// SPDX-License-Identifier: MIT
// The settings store on real files in a fresh folder per test.

#include "settings_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "settings_store.h"
#include "port_names.h"
#include "settings_home.h"
#include "settings_medium.h"
#include "test_user.h"
#include "wait_until.h"

namespace {

namespace fs = std::filesystem;

const std::string kKey = "[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\n";
const std::string kPorts = "[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n";

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Standard error goes to a file while this lives; Lines() says what came.
class StderrCapture {
 public:
  StderrCapture() : file_(fs::temp_directory_path() / ("store-stderr-" + std::to_string(::getpid()))) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~StderrCapture() {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    fs::remove(file_);
  }
  std::vector<std::string> Lines() {
    std::fflush(stderr);
    return SplitLines(ReadFile(file_));
  }

 private:
  fs::path file_;
  int saved_ = -1;
};

// A device tree with two USB adapters (named out of order) and three ttyS
// ports, one of them without a UART; ResolvePort numbers the devices in it.
void UseDeviceTree(const fs::path& root) {
  fs::create_directories(root / "dev" / "serial" / "by-id");
  for (const char* adapter : {"usb-B_port0", "usb-A_port0"}) std::ofstream(root / "dev" / "serial" / "by-id" / adapter);
  for (auto [name, type] : {std::pair{"ttyS0", "0"}, {"ttyS10", "4"}, {"ttyS2", "4"}}) {
    fs::create_directories(root / "sys" / "class" / "tty" / name);
    std::ofstream(root / "sys" / "class" / "tty" / name / "type") << type << "\n";
    std::ofstream(root / "dev" / name);
  }
  const std::string dev = (root / "dev").string(), sys = (root / "sys").string();
  serial::SetDeviceLister([dev, sys] { return serial::ListSerialDevicesUnder(dev, sys); });
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.Made());
    root_ = home_.Root();
    file_ = home_.File();
    // Values that no load would produce, so that every default is seen set.
    loaded.ScanCommNo = 99;
    loaded.ScanBaudRate = "junk";
    loaded.ScanBaudRateNo = 99;
    catalogue::Language = catalogue::LanguageState{7, "junk"};
  }
  void TearDown() override {
    serial::SetPortTable({});
    serial::SetDeviceLister({});
    store::SetSettingsLockLimit(std::chrono::milliseconds(5000));
  }

  void WriteStore(const std::string& content) {
    fs::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary) << content;
  }
  std::string ReadStore() { return ReadFile(file_); }
  void ExpectDefaults() {
    EXPECT_EQ(loaded.ScanCommNo, 0);
    EXPECT_EQ(loaded.ScanBaudRate, "19200,e,8,1");
    EXPECT_EQ(loaded.ScanBaudRateNo, 5);
    EXPECT_EQ(catalogue::Language.LanguageName, "English");
    EXPECT_EQ(catalogue::Language.LanguageIndex, 0);
  }
  void SaveLanguageAs(const std::string& name) {
    catalogue::Language.LanguageName = name;
    store::SaveLanguage();
  }
  // The files in the settings folder other than the settings file and its
  // lock file.
  std::vector<std::string> OtherFiles(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::string name = entry.path().filename().string();
      if (name != "Corvel.reg" && name != "Corvel.reg.lock") names.push_back(name);
    }
    return names;
  }

  SettingsHome home_{"rt420-store"};
  fs::path root_;
  fs::path file_;
  // The scan result the store loads into and saves from.
  store::ScanResult loaded;
};

// ---------------------------------------------------------------------------
// Reading the four values.

TEST_F(SettingsStoreTest, FirstStartUsesDefaultsAndMakesNothing) {
  store::LoadSettings(loaded);
  ExpectDefaults();
  EXPECT_FALSE(fs::exists(root_ / "TAVIX"));
  EXPECT_EQ(store::SettingsLocation(), file_.string());
}

TEST_F(SettingsStoreTest, ReadsEveryValueAsStored) {
  WriteStore("REGEDIT4\n\n" + kKey +
             "\"ScanCommNo\"=dword:ffffffff\n\"scanbaudrate\"=\"115200,n,8,1\"\n"
             "\"ScanBaudRateNo\"=dword:0000000E\n\"LanguageFlag\"=\"ChineseBIG5\"\n");
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, -1);
  EXPECT_EQ(loaded.ScanBaudRate, "115200,n,8,1");  // value names ignore case
  EXPECT_EQ(loaded.ScanBaudRateNo, 14);            // not checked against the list
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseBIG5");
  EXPECT_EQ(catalogue::Language.LanguageIndex, 2);
}

TEST_F(SettingsStoreTest, LanguageNameComparesExactly) {
  const std::pair<const char*, int> cases[] = {
      {"ChineseGB", 1}, {"ChineseBIG5", 2}, {"chinesegb", 0}, {"CHINESEBIG5", 0}, {"Klingon", 0}, {"", 0}};
  for (auto [name, index] : cases) {
    WriteStore("REGEDIT4\n\n" + kKey + "\"LanguageFlag\"=\"" + name + "\"\n");
    store::LoadSettings(loaded);
    EXPECT_EQ(catalogue::Language.LanguageIndex, index) << name;
    EXPECT_EQ(catalogue::Language.LanguageName, name);  // kept as read
  }
}

TEST_F(SettingsStoreTest, WrongTypeEndsTheReadingThere) {
  const std::string rest = "\"ScanBaudRate\"=\"9600,n,8,1\"\n\"LanguageFlag\"=\"ChineseGB\"\n";
  WriteStore("REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=\"3\"\n\"ScanBaudRateNo\"=dword:00000002\n" + rest);
  store::LoadSettings(loaded);
  ExpectDefaults();

  WriteStore("REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRateNo\"=\"2\"\n" + rest);
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 3);
  EXPECT_EQ(loaded.ScanBaudRate, "9600,n,8,1");
  EXPECT_EQ(loaded.ScanBaudRateNo, 5);
  EXPECT_EQ(catalogue::Language.LanguageName, "English");
  EXPECT_EQ(catalogue::Language.LanguageIndex, 0);

  WriteStore("REGEDIT4\n\n" + kKey + "\"ScanBaudRate\"=hex:31,00\n\"ScanCommNo\"=dword:00000004\n");
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 4);
  EXPECT_EQ(loaded.ScanBaudRate, "19200,e,8,1");
}

TEST_F(SettingsStoreTest, MissingValuesTakeTheirDefaults) {
  WriteStore("REGEDIT4\r\n\r\n[hkey_local_machine\\software\\tavix\\corvel]\r\n\"ScanBaudRate\"=\"4800,n,8,1\"\r\n");
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 0);
  EXPECT_EQ(loaded.ScanBaudRate, "4800,n,8,1");  // CRLF lines and key case accepted
  EXPECT_EQ(loaded.ScanBaudRateNo, 5);
  EXPECT_EQ(catalogue::Language.LanguageName, "English");
}

// ---------------------------------------------------------------------------
// Writing.

TEST_F(SettingsStoreTest, WritesValuesInOrderWithTheirTypes) {
  loaded = store::ScanResult{3, "38400,e,8,1", 7};
  store::SaveScanResult(loaded);
  const std::string scan = "REGEDIT4\n\n" + kKey +
                           "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRateNo\"=dword:00000007\n"
                           "\"ScanBaudRate\"=\"38400,e,8,1\"\n";
  EXPECT_EQ(ReadStore(), scan + "\n");

  SaveLanguageAs("Odd \\ \"name\"");
  EXPECT_EQ(ReadStore(), scan + "\"LanguageFlag\"=\"Odd \\\\ \\\"name\\\"\"\n\n");

  loaded = store::ScanResult{-2, "4800,n,8,1", 0};
  store::SaveScanResult(loaded);  // replaced in place
  EXPECT_EQ(ReadStore(), "REGEDIT4\n\n" + kKey +
                             "\"ScanCommNo\"=dword:fffffffe\n\"ScanBaudRateNo\"=dword:00000000\n"
                             "\"ScanBaudRate\"=\"4800,n,8,1\"\n\"LanguageFlag\"=\"Odd \\\\ \\\"name\\\"\"\n\n");
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, -2);
  EXPECT_EQ(catalogue::Language.LanguageName, "Odd \\ \"name\"");
  EXPECT_EQ(OtherFiles(file_.parent_path()), std::vector<std::string>{});  // no temporary left
}

TEST_F(SettingsStoreTest, WritesKeepEverythingElse) {
  const std::string head = "REGEDIT4\n\n; kept by hand\n\n[HKEY_CURRENT_USER\\Other]\n\"A\"=\"1\"\n\n" + kKey +
                           "\"Extra\"=hex(2):41,00,\\\n  42,00\n; note\n";
  const std::string tail = "\n" + kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n";
  WriteStore(head + "\"SCANCOMMNO\"=dword:00000001\n@=\"default\"\n" + tail);
  loaded = store::ScanResult{2, "9600,e,8,1", 3};
  store::SaveScanResult(loaded);
  SaveLanguageAs("ChineseGB");
  EXPECT_EQ(ReadStore(), head +
                             "\"SCANCOMMNO\"=dword:00000002\n@=\"default\"\n\"ScanBaudRateNo\"=dword:00000003\n"
                             "\"ScanBaudRate\"=\"9600,e,8,1\"\n\"LanguageFlag\"=\"ChineseGB\"\n" +
                             tail);
}

TEST_F(SettingsStoreTest, NewKeyStandsBeforeItsSubKey) {
  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n");
  loaded = store::ScanResult{3, "19200,e,8,1", 5};
  store::SaveScanResult(loaded);
  EXPECT_EQ(ReadStore(), "REGEDIT4\n\n" + kKey +
                             "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRateNo\"=dword:00000005\n"
                             "\"ScanBaudRate\"=\"19200,e,8,1\"\n\n" +
                             kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n");
}

TEST_F(SettingsStoreTest, UnusableFolderIsToldOnceAndNothingIsMade) {
  const fs::path blocker = root_ / "blocker";
  std::ofstream(blocker) << "a file, not a folder";
  setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  StderrCapture captured;
  loaded = store::ScanResult{4, "9600,n,8,1", 2};
  store::SaveScanResult(loaded);
  store::SaveLanguage();
  store::LoadSettings(loaded);
  ExpectDefaults();
  EXPECT_EQ(fs::file_size(blocker), 20u);
  std::vector<std::string> lines = captured.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find((blocker / "TAVIX" / "Corvel.reg").string()), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("not saved"), std::string::npos) << lines[0];
}

TEST_F(SettingsStoreTest, TextTheFileCannotHoldIsRefused) {
  SaveLanguageAs("English");
  const std::string saved = ReadStore();
  SaveLanguageAs("two\nlines");
  SaveLanguageAs(std::string("nul\0inside", 10));
  EXPECT_EQ(ReadStore(), saved);
}

TEST_F(SettingsStoreTest, CreatesMissingFolders) {
  setenv("XDG_CONFIG_HOME", (root_ / "a" / "b").c_str(), 1);
  store::SaveLanguage();
  EXPECT_TRUE(fs::exists(root_ / "a" / "b" / "TAVIX" / "Corvel.reg"));
  setenv("XDG_CONFIG_HOME", "", 1);
  setenv("HOME", root_.c_str(), 1);
  EXPECT_EQ(store::SettingsLocation(), (root_ / ".config" / "TAVIX" / "Corvel.reg").string());
}

// ---------------------------------------------------------------------------
// Files as people type them and as the registry editor exports them.

using SettingsFileTest = SettingsStoreTest;

TEST_F(SettingsFileTest, HandEditedFileIsReadAndEveryLineKept) {
  const std::string before =
      "regedit4\n"
      "; Settings for the RT-420 tool, edited by hand\n"
      "  \n"
      "[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]   ; the main key\n"
      "    \"ScanCommNo\" = dword:00000002\n"
      "\t\"ScanBaudRate\"  =  \"9600,n,8,1\"   ; set by hand\n"
      "  ; the index below matches 9600,n,8,1\n"
      "  \"ScanBaudRateNo\"=dword: 1\n"
      "  \"LanguageFlag\" = \"ChineseGB\"\n"
      "\n"
      "  [ HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports ]\n"
      "  \"COM2\" = \"/dev/ttyUSB0\"\n";
  WriteStore(before);
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 2);
  EXPECT_EQ(loaded.ScanBaudRate, "9600,n,8,1");
  EXPECT_EQ(loaded.ScanBaudRateNo, 1);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB");
  EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
  store::InstallPortTable();
  EXPECT_EQ(serial::ResolvePort(2), "/dev/ttyUSB0");

  SaveLanguageAs("ChineseBIG5");
  std::string expected = before;
  expected.replace(expected.find("\"ChineseGB\""), 11, "\"ChineseBIG5\"");
  EXPECT_EQ(ReadStore(), expected);

  loaded = store::ScanResult{3, "19200,e,8,1", 5};
  store::SaveScanResult(loaded);
  expected.replace(expected.find("dword:00000002"), 14, "dword:00000003");
  expected.replace(expected.find("\"9600,n,8,1\"   ;"), 12, "\"19200,e,8,1\"");
  expected.replace(expected.find("dword: 1"), 8, "dword:00000005");
  EXPECT_EQ(ReadStore(), expected);
}

TEST_F(SettingsFileTest, EmptyFileIsSavedInto) {
  for (const std::string& empty : {std::string(), std::string("\n\n"), std::string("\xEF\xBB\xBF")}) {
    WriteStore(empty);
    store::LoadSettings(loaded);
    ExpectDefaults();
    SaveLanguageAs("ChineseGB");
    std::string bom = empty.size() == 3 ? empty : "";
    std::string blank = empty == "\n\n" ? "\n\n" : "";
    EXPECT_EQ(ReadStore(), bom + "REGEDIT4\n\n" + blank + kKey + "\"LanguageFlag\"=\"ChineseGB\"\n\n");
    store::LoadSettings(loaded);
    EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
  }
}

// UTF-16LE bytes with a byte-order mark, as the registry editor exports.
std::string Utf16Export(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST_F(SettingsFileTest, Utf16ExportIsReadAndSavedIntoAsUtf16) {
  const std::u16string head =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\r\n"
      u"\"ScanCommNo\"=dword:00000004\r\n"
      u"\"ScanBaudRate\"=\"57600,e,8,1\"\r\n"
      u"\"Site\"=\"Zürich 工厂 \U0001D11E\"\r\n";
  const std::u16string tail =
      u"\r\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\r\n"
      u"\"COM4\"=\"/dev/ttyUSB1\"\r\n\r\n";
  WriteStore(Utf16Export(head + tail));
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 4);
  EXPECT_EQ(loaded.ScanBaudRate, "57600,e,8,1");
  EXPECT_EQ(store::PortTableEntry("COM4"), "/dev/ttyUSB1");
  auto key = store::OpenSettingsKey("Software\\TAVIX\\Corvel", false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadString("Site"), "Z\xC3\xBCrich \xE5\xB7\xA5\xE5\x8E\x82 \xF0\x9D\x84\x9E");

  SaveLanguageAs("ChineseBIG5");
  EXPECT_EQ(ReadStore(), Utf16Export(head + u"\"LanguageFlag\"=\"ChineseBIG5\"\r\n" + tail));
  store::LoadSettings(loaded);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 2);
  EXPECT_EQ(loaded.ScanCommNo, 4);
}

TEST_F(SettingsFileTest, CrOnlyLineEndsAreReadAndKept) {
  const std::string before = "REGEDIT4\r\r" + std::string("[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\r") +
                             "\"ScanCommNo\"=dword:00000006\r\"ScanBaudRate\"=\"4800,e,8,1\"\r";
  WriteStore(before);
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 6);
  EXPECT_EQ(loaded.ScanBaudRate, "4800,e,8,1");
  SaveLanguageAs("ChineseGB");
  EXPECT_EQ(ReadStore(), before + "\"LanguageFlag\"=\"ChineseGB\"\r");

  // A last line without its line end gets the file's own.
  WriteStore("REGEDIT4\r\n\r\n" + std::string("[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\r\n") +
             "\"ScanCommNo\"=dword:00000006");
  SaveLanguageAs("English");
  EXPECT_EQ(ReadStore(), "REGEDIT4\r\n\r\n" + std::string("[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\r\n") +
                             "\"ScanCommNo\"=dword:00000006\r\n\"LanguageFlag\"=\"English\"\r\n");
}

TEST_F(SettingsFileTest, MixedLineEndsNeverJoinTwoLines) {
  // A line added behind a CR-ended line takes the CR; were it to take the
  // file's LF, the next empty LF line would read as part of a CRLF.
  const std::string crThenLf = "REGEDIT4\r" + kKey + "\"Other\"=\"1\"\r\n\n";
  WriteStore(crThenLf);
  SaveLanguageAs("ChineseGB");
  EXPECT_EQ(ReadStore(), "REGEDIT4\r" + kKey + "\"Other\"=\"1\"\r\n\"LanguageFlag\"=\"ChineseGB\"\r\n\n");

  // A value replaced with its continuation lines ends as the last of them did.
  const std::string continued = "REGEDIT4\n\n" + kKey + "\"LanguageFlag\"=hex:41,00,\\\r  00,00\n\n\"Other\"=\"1\"\n";
  WriteStore(continued);
  SaveLanguageAs("ChineseBIG5");
  EXPECT_EQ(ReadStore(), "REGEDIT4\n\n" + kKey + "\"LanguageFlag\"=\"ChineseBIG5\"\n\n\"Other\"=\"1\"\n");
}

// A value the program replaces loses its hex data lines, but never what the
// user wrote among them.
TEST_F(SettingsFileTest, ReplacedHexDataKeepsTheCommentsAmongItsLines) {
  const std::string flag = "\"LanguageFlag\"=";
  const struct {
    std::string data, kept;
  } cases[] = {
      // a comment behind the bytes of the last line, which has no line end
      {"hex(1):41,00,\\\n  00,00;", "\"ChineseGB\"\n  ;"},
      // a comment line inside the data, and data going on behind it
      {"hex:41,00,\\\n; inside\n  42,00, \\ ; behind\n 00\n\"Other\"=\"1\"\n",
       "\"ChineseGB\"\n; inside\n  ; behind\n\"Other\"=\"1\"\n"},
      // the last line that stays takes the data's last line end
      {"hex:41,\\\r; inside\r  00\r\n\n", "\"ChineseGB\"\r; inside\r\n\n"},
  };
  for (const auto& c : cases) {
    WriteStore("REGEDIT4\n\n" + kKey + flag + c.data);
    SaveLanguageAs("ChineseGB");
    EXPECT_EQ(ReadStore(), "REGEDIT4\n\n" + kKey + flag + c.kept) << c.data;
    catalogue::Language.LanguageName = "junk";
    store::LoadSettings(loaded);
    EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB") << c.data;
  }
}

TEST_F(SettingsFileTest, DeletionLinesAreFollowedAsAnImportWould) {
  const std::string deletedValue = "REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:00000003\n\"LanguageFlag\"=\"ChineseGB\"\n" +
                                   "\"ScanCommNo\" = -\n\"LanguageFlag\"=-\n";
  WriteStore(deletedValue);
  store::LoadSettings(loaded);
  ExpectDefaults();
  // The new value goes behind the deletion, so that it stands.
  SaveLanguageAs("ChineseBIG5");
  EXPECT_EQ(ReadStore(), deletedValue + "\"LanguageFlag\"=\"ChineseBIG5\"\n");
  store::LoadSettings(loaded);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 2);
  EXPECT_EQ(loaded.ScanCommNo, 0);

  // A deleted key, or a key above it, takes its values; a new section behind
  // the deletion brings the key back.
  const std::string deletedKey =
      "REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:00000003\n\n[-HKEY_LOCAL_MACHINE\\Software\\TAVIX]\n";
  WriteStore(deletedKey);
  store::LoadSettings(loaded);
  ExpectDefaults();
  EXPECT_EQ(store::OpenSettingsKey("Software\\TAVIX\\Corvel", false), nullptr);
  SaveLanguageAs("ChineseGB");
  EXPECT_EQ(ReadStore(), deletedKey + "\n" + kKey + "\"LanguageFlag\"=\"ChineseGB\"\n\n");
  store::LoadSettings(loaded);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
  EXPECT_EQ(loaded.ScanCommNo, 0);
}

TEST_F(SettingsFileTest, LinesNotUnderstoodAreIgnoredAndKept) {
  const std::string before =
      "REGEDIT4\n\n"
      "\"ScanCommNo\"=dword:00000009\n"  // a value outside any key
      "not a registry line\n" +
      kKey +
      "\"ScanCommNo\"=dword:00000003\n"
      "\"Odd\"=str(2):\"x\"\n"
      "\"ScanBaudRate\"=\"bad \\escape\"\n"
      "\"Unterminated\"=\"text\n"
      "\"Binary\"=hex:01,02,\\\n"
      "  03,04\n"
      "\"Multi\"=hex(7):41,00,\\\n"
      "; a comment inside the data\n"
      "  00,00\n"
      "\"ScanBaudRateNo\"=dword:123456789\n"
      "garbage [with] brackets\n"
      "\"LanguageFlag\"=\"ChineseGB\"\n";
  WriteStore(before);
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 3);
  EXPECT_EQ(loaded.ScanBaudRate, "19200,e,8,1");  // a line not understood is no value
  EXPECT_EQ(loaded.ScanBaudRateNo, 5);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB");

  loaded = store::ScanResult{4, "9600,n,8,1", 2};
  store::SaveScanResult(loaded);
  std::string expected = before;
  expected.replace(expected.find("dword:00000003"), 14, "dword:00000004");
  expected += "\"ScanBaudRateNo\"=dword:00000002\n\"ScanBaudRate\"=\"9600,n,8,1\"\n";
  EXPECT_EQ(ReadStore(), expected);
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanBaudRate, "9600,n,8,1");
  EXPECT_EQ(loaded.ScanBaudRateNo, 2);
}

// ---------------------------------------------------------------------------
// A file that cannot be used at all.

struct UnusableFile {
  const char* name;
  std::function<void(const fs::path&)> make;
  const char* why;  // as the fresh file's first comment gives it
  fs::perms perms = fs::perms::none;  // set after making, when not none
};

const UnusableFile kUnusableFiles[] = {
    {"binary", [](const fs::path& f) { std::ofstream(f, std::ios::binary) << std::string("REGEDIT4\n\0\x01\x02", 12); },
     "it holds binary data"},
    {"over the limit",
     [](const fs::path& f) { std::ofstream(f, std::ios::binary) << "REGEDIT4\n\n; " << std::string(1024 * 1024, 'x') << "\n"; },
     "it is larger than 1 MiB"},
    {"a folder",
     [](const fs::path& f) {
       fs::create_directories(f);
       std::ofstream(f / "inside") << "kept";
     },
     "it is a folder"},
    {"broken UTF-16", [](const fs::path& f) { std::ofstream(f, std::ios::binary) << std::string("\xFF\xFER\0E\0G", 7); },
     "it is not valid UTF-16 text"},
    {"cannot be opened", [](const fs::path& f) { std::ofstream(f, std::ios::binary) << "REGEDIT4\n"; },
     "it cannot be opened: Permission denied", fs::perms::owner_write},
};

// Hands the tree to the user, so that it is the user's own settings home.
void GiveTo(const fs::path& root, const TestUser& user) {
  ASSERT_EQ(::lchown(root.c_str(), user.uid, user.gid), 0);
  for (const auto& entry : fs::recursive_directory_iterator(root))
    ASSERT_EQ(::lchown(entry.path().c_str(), user.uid, user.gid), 0) << entry.path();
}

// The unusable file is the user's own; the saves run as that user, since a
// file that "cannot be opened" is one only to a user other than root.
TEST_F(SettingsFileTest, UnusableFileIsKeptAsideAndAFreshFileStarted) {
  const TestUser& user = UnprivilegedUser();
  if (!user.available) GTEST_SKIP() << user.why;
  for (const UnusableFile& unusable : kUnusableFiles) {
    SCOPED_TRACE(unusable.name);
    fs::remove_all(file_.parent_path());
    fs::create_directories(file_.parent_path());
    unusable.make(file_);
    const bool folder = fs::is_directory(file_);
    const std::string original = folder ? std::string() : ReadStore();
    if (unusable.perms != fs::perms::none) fs::permissions(file_, unusable.perms);
    GiveTo(root_, user);

    StderrCapture captured;
    ChildEnd end = RunAsUser(
        user,
        [this] {
          SaveLanguageAs("ChineseGB");
          SaveLanguageAs("ChineseBIG5");
          return 0;
        },
        std::chrono::seconds(60));
    ASSERT_TRUE(end.ended);
    ASSERT_EQ(end.exitCode, 0);
    std::vector<std::string> aside = OtherFiles(file_.parent_path());
    ASSERT_EQ(aside.size(), 1u);
    const fs::path kept = file_.parent_path() / aside[0];
    EXPECT_EQ(aside[0].rfind("Corvel.reg.unreadable-", 0), 0u) << aside[0];
    if (!folder) fs::permissions(kept, fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(ReadFile(folder ? kept / "inside" : kept), folder ? "kept" : original);

    std::vector<std::string> lines = captured.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(file_.string() + " (" + unusable.why + ")"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(kept.string()), std::string::npos) << lines[0];

    EXPECT_TRUE(fs::is_regular_file(file_));
    EXPECT_EQ(ReadStore(), std::string("REGEDIT4\n\n; The settings file that stood here could not be read (") +
                               unusable.why + ").\n; It was kept as " + aside[0] +
                               ". If it held a port table, copy its Ports section\n"
                               "; here: until then COM numbers go to the serial devices found.\n\n" +
                               kKey + "\"LanguageFlag\"=\"ChineseBIG5\"\n\n");
    EXPECT_EQ(fs::status(file_).permissions(), fs::perms(0644));
    store::LoadSettings(loaded);
    EXPECT_EQ(catalogue::Language.LanguageIndex, 2);
  }
}

// A full disk (here: a file size limit of 0) leaves no room for the fresh
// file: the unusable one stays where it is and keeps blocking enumeration.
TEST_F(SettingsFileTest, UnusableFileStaysWhenNoFreshFileFits) {
  const std::string binary("\x7F" "ELF\0\0\0\0", 8);
  WriteStore(binary);
  store::InstallPortTable();
  UseDeviceTree(root_ / "tree");
  // The limit holds for every file the child writes: its stderr is a pipe.
  int told[2];
  ASSERT_EQ(::pipe2(told, O_CLOEXEC), 0);
  ChildEnd end = RunInChild(
      [&] {
        ::dup2(told[1], 2);
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit none = {0, 0};
        if (::setrlimit(RLIMIT_FSIZE, &none) != 0) return 1;
        SaveLanguageAs("ChineseGB");
        return 0;
      },
      std::chrono::seconds(30));
  ::close(told[1]);
  std::string err;
  char buffer[4096];
  for (ssize_t n; (n = ::read(told[0], buffer, sizeof buffer)) > 0;) err.append(buffer, static_cast<size_t>(n));
  ::close(told[0]);
  ASSERT_TRUE(end.ended);
  ASSERT_EQ(end.exitCode, 0);
  EXPECT_EQ(ReadStore(), binary);
  EXPECT_EQ(OtherFiles(file_.parent_path()), std::vector<std::string>{});
  StderrCapture quiet;  // the notice of the unreadable file, tested elsewhere
  for (int port = 1; port <= 4; ++port) EXPECT_EQ(serial::ResolvePort(port), std::nullopt) << port;
  std::vector<std::string> lines = SplitLines(err);
  ASSERT_EQ(lines.size(), 1u) << err;
  EXPECT_NE(lines[0].find("cannot save the settings file " + file_.string() + " (it holds binary data"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[0].find(std::strerror(EFBIG)), std::string::npos) << lines[0];
}

TEST_F(SettingsFileTest, UnreadableFileIsToldOnceAndLeftUntilTheNextSave) {
  const std::string binary("\x7F" "ELF\0\0\0\0", 8);
  WriteStore(binary);
  StderrCapture captured;
  store::LoadSettings(loaded);
  store::LoadSettings(loaded);
  EXPECT_EQ(store::PortTableEntry("COM1"), std::nullopt);
  ExpectDefaults();
  EXPECT_EQ(ReadStore(), binary);
  std::vector<std::string> lines = captured.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(file_.string() + " (it holds binary data)"), std::string::npos) << lines[0];

  // The save moves it where the notice said, without saying it again.
  SaveLanguageAs("ChineseGB");
  std::vector<std::string> aside = OtherFiles(file_.parent_path());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_NE(lines[0].find((file_.parent_path() / aside[0]).string()), std::string::npos) << lines[0];
  EXPECT_EQ(ReadFile(file_.parent_path() / aside[0]), binary);
  EXPECT_EQ(captured.Lines().size(), 1u);
}

// ---------------------------------------------------------------------------
// The port table.

TEST_F(SettingsStoreTest, PortTableIsReadAfreshAtEveryLookup) {
  EXPECT_EQ(store::PortTableEntry("COM3"), std::nullopt);
  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n\"COM5\"=\"\"\n");
  store::InstallPortTable();
  EXPECT_EQ(store::PortTableEntry("COM3"), "/dev/ttyUSB0");
  EXPECT_EQ(store::PortTableEntry("com3"), "/dev/ttyUSB0");
  EXPECT_EQ(store::PortTableEntry("COM5"), "");
  EXPECT_EQ(serial::ResolvePort(3), "/dev/ttyUSB0");
  EXPECT_EQ(serial::ResolvePort(5), std::nullopt);  // an empty entry: nothing behind the port

  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM3\"=\"/dev/ttyS1\"\n");
  EXPECT_EQ(store::PortTableEntry("COM3"), "/dev/ttyS1");
  EXPECT_EQ(serial::ResolvePort(3), "/dev/ttyS1");
  // The store key itself has no values: the settings stay at their defaults.
  store::LoadSettings(loaded);
  ExpectDefaults();
}

TEST_F(SettingsStoreTest, UnreadablePortTableOpensNoPortByEnumeration) {
  store::InstallPortTable();
  UseDeviceTree(root_ / "tree");
  // No settings file: ports are numbered among the devices found.
  EXPECT_EQ(store::ReadPortTable("COM1").kind, serial::PortTableAnswer::Kind::NoEntry);
  const std::string dev = (root_ / "tree" / "dev").string();
  EXPECT_EQ(serial::ResolvePort(1), dev + "/serial/by-id/usb-A_port0");
  EXPECT_EQ(serial::ResolvePort(2), dev + "/serial/by-id/usb-B_port0");
  EXPECT_EQ(serial::ResolvePort(3), dev + "/ttyS2");
  EXPECT_EQ(serial::ResolvePort(4), dev + "/ttyS10");
  EXPECT_EQ(serial::ResolvePort(5), std::nullopt);
  // An entry wins over the device list; an empty one means nothing.
  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM1\"=\"/dev/ttyUSB7\"\n\"COM2\"=\"\"\n");
  EXPECT_EQ(serial::ResolvePort(1), "/dev/ttyUSB7");
  EXPECT_EQ(serial::ResolvePort(2), std::nullopt);
  EXPECT_EQ(serial::ResolvePort(3), dev + "/ttyS2");

  StderrCapture captured;
  for (const std::string& unusable : {std::string("REGEDIT4\n\0", 10), std::string("folder")}) {
    fs::remove_all(file_);
    if (unusable == "folder") fs::create_directories(file_);
    if (unusable != "folder") WriteStore(unusable);
    EXPECT_EQ(store::ReadPortTable("COM1").kind, serial::PortTableAnswer::Kind::Unreadable);
    for (int port = 1; port <= 16; ++port) EXPECT_EQ(serial::ResolvePort(port), std::nullopt) << port;
  }

  // An entry that is there but cannot be read is no reason to guess either;
  // the good entries still serve.
  fs::remove_all(file_);
  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM1\"=dword:00000001\n\"COM2\"=\"/dev/ttyUSB0\n\"COM3\"=\"/dev/ttyUSB3\"\n");
  EXPECT_EQ(store::ReadPortTable("COM1").kind, serial::PortTableAnswer::Kind::Unreadable);
  EXPECT_EQ(store::ReadPortTable("COM2").kind, serial::PortTableAnswer::Kind::Unreadable);
  EXPECT_EQ(store::ReadPortTable("COM4").kind, serial::PortTableAnswer::Kind::NoEntry);
  EXPECT_EQ(serial::ResolvePort(1), std::nullopt);
  EXPECT_EQ(serial::ResolvePort(2), std::nullopt);
  EXPECT_EQ(serial::ResolvePort(3), "/dev/ttyUSB3");
  EXPECT_EQ(store::PortTableEntry("COM1"), std::nullopt);
}

// ---------------------------------------------------------------------------
// Two writers, and a symbolic link.

constexpr int kSavesPerWriter = 250;

// A child process that saves its own values many times: through the store
// (the language, or the scan result) and under names of its own in the key.
[[noreturn]] void SaveManyTimes(char who, int startFd) {
  char go = 0;
  bool ok = ::read(startFd, &go, 1) == 1;
  for (int i = 0; i < kSavesPerWriter && ok; ++i) {
    if (who == 'A') {
      catalogue::Language.LanguageName = i % 2 == 0 ? "ChineseGB" : "ChineseBIG5";
      store::SaveLanguage();
    } else {
      store::SaveScanResult(store::ScanResult{i, "9600,n,8,1", 2});
    }
    auto key = store::OpenSettingsKey("Software\\TAVIX\\Corvel", true);
    ok = key && key->WriteDword(std::string(1, who) + std::to_string(i), static_cast<uint32_t>(i));
  }
  ::_exit(ok ? 0 : 1);
}

TEST_F(SettingsStoreTest, TwoProcessesSavingAtOnceLoseNothing) {
  WriteStore("REGEDIT4\n\n; shared by two writers\n" + kKey);
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (char who : {'A', 'B'}) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) SaveManyTimes(who, start[0]);
    children.push_back(child);
  }
  ASSERT_EQ(::write(start[1], "go", 2), 2);  // both begin together
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  auto key = store::OpenSettingsKey("Software\\TAVIX\\Corvel", false);
  ASSERT_NE(key, nullptr);
  int lost = 0;
  for (char who : {'A', 'B'})
    for (int i = 0; i < kSavesPerWriter; ++i)
      if (key->ReadDword(std::string(1, who) + std::to_string(i)) != static_cast<uint32_t>(i)) ++lost;
  EXPECT_EQ(lost, 0);
  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, kSavesPerWriter - 1);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseBIG5");
  EXPECT_NE(ReadStore().find("; shared by two writers\n"), std::string::npos);
}

// How many descriptors of this process have the file open.
int OpenDescriptorsOf(const fs::path& file) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec))
    if (fs::read_symlink(entry.path(), ec) == file) ++count;
  return count;
}

TEST_F(SettingsStoreTest, SaveWaitsForTheLockHolderUpToTheLimit) {
  SaveLanguageAs("English");
  const std::string saved = ReadStore();
  const fs::path lockFile = file_.string() + ".lock";
  int lock = ::open(lockFile.c_str(), O_RDONLY);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);

  // Within the limit: the save waits, and lands once the lock is free.
  std::atomic<bool> done{false};
  std::thread saver([&] {
    SaveLanguageAs("ChineseGB");
    done = true;
  });
  // The saver has the lock file open: it is waiting for the lock.
  EXPECT_TRUE(WaitUntil([&] { return OpenDescriptorsOf(lockFile) >= 2; }, std::chrono::seconds(4)));
  EXPECT_FALSE(done);
  EXPECT_EQ(ReadStore(), saved);
  ::flock(lock, LOCK_UN);
  saver.join();
  EXPECT_NE(ReadStore().find("\"LanguageFlag\"=\"ChineseGB\""), std::string::npos);

  // Past the limit: the save gives up, says so once, and leaves the file.
  const std::string before = ReadStore();
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  store::SetSettingsLockLimit(std::chrono::milliseconds(150));
  StderrCapture captured;
  auto start = std::chrono::steady_clock::now();
  SaveLanguageAs("ChineseBIG5");
  SaveLanguageAs("ChineseBIG5");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  ::close(lock);
  EXPECT_EQ(ReadStore(), before);
  std::vector<std::string> lines = captured.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("has held its lock " + lockFile.string() + " for more than 150 ms"), std::string::npos)
      << lines[0];
}

TEST_F(SettingsStoreTest, SymlinkedFileIsWrittenThroughAndStaysALink) {
  const fs::path elsewhere = root_ / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directories(file_.parent_path());
  std::ofstream(elsewhere / "real.reg") << "REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:00000002\n";
  fs::permissions(elsewhere / "real.reg", fs::perms(0640));
  // A chain of two links, the first one relative.
  fs::create_symlink(elsewhere / "real.reg", elsewhere / "middle.reg");
  fs::create_symlink("../elsewhere/middle.reg", file_);

  store::LoadSettings(loaded);
  EXPECT_EQ(loaded.ScanCommNo, 2);
  SaveLanguageAs("ChineseGB");
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(fs::read_symlink(file_), "../elsewhere/middle.reg");
  EXPECT_TRUE(fs::is_symlink(elsewhere / "middle.reg"));
  EXPECT_EQ(ReadFile(elsewhere / "real.reg"),
            "REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:00000002\n\"LanguageFlag\"=\"ChineseGB\"\n");
  EXPECT_EQ(fs::status(elsewhere / "real.reg").permissions(), fs::perms(0640));
  // The temporary file and the lock lived beside the target.
  std::vector<std::string> there;
  for (const auto& entry : fs::directory_iterator(elsewhere)) there.push_back(entry.path().filename().string());
  std::sort(there.begin(), there.end());
  EXPECT_EQ(there, (std::vector<std::string>{"middle.reg", "real.reg", "real.reg.lock"}));
  EXPECT_EQ(OtherFiles(file_.parent_path()), std::vector<std::string>{});

  // A link whose target is missing: the target is made, the link kept.
  fs::remove(elsewhere / "real.reg");
  SaveLanguageAs("ChineseBIG5");
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(ReadFile(elsewhere / "real.reg"), "REGEDIT4\n\n" + kKey + "\"LanguageFlag\"=\"ChineseBIG5\"\n\n");
}

// ---------------------------------------------------------------------------
// The scan result is one save.

TEST_F(SettingsStoreTest, TwoProcessesSavingScanResultsLeaveOneWholeResult) {
  const store::ScanResult results[] = {{3, "19200,e,8,1", 5}, {7, "57600,n,8,1", 9}};
  loaded = results[0];
  store::SaveScanResult(loaded);
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (const store::ScanResult& result : results) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      char go = 0;
      if (::read(start[0], &go, 1) != 1) ::_exit(1);
      for (int i = 0; i < 150; ++i) store::SaveScanResult(result);
      ::_exit(0);
    }
    children.push_back(child);
  }
  ASSERT_EQ(::write(start[1], "go", 2), 2);
  ::close(start[0]);
  ::close(start[1]);
  // Read while they write: every read sees one result in full.
  auto whole = [&] {
    return std::any_of(std::begin(results), std::end(results), [this](const store::ScanResult& r) {
      return loaded.ScanCommNo == r.ScanCommNo && loaded.ScanBaudRate == r.ScanBaudRate &&
             loaded.ScanBaudRateNo == r.ScanBaudRateNo;
    });
  };
  int reads = 0, mixed = 0;
  int running = 2;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (running > 0 && std::chrono::steady_clock::now() < deadline) {
    store::LoadSettings(loaded);
    ++reads;
    if (!whole()) ++mixed;
    int status = 0;
    while (running > 0 && ::waitpid(-1, &status, WNOHANG) > 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      --running;
    }
  }
  for (pid_t child : children) ::kill(child, SIGKILL);  // only if the limit passed
  while (::waitpid(-1, nullptr, 0) > 0) {
  }
  EXPECT_EQ(running, 0);
  EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
  store::LoadSettings(loaded);
  EXPECT_TRUE(whole()) << loaded.ScanCommNo << " " << loaded.ScanBaudRate << " " << loaded.ScanBaudRateNo;
}

// ---------------------------------------------------------------------------
// What an unprivileged user meets: files and folders it may not change, and
// odd things where the lock belongs. Read what can be read, change nothing,
// and say in one line which path failed and why.

struct Refusal {
  const char* name;
  bool needsRoot;  // the setup gives something to root
  // Makes the state in the settings folder; the file exists and is the user's.
  std::function<void(const fs::path& file, const fs::path& lock)> setup;
  int scanCommNoRead;  // what the load reads: 3 from the file, 0 the default
  // Texts the first line holds; the path is the file's unless said here.
  std::function<std::vector<std::string>(const fs::path& file, const fs::path& lock)> told;
  size_t lines = 1;
};

void Own(const fs::path& path, uid_t uid, mode_t mode) {
  ASSERT_EQ(::lchown(path.c_str(), uid, uid == 0 ? 0 : static_cast<gid_t>(-1)), 0) << path;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

const Refusal kRefusals[] = {
    {"the lock is a FIFO", false, [](const fs::path&, const fs::path& lock) { ASSERT_EQ(::mkfifo(lock.c_str(), 0644), 0); },
     3, [](const fs::path&, const fs::path& lock) { return std::vector<std::string>{lock.string() + " is not a regular file"}; }},
    {"the file belongs to root", true, [](const fs::path& file, const fs::path&) { Own(file, 0, 0644); }, 3,
     [](const fs::path& file, const fs::path&) {
       return std::vector<std::string>{file.string() + ": it belongs to root and this user may not write it"};
     }},
    {"the user's own file is write-protected", false,
     [](const fs::path& file, const fs::path&) { fs::permissions(file, fs::perms(0444)); }, 3,
     [](const fs::path& file, const fs::path&) {
       return std::vector<std::string>{file.string() + ": it is write-protected (mode 0444)"};
     }},
    {"the lock belongs to root", true,
     [](const fs::path&, const fs::path& lock) {
       std::ofstream{lock};
       Own(lock, 0, 0600);
     },
     3,
     [](const fs::path&, const fs::path& lock) {
       return std::vector<std::string>{lock.string() + " belongs to root (mode 0600) and this user may not open it"};
     }},
    {"the lock is a folder", false, [](const fs::path&, const fs::path& lock) { fs::create_directory(lock); }, 3,
     [](const fs::path&, const fs::path& lock) { return std::vector<std::string>{lock.string() + " is a folder"}; }},
    {"the lock is a dangling link", false,
     [](const fs::path& file, const fs::path& lock) { fs::create_symlink(file.parent_path() / "gone" / "x", lock); }, 3,
     [](const fs::path& file, const fs::path& lock) {
       return std::vector<std::string>{lock.string() + " is a link to " + (file.parent_path() / "gone" / "x").string() +
                                       ", which cannot be opened"};
     }},
    {"the folder belongs to root", true, [](const fs::path& file, const fs::path&) { Own(file.parent_path(), 0, 0755); },
     3,
     [](const fs::path& file, const fs::path&) {
       const std::string folder = file.parent_path().string();
       return std::vector<std::string>{"its folder " + folder + " belongs to root (mode 0755)",
                                       "may not make files in it", "sudo chown -R \"$USER\" '" + folder + "'"};
     }},
    // Made by a program run with sudo: nothing in it can be read.
    {"the folder is root's alone", true, [](const fs::path& file, const fs::path&) { Own(file.parent_path(), 0, 0700); },
     0,
     [](const fs::path& file, const fs::path&) {
       const std::string folder = file.parent_path().string();
       return std::vector<std::string>{"its folder " + folder + " belongs to root (mode 0700) and is not accessible",
                                       "sudo chown -R \"$USER\" '" + folder + "'"};
     },
     2},
};

TEST_F(SettingsFileTest, WhatTheUserMayNotChangeIsReadAndLeftAsItIs) {
  const TestUser& user = UnprivilegedUser();
  if (!user.available) GTEST_SKIP() << user.why;
  const std::string content = "REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:00000003\n\"LanguageFlag\"=\"ChineseGB\"\n";
  const fs::path lock = file_.string() + ".lock";
  for (const Refusal& refusal : kRefusals) {
    SCOPED_TRACE(refusal.name);
    if (refusal.needsRoot && ::geteuid() != 0) continue;
    fs::remove_all(file_.parent_path());
    WriteStore(content);
    GiveTo(root_, user);
    refusal.setup(file_, lock);
    const std::vector<std::string> before = OtherFiles(file_.parent_path());

    StderrCapture captured;
    ChildEnd end = RunAsUser(
        user,
        [this] {
          store::LoadSettings(loaded);
          const int read = loaded.ScanCommNo;
          SaveLanguageAs("ChineseBIG5");
          loaded = store::ScanResult{4, "9600,n,8,1", 2};
          store::SaveScanResult(loaded);
          return read;
        },
        std::chrono::seconds(10));
    EXPECT_TRUE(end.ended) << "the program hung";
    EXPECT_EQ(end.exitCode, refusal.scanCommNoRead);
    EXPECT_EQ(ReadStore(), content);
    EXPECT_EQ(OtherFiles(file_.parent_path()), before);
    std::vector<std::string> lines = captured.Lines();
    EXPECT_EQ(lines.size(), refusal.lines);
    for (const std::string& text : refusal.told(file_, lock))
      EXPECT_NE(lines.empty() ? std::string::npos : lines[0].find(text), std::string::npos)
          << (lines.empty() ? "" : lines[0]) << "\nlacks: " << text;
    for (const std::string& line : lines) EXPECT_EQ(line.find("moves it"), std::string::npos) << line;
    fs::permissions(file_.parent_path(), fs::perms(0700));  // so that the next case can clear it
  }
}

// A relative or empty XDG_CONFIG_HOME is not used, and the user is told.
TEST_F(SettingsStoreTest, InvalidConfigHomeIsToldOnceAndHomeConfigUsed) {
  setenv("HOME", root_.c_str(), 1);
  for (auto [value, told] : {std::pair{"", "XDG_CONFIG_HOME is empty"},
                            {"relative/dir", "XDG_CONFIG_HOME is not an absolute path (relative/dir)"}}) {
    SCOPED_TRACE(value);
    setenv("XDG_CONFIG_HOME", value, 1);
    StderrCapture captured;
    EXPECT_EQ(store::SettingsLocation(), (root_ / ".config" / "TAVIX" / "Corvel.reg").string());
    SaveLanguageAs("ChineseGB");
    store::LoadSettings(loaded);
    EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
    EXPECT_EQ(captured.Lines(),
              std::vector<std::string>{std::string("store_tests: ") + told + ": using " + (root_ / ".config").string() +
                                       " instead"});
  }
}

}  // namespace
