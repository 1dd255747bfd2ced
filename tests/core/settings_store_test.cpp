// The settings store on real files in a fresh folder per test.

#include "settings_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "catalogue.h"
#include "module_state.h"
#include "port_names.h"

namespace {

namespace fs = std::filesystem;

const std::string kKey = "[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel]\n";
const std::string kPorts = "[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n";

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = getenv("HOME")) home_ = home;
    char pattern[] = "/tmp/uicore-store-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    file_ = root_ / "TAVIX" / "Corvel.reg";
    // Values that no load would produce, so that every default is seen set.
    Module.ScanCommNo = 99;
    Module.ScanBaudRate = "junk";
    Module.ScanBaudRateNo = 99;
    Language = LanguageState{7, "junk"};
  }
  void TearDown() override {
    SetPortTable({});
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", home_.c_str(), 1);
    fs::remove_all(root_);
  }

  void WriteStore(const std::string& content) {
    fs::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary) << content;
  }
  std::string ReadStore() {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  void ExpectDefaults() {
    EXPECT_EQ(Module.ScanCommNo, 0);
    EXPECT_EQ(Module.ScanBaudRate, "19200,e,8,1");
    EXPECT_EQ(Module.ScanBaudRateNo, 5);
    EXPECT_EQ(Language.LanguageName, "English");
    EXPECT_EQ(Language.LanguageIndex, 0);
  }

  std::string home_;
  fs::path root_;
  fs::path file_;
};

TEST_F(SettingsStoreTest, FirstStartUsesDefaultsAndMakesNothing) {
  LoadSettings(Module);
  ExpectDefaults();
  EXPECT_FALSE(fs::exists(root_ / "TAVIX"));
  EXPECT_EQ(SettingsLocation(), file_.string());
}

TEST_F(SettingsStoreTest, ReadsEveryValueAsStored) {
  WriteStore("REGEDIT4\n\n" + kKey +
             "\"ScanCommNo\"=dword:ffffffff\n\"scanbaudrate\"=\"115200,n,8,1\"\n"
             "\"ScanBaudRateNo\"=dword:0000000E\n\"LanguageFlag\"=\"ChineseBIG5\"\n");
  LoadSettings(Module);
  EXPECT_EQ(Module.ScanCommNo, -1);
  EXPECT_EQ(Module.ScanBaudRate, "115200,n,8,1");  // value names ignore case
  EXPECT_EQ(Module.ScanBaudRateNo, 14);            // not checked against the list
  EXPECT_EQ(Language.LanguageName, "ChineseBIG5");
  EXPECT_EQ(Language.LanguageIndex, 2);
}

TEST_F(SettingsStoreTest, LanguageNameComparesExactly) {
  const std::pair<const char*, int> cases[] = {
      {"ChineseGB", 1}, {"ChineseBIG5", 2}, {"chinesegb", 0}, {"CHINESEBIG5", 0}, {"Klingon", 0}, {"", 0}};
  for (auto [name, index] : cases) {
    WriteStore("REGEDIT4\n\n" + kKey + "\"LanguageFlag\"=\"" + name + "\"\n");
    LoadSettings(Module);
    EXPECT_EQ(Language.LanguageIndex, index) << name;
    EXPECT_EQ(Language.LanguageName, name);  // kept as read
  }
}

TEST_F(SettingsStoreTest, WrongTypeEndsTheReadingThere) {
  const std::string rest = "\"ScanBaudRate\"=\"9600,n,8,1\"\n\"LanguageFlag\"=\"ChineseGB\"\n";
  WriteStore("REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=\"3\"\n\"ScanBaudRateNo\"=dword:00000002\n" + rest);
  LoadSettings(Module);
  ExpectDefaults();

  WriteStore("REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRateNo\"=\"2\"\n" + rest);
  LoadSettings(Module);
  EXPECT_EQ(Module.ScanCommNo, 3);
  EXPECT_EQ(Module.ScanBaudRate, "9600,n,8,1");
  EXPECT_EQ(Module.ScanBaudRateNo, 5);
  EXPECT_EQ(Language.LanguageName, "English");
  EXPECT_EQ(Language.LanguageIndex, 0);

  WriteStore("REGEDIT4\n\n" + kKey + "\"ScanBaudRate\"=hex:31,00\n\"ScanCommNo\"=dword:00000004\n");
  LoadSettings(Module);
  EXPECT_EQ(Module.ScanCommNo, 4);
  EXPECT_EQ(Module.ScanBaudRate, "19200,e,8,1");
}

TEST_F(SettingsStoreTest, MissingValuesTakeTheirDefaults) {
  WriteStore("REGEDIT4\r\n\r\n[hkey_local_machine\\software\\tavix\\corvel]\r\n\"ScanBaudRate\"=\"4800,n,8,1\"\r\n");
  LoadSettings(Module);
  EXPECT_EQ(Module.ScanCommNo, 0);
  EXPECT_EQ(Module.ScanBaudRate, "4800,n,8,1");  // CRLF lines and key case accepted
  EXPECT_EQ(Module.ScanBaudRateNo, 5);
  EXPECT_EQ(Language.LanguageName, "English");
}

TEST_F(SettingsStoreTest, WritesValuesInOrderWithTheirTypes) {
  Module = ModuleState{3, "38400,e,8,1", 7};
  SaveScanResult(Module);
  const std::string scan = "REGEDIT4\n\n" + kKey +
                           "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRateNo\"=dword:00000007\n"
                           "\"ScanBaudRate\"=\"38400,e,8,1\"\n";
  EXPECT_EQ(ReadStore(), scan + "\n");

  Language.LanguageName = "Odd \\ \"name\"";
  SaveLanguage();
  EXPECT_EQ(ReadStore(), scan + "\"LanguageFlag\"=\"Odd \\\\ \\\"name\\\"\"\n\n");

  Module = ModuleState{-2, "4800,n,8,1", 0};
  SaveScanResult(Module);  // replaced in place
  EXPECT_EQ(ReadStore(), "REGEDIT4\n\n" + kKey +
                             "\"ScanCommNo\"=dword:fffffffe\n\"ScanBaudRateNo\"=dword:00000000\n"
                             "\"ScanBaudRate\"=\"4800,n,8,1\"\n\"LanguageFlag\"=\"Odd \\\\ \\\"name\\\"\"\n\n");
  LoadSettings(Module);
  EXPECT_EQ(Module.ScanCommNo, -2);
  EXPECT_EQ(Language.LanguageName, "Odd \\ \"name\"");
  EXPECT_EQ(fs::directory_iterator(file_.parent_path())->path(), file_);  // no temporary left
}

TEST_F(SettingsStoreTest, WritesKeepEverythingElse) {
  const std::string before = "REGEDIT4\n\n; kept by hand\n\n[HKEY_CURRENT_USER\\Other]\n\"A\"=\"1\"\n\n" + kKey +
                             "\"Extra\"=hex(2):41,00,\\\n  42,00\n; note\n\"SCANCOMMNO\"=dword:00000001\n"
                             "@=\"default\"\n\n" + kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n";
  WriteStore(before);
  Module = ModuleState{2, "9600,e,8,1", 3};
  SaveScanResult(Module);
  Language.LanguageName = "ChineseGB";
  SaveLanguage();
  EXPECT_EQ(ReadStore(), "REGEDIT4\n\n; kept by hand\n\n[HKEY_CURRENT_USER\\Other]\n\"A\"=\"1\"\n\n" + kKey +
                             "\"Extra\"=hex(2):41,00,\\\n  42,00\n; note\n\"SCANCOMMNO\"=dword:00000002\n"
                             "@=\"default\"\n\"ScanBaudRateNo\"=dword:00000003\n\"ScanBaudRate\"=\"9600,e,8,1\"\n"
                             "\"LanguageFlag\"=\"ChineseGB\"\n\n" +
                             kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n\n");
}

TEST_F(SettingsStoreTest, NewKeyStandsBeforeItsSubKey) {
  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n");
  Module = ModuleState{3, "19200,e,8,1", 5};
  SaveScanResult(Module);
  EXPECT_EQ(ReadStore(), "REGEDIT4\n\n" + kKey +
                             "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRateNo\"=dword:00000005\n"
                             "\"ScanBaudRate\"=\"19200,e,8,1\"\n\n" +
                             kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n\n");
}

TEST_F(SettingsStoreTest, UnparseableFileIsNeverTouched) {
  const std::string files[] = {
      "not a registry file\n",
      "",
      "REGEDIT4\n\n" + kKey + "\"ScanCommNo\"=dword:0000000G\n",
      "REGEDIT4\n\n" + kKey + "\"ScanBaudRate\"=\"bad \\escape\"\n",
      "REGEDIT4\n\n" + kKey + "\"LanguageFlag\"=\"unterminated\n",
      "REGEDIT4\n\n\"ScanCommNo\"=dword:00000001\n" + kKey,  // value outside a key
      "REGEDIT4\n\n" + kKey + "\"Extra\"=hex:01,\\\n",       // continuation never ends
      "REGEDIT4\n\n" + kKey + "\"Big\"=\"" + std::string(1 << 20, 'x') + "\"\n",
  };
  for (const std::string& content : files) {
    WriteStore(content);
    Module = ModuleState{4, "9600,n,8,1", 2};
    Language.LanguageName = "ChineseGB";
    SaveScanResult(Module);
    SaveLanguage();
    EXPECT_EQ(ReadStore(), content) << content.substr(0, 60);
    LoadSettings(Module);
    ExpectDefaults();
  }
}

TEST_F(SettingsStoreTest, UnusableFolderFailsSilently) {
  const fs::path blocker = root_ / "blocker";
  std::ofstream(blocker) << "a file, not a folder";
  setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  Module = ModuleState{4, "9600,n,8,1", 2};
  SaveScanResult(Module);
  SaveLanguage();
  LoadSettings(Module);
  ExpectDefaults();
  EXPECT_EQ(fs::file_size(blocker), 20u);

  // A text the file cannot hold (a line break) is refused, not half written.
  setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  Language.LanguageName = "English";
  SaveLanguage();
  const std::string saved = ReadStore();
  Language.LanguageName = "two\nlines";
  SaveLanguage();
  EXPECT_EQ(ReadStore(), saved);
}

TEST_F(SettingsStoreTest, CreatesMissingFolders) {
  setenv("XDG_CONFIG_HOME", (root_ / "a" / "b").c_str(), 1);
  SaveLanguage();
  EXPECT_TRUE(fs::exists(root_ / "a" / "b" / "TAVIX" / "Corvel.reg"));
  setenv("XDG_CONFIG_HOME", "", 1);
  setenv("HOME", root_.c_str(), 1);
  EXPECT_EQ(SettingsLocation(), (root_ / ".config" / "TAVIX" / "Corvel.reg").string());
}

TEST_F(SettingsStoreTest, PortTableIsReadAfreshAtEveryLookup) {
  EXPECT_EQ(PortTableEntry("COM3"), std::nullopt);
  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM3\"=\"/dev/ttyUSB0\"\n\"COM4\"=dword:00000001\n\"COM5\"=\"\"\n");
  InstallPortTable();
  EXPECT_EQ(PortTableEntry("COM3"), "/dev/ttyUSB0");
  EXPECT_EQ(PortTableEntry("com3"), "/dev/ttyUSB0");
  EXPECT_EQ(PortTableEntry("COM4"), std::nullopt);  // not a string
  EXPECT_EQ(PortTableEntry("COM5"), "");
  EXPECT_EQ(ResolvePort(3), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePort(5), std::nullopt);  // an empty entry: nothing behind the port

  WriteStore("REGEDIT4\n\n" + kPorts + "\"COM3\"=\"/dev/ttyS1\"\n");
  EXPECT_EQ(PortTableEntry("COM3"), "/dev/ttyS1");
  EXPECT_EQ(ResolvePort(3), "/dev/ttyS1");
  // The store key itself does not exist: the settings stay at their defaults.
  LoadSettings(Module);
  ExpectDefaults();
}

}  // namespace
