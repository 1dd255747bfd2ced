// SPDX-License-Identifier: MIT
// The settings medium and the settings store on wine's registry.
//
// The medium's own tests use a key of their own below
// Software\TAVIX\CorvelTest; the store's tests use the store's key itself
// (the wine prefix is a throwaway one). Values are checked with the registry
// functions directly, in the registry's 32-bit view that the medium uses. A
// standard user is played by a machine key whose access list refuses writes
// to everyone.

#include <windows.h>
#include <sddl.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "catalogue.h"
#include "settings_medium.h"
#include "settings_store.h"

namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;
constexpr const char* kTestRoot = "Software\\TAVIX\\CorvelTest";
constexpr const char* kStoreKey = "Software\\TAVIX\\Corvel";
// Everyone may do everything but set values and make sub-keys.
constexpr const char* kRefuseWrites = "D:(D;;0x6;;;WD)(A;;KA;;;WD)";
constexpr const char* kAllowAll = "D:(A;;KA;;;WD)";

struct Raw {
  DWORD type = 0;
  std::string data;
};

std::optional<Raw> RawValue(HKEY root, const std::string& path, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | kView, &key) != ERROR_SUCCESS) return std::nullopt;
  Raw raw;
  raw.data.resize(8192);
  DWORD size = static_cast<DWORD>(raw.data.size());
  LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &raw.type, reinterpret_cast<BYTE*>(raw.data.data()), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return std::nullopt;
  raw.data.resize(size);
  return raw;
}

// The value's bytes and type, or "(missing)" and REG_NONE.
std::string RawData(HKEY root, const std::string& path, const std::string& name) {
  auto raw = RawValue(root, path, name);
  return raw ? raw->data : "(missing)";
}
DWORD RawType(HKEY root, const std::string& path, const std::string& name) {
  auto raw = RawValue(root, path, name);
  return raw ? raw->type : REG_NONE;
}

bool KeyExists(HKEY root, const std::string& path, REGSAM view = kView) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::string DwordBytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }
std::string SzBytes(const std::string& text) { return text + '\0'; }

// Gives the key an access list in the security descriptor language.
void SetAccess(HKEY root, const std::string& path, const char* descriptor) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | kView, &key) != ERROR_SUCCESS) return;
  PSECURITY_DESCRIPTOR security = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor, SDDL_REVISION_1, &security, nullptr)) {
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, security), ERROR_SUCCESS);
    LocalFree(security);
  }
  RegCloseKey(key);
}

void DeleteTree(HKEY root, const std::string& path) {
  SetAccess(root, path, kAllowAll);
  const size_t split = path.rfind('\\');
  HKEY parent = nullptr;
  if (RegOpenKeyExA(root, path.substr(0, split).c_str(), 0, KEY_ALL_ACCESS | kView, &parent) != ERROR_SUCCESS) return;
  RegDeleteTreeA(parent, path.substr(split + 1).c_str());
  RegCloseKey(parent);
}

// A fresh key of the test's own, in the machine's and the user's hive.
class RegistryMedium : public ::testing::Test {
 protected:
  void SetUp() override {
    path = std::string(kTestRoot) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Clean();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    DeleteTree(HKEY_LOCAL_MACHINE, path);
    DeleteTree(HKEY_CURRENT_USER, path);
  }
  std::string path;
};

TEST_F(RegistryMedium, MissingKeyDoesNotOpenAndIsNotMade) {
  EXPECT_EQ(store::OpenSettingsKey(path, false), nullptr);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path));
}

TEST_F(RegistryMedium, ValuesKeepTheirTypesInTheMachineKey) {
  auto key = store::OpenSettingsKey(path, true);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->WriteDword("ScanCommNo", 12));
  EXPECT_TRUE(key->WriteString("ScanBaudRate", "115200,n,8,1"));
  key.reset();

  EXPECT_EQ(RawType(HKEY_LOCAL_MACHINE, path, "ScanCommNo"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, path, "ScanCommNo"), DwordBytes(12));
  EXPECT_EQ(RawType(HKEY_LOCAL_MACHINE, path, "ScanBaudRate"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, path, "ScanBaudRate"), SzBytes("115200,n,8,1"));
  // In the 32-bit view only, and nothing in the user's hive.
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path));

  key = store::OpenSettingsKey(path, false);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->HasValue("scancommno"));
  EXPECT_EQ(key->ReadDword("SCANCOMMNO"), 12u);
  EXPECT_EQ(key->ReadString("ScanBaudRate"), "115200,n,8,1");
  EXPECT_FALSE(key->HasValue("LanguageFlag"));
  EXPECT_EQ(key->ReadString("LanguageFlag"), std::nullopt);
}

TEST_F(RegistryMedium, WrongTypesReadAsNothing) {
  SetRaw(HKEY_LOCAL_MACHINE, path, "ScanCommNo", REG_SZ, SzBytes("3"));
  SetRaw(HKEY_LOCAL_MACHINE, path, "LanguageFlag", REG_DWORD, DwordBytes(1));
  SetRaw(HKEY_LOCAL_MACHINE, path, "Short", REG_DWORD, "\x01\x02");
  SetRaw(HKEY_LOCAL_MACHINE, path, "Bytes", REG_BINARY, "abc");
  SetRaw(HKEY_LOCAL_MACHINE, path, "Expand", REG_EXPAND_SZ, SzBytes("%TEMP%"));
  auto key = store::OpenSettingsKey(path, false);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->HasValue("ScanCommNo"));
  EXPECT_EQ(key->ReadDword("ScanCommNo"), std::nullopt);
  EXPECT_EQ(key->ReadString("LanguageFlag"), std::nullopt);
  EXPECT_EQ(key->ReadDword("Short"), std::nullopt);
  EXPECT_EQ(key->ReadString("Bytes"), std::nullopt);
  EXPECT_EQ(key->ReadDword("Bytes"), std::nullopt);
  // An expandable string is a string, taken as it stands.
  EXPECT_EQ(key->ReadString("Expand"), "%TEMP%");
}

TEST_F(RegistryMedium, StringsAreBoundedAndEndAtTheirNul) {
  SetRaw(HKEY_LOCAL_MACHINE, path, "Long", REG_SZ, SzBytes(std::string(6000, 'a')));
  SetRaw(HKEY_LOCAL_MACHINE, path, "Unterminated", REG_SZ, "19200,e,8,1");
  SetRaw(HKEY_LOCAL_MACHINE, path, "TwoParts", REG_SZ, std::string("English\0Chinese\0", 16));
  auto key = store::OpenSettingsKey(path, true);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadString("Long"), std::nullopt);
  EXPECT_EQ(key->ReadString("Unterminated"), "19200,e,8,1");
  EXPECT_EQ(key->ReadString("TwoParts"), "English");
  EXPECT_FALSE(key->WriteString("LanguageFlag", std::string("Eng\0lish", 8)));
  EXPECT_FALSE(RawValue(HKEY_LOCAL_MACHINE, path, "LanguageFlag"));
}

// A standard user: the machine key refuses writes. The user's key takes
// them, and what the machine key holds is still read.
TEST_F(RegistryMedium, RefusedMachineKeyWritesGoToTheUsersKey) {
  SetRaw(HKEY_LOCAL_MACHINE, path, "ScanCommNo", REG_DWORD, DwordBytes(4));
  SetRaw(HKEY_LOCAL_MACHINE, path, "LanguageFlag", REG_SZ, SzBytes("ChineseGB"));
  SetAccess(HKEY_LOCAL_MACHINE, path, kRefuseWrites);
  HKEY probe = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | kView, &probe), ERROR_ACCESS_DENIED)
      << "the access list must refuse full access";

  auto key = store::OpenSettingsKey(path, true);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->WriteString("LanguageFlag", "ChineseBIG5"));
  EXPECT_TRUE(key->WriteDword("ScanBaudRateNo", 7));
  key.reset();

  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, path, "LanguageFlag"), SzBytes("ChineseGB"));
  EXPECT_EQ(RawData(HKEY_CURRENT_USER, path, "LanguageFlag"), SzBytes("ChineseBIG5"));
  EXPECT_EQ(RawType(HKEY_CURRENT_USER, path, "ScanBaudRateNo"), static_cast<DWORD>(REG_DWORD));

  key = store::OpenSettingsKey(path, false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadString("LanguageFlag"), "ChineseBIG5");
  EXPECT_EQ(key->ReadDword("ScanBaudRateNo"), 7u);
  EXPECT_EQ(key->ReadDword("ScanCommNo"), 4u);
  EXPECT_TRUE(key->HasValue("ScanCommNo"));
}

TEST_F(RegistryMedium, UsersKeyAloneIsOpenedForReading) {
  SetRaw(HKEY_CURRENT_USER, path, "ScanCommNo", REG_DWORD, DwordBytes(9));
  auto key = store::OpenSettingsKey(path, false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadDword("ScanCommNo"), 9u);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path));
}

// Once the machine key can be written again, a write there replaces what
// the user's key held, so the newest value is the one read.
TEST_F(RegistryMedium, MachineWriteRemovesTheUsersOlderValue) {
  SetRaw(HKEY_CURRENT_USER, path, "LanguageFlag", REG_SZ, SzBytes("ChineseGB"));
  SetRaw(HKEY_CURRENT_USER, path, "ScanCommNo", REG_DWORD, DwordBytes(2));
  auto key = store::OpenSettingsKey(path, true);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->WriteString("LanguageFlag", "English"));
  key.reset();

  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, path, "LanguageFlag"), SzBytes("English"));
  EXPECT_FALSE(RawValue(HKEY_CURRENT_USER, path, "LanguageFlag"));
  key = store::OpenSettingsKey(path, false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadString("LanguageFlag"), "English");
  EXPECT_EQ(key->ReadDword("ScanCommNo"), 2u) << "a value the machine key lacks is still the user's";
}

// The store on its own key: defaults, typed values, the order of reading.
class RegistryStore : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    catalogue::Language = catalogue::LanguageState{};
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    DeleteTree(HKEY_LOCAL_MACHINE, kStoreKey);
    DeleteTree(HKEY_CURRENT_USER, kStoreKey);
  }
};

TEST_F(RegistryStore, FirstStartUsesDefaultsAndMakesNothing) {
  store::ScanResult scan{7, "9600,n,8,1", 2};
  catalogue::Language.LanguageName = "ChineseGB";
  catalogue::Language.LanguageIndex = 1;
  store::LoadSettings(scan);
  EXPECT_EQ(scan.ScanCommNo, 0);
  EXPECT_EQ(scan.ScanBaudRate, "19200,e,8,1");
  EXPECT_EQ(scan.ScanBaudRateNo, 5);
  EXPECT_EQ(catalogue::Language.LanguageName, "English");
  EXPECT_EQ(catalogue::Language.LanguageIndex, 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kStoreKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kStoreKey));
}

TEST_F(RegistryStore, ScanResultAndLanguageAreTypedValues) {
  store::SaveScanResult(store::ScanResult{3, "115200,e,8,1", 11});
  catalogue::Language.LanguageName = "ChineseBIG5";
  store::SaveLanguage();

  EXPECT_EQ(RawType(HKEY_LOCAL_MACHINE, kStoreKey, "ScanCommNo"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, kStoreKey, "ScanCommNo"), DwordBytes(3));
  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, kStoreKey, "ScanBaudRateNo"), DwordBytes(11));
  EXPECT_EQ(RawType(HKEY_LOCAL_MACHINE, kStoreKey, "ScanBaudRate"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, kStoreKey, "ScanBaudRate"), SzBytes("115200,e,8,1"));
  EXPECT_EQ(RawData(HKEY_LOCAL_MACHINE, kStoreKey, "LanguageFlag"), SzBytes("ChineseBIG5"));

  store::ScanResult scan;
  catalogue::Language = catalogue::LanguageState{};
  store::LoadSettings(scan);
  EXPECT_EQ(scan.ScanCommNo, 3);
  EXPECT_EQ(scan.ScanBaudRate, "115200,e,8,1");
  EXPECT_EQ(scan.ScanBaudRateNo, 11);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseBIG5");
  EXPECT_EQ(catalogue::Language.LanguageIndex, 2);
}

TEST_F(RegistryStore, WrongTypeEndsTheReadingThere) {
  SetRaw(HKEY_LOCAL_MACHINE, kStoreKey, "ScanCommNo", REG_DWORD, DwordBytes(7));
  SetRaw(HKEY_LOCAL_MACHINE, kStoreKey, "ScanBaudRate", REG_SZ, SzBytes("9600,n,8,1"));
  SetRaw(HKEY_LOCAL_MACHINE, kStoreKey, "ScanBaudRateNo", REG_SZ, SzBytes("2"));
  SetRaw(HKEY_LOCAL_MACHINE, kStoreKey, "LanguageFlag", REG_SZ, SzBytes("ChineseGB"));
  store::ScanResult scan;
  store::LoadSettings(scan);
  EXPECT_EQ(scan.ScanCommNo, 7);
  EXPECT_EQ(scan.ScanBaudRate, "9600,n,8,1");
  EXPECT_EQ(scan.ScanBaudRateNo, 5);
  EXPECT_EQ(catalogue::Language.LanguageName, "English");

  // The first value of the wrong type: nothing at all is read.
  SetRaw(HKEY_LOCAL_MACHINE, kStoreKey, "ScanCommNo", REG_SZ, SzBytes("7"));
  store::LoadSettings(scan);
  EXPECT_EQ(scan.ScanCommNo, 0);
  EXPECT_EQ(scan.ScanBaudRate, "19200,e,8,1");
}

// A standard user keeps what the program stores, and still gets the scan
// result stored for the machine.
TEST_F(RegistryStore, StandardUserKeepsItsLanguage) {
  SetRaw(HKEY_LOCAL_MACHINE, kStoreKey, "ScanCommNo", REG_DWORD, DwordBytes(6));
  SetAccess(HKEY_LOCAL_MACHINE, kStoreKey, kRefuseWrites);
  catalogue::Language.LanguageName = "ChineseGB";
  store::SaveLanguage();

  store::ScanResult scan;
  catalogue::Language = catalogue::LanguageState{};
  store::LoadSettings(scan);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB");
  EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
  EXPECT_EQ(scan.ScanCommNo, 6);
  EXPECT_FALSE(RawValue(HKEY_LOCAL_MACHINE, kStoreKey, "LanguageFlag"));
}

}  // namespace
