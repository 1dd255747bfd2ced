// SPDX-License-Identifier: MIT
#include "catalogue.h"

#include <array>
#include <memory>
#include <mutex>

#include "rt420_version.h"

namespace catalogue {

LanguageState Language;

namespace {

// One message in its three languages, as UTF-8 text. The table stays readable
// here and is encoded into the languages' code pages when it is filled.
struct MessageSource {
  const char* english;
  const char* simplified;
  const char* traditional;
};

// Message 0 is the maker's company name, three blanks and its web address.
constexpr MessageSource kMessages[kMessageCount] = {
    {"TAVIX Technology Co., Ltd.   www.tavix.example", "塔维科技股份有限公司   www.tavix.example",
     "塔維科技股份有限公司   www.tavix.example"},  // 0
    // The title: the program's version comes from the one definition of it.
    {"TAVIX RT-420 Module Config V" RT420_VERSION_TEXT, "TAVIX RT-420 转换模组设定程式 V" RT420_VERSION_TEXT,
     "TAVIX RT-420 轉換模組設定程式 V" RT420_VERSION_TEXT},  // 1
    {"Start Scan Module!", "请先扫描模组!", "請先掃描模組!"},  // 2
    {"Cancel Process Module", "取消连线", "取消連線"},  // 3
    {"ID", "编号", "編號"},  // 4
    {"BaudRate", "通讯速度", "通訊速度"},  // 5
    {"Set Module Baud Rate", "设定通讯速度", "設定通訊速度"},  // 6
    {"Process Module", "模组连线", "模組連線"},  // 7
    {"Factory Default", "出厂预设", "出廠預設"},  // 8
    {"One Reader", "单一读卡机", "單一讀卡機"},  // 9
    {"Quick Setting", "快速设定", "快速設定"},  // 10
    {"Default", "预设", "預設"},  // 11
    {"S/N Set", "序号设定", "序號設定"},  // 12
    {"Exit", "结束", "結束"},  // 13
    {"Open COM", "开启串口", "開啟串口"},  // 14
    {"Error", "错误", "錯誤"},  // 15
    {"Scan Module", "扫描模组", "掃描模組"},  // 16
    {"S/N", "序号", "序號"},  // 17
    {"No", "流水号", "流水號"},  // 18
    {"VER", "版本", "版本"},  // 19
    {"Scan COM", "扫描串口", "掃描串口"},  // 20
    {"Get Module Info Ok. (COM", "读取模组资讯完成. (串口", "讀取模組資訊完成. (串口"},  // 21
    {"Get Module Info Error. (COM", "读取模组资讯错误. (串口", "讀取模組資訊錯誤. (串口"},  // 22
    {"Module Not Find", "模组没有连线", "模組沒有連線"},  // 23
    {"Set Module ID", "设定模组编号", "設定模組編號"},  // 24
    {"Set Module ID Ok", "设定模组编号完成", "設定模組編號完成"},  // 25
    {"Set Module ID Error", "设定模组编号错误", "設定模組編號錯誤"},  // 26
    {"Set Module No", "设定模组流水号", "設定模組流水號"},  // 27
    {"Set Module No Ok", "设定模组流水号完成", "設定模組流水號完成"},  // 28
    {"Set Module No Error", "设定模组流水号错误", "設定模組流水號錯誤"},  // 29
    {"Set Module BaudRate", "设定模组通讯速度", "設定模組通訊速度"},  // 30
    {"Set Module BaudRate Ok", "设定模组通讯速度完成", "設定模組通訊速度完成"},  // 31
    {"Set Module BaudRate Error", "设定模组通讯速度错误", "設定模組通訊速度錯誤"},  // 32
    {"Set Module Mode", "设定模组模式", "設定模組模式"},  // 33
    {"Set Module Mode Ok", "设定模组模式完成", "設定模組模式完成"},  // 34
    {"Set Module Mode Error", "设定模组模式错误", "設定模組模式錯誤"},  // 35
    {"Set Factory Default", "设定出厂预设值", "設定出廠預設值"},  // 36
    {"Set Factory Default Ok", "设定出厂预设值完成", "設定出廠預設值完成"},  // 37
    {"Set Factory Default Error", "设定出厂预设值错误", "設定出廠預設值錯誤"},  // 38
    {"Set Reader Key", "设定读卡机按键数", "設定讀卡機按鍵數"},  // 39
    {"Set Reader Key Ok", "设定读卡机按键数完成", "設定讀卡機按鍵數完成"},  // 40
    {"Set Reader Key Error", "设定读卡机按键数错误", "設定讀卡機按鍵數錯誤"},  // 41
    {"Set Factory Test", "设定出厂测试值", "設定出廠測試值"},  // 42
    {"Set Factory Test Ok", "设定出厂测试值完成", "設定出廠測試值完成"},  // 43
    {"Set Factory Test Error", "设定出厂测试值错误", "設定出廠測試值錯誤"},  // 44
};

constexpr const char* kLanguageNames[kLanguageCount] = {"English", "ChineseGB", "ChineseBIG5"};
constexpr CodePage kCodePages[kLanguageCount] = {CodePage::Ascii, CodePage::Gb2312, CodePage::Big5};

using EncodedTable = std::array<std::array<std::string, kLanguageCount>, kMessageCount>;

// The catalogue's state: the table, its use count and (as the global
// Language) the current language, all guarded by catalogueMutex.
std::mutex catalogueMutex;
std::unique_ptr<EncodedTable> table;
int useCount = 0;

bool ValidLanguage(int languageIndex) { return languageIndex >= 0 && languageIndex < kLanguageCount; }

const char* SourceText(const MessageSource& message, int languageIndex) {
  switch (languageIndex) {
    case 1:
      return message.simplified;
    case 2:
      return message.traditional;
    default:
      return message.english;
  }
}

std::unique_ptr<EncodedTable> EncodeTable() {
  auto encoded = std::make_unique<EncodedTable>();
  for (int number = 0; number < kMessageCount; ++number) {
    for (int language = 0; language < kLanguageCount; ++language) {
      (*encoded)[number][language] =
          EncodeFromUtf8(SourceText(kMessages[number], language), kCodePages[language]);
    }
  }
  return encoded;
}

}  // namespace

void FillCatalogue() {
  std::lock_guard<std::mutex> guard(catalogueMutex);
  if (useCount++ == 0) table = EncodeTable();
}

void ReleaseCatalogue() {
  std::lock_guard<std::mutex> guard(catalogueMutex);
  // A release without a matching fill is ignored rather than driving the
  // count below zero, so that a later fill still builds the table.
  if (useCount == 0) return;
  if (--useCount == 0) table.reset();
}

namespace {
// The text, with catalogueMutex held. The table's strings do not move while
// it is filled, so the reference outlives the lock for a caller that holds a
// fill.
const std::string& TextLocked(int number, int languageIndex) {
  // Callers pass constant numbers; an unfilled table or a number out of range
  // yields an empty text instead of reading outside the table.
  static const std::string empty;
  if (!table || number < 0 || number >= kMessageCount || !ValidLanguage(languageIndex)) return empty;
  return (*table)[number][languageIndex];
}
}  // namespace

const std::string& CatalogueText(int number, int languageIndex) {
  std::lock_guard<std::mutex> guard(catalogueMutex);
  return TextLocked(number, languageIndex);
}

const std::string& MessageText(int number) {
  std::lock_guard<std::mutex> guard(catalogueMutex);
  return TextLocked(number, Language.LanguageIndex);
}

void SelectLanguage(int languageIndex) {
  // The index only ever holds a language the catalogue has.
  if (!ValidLanguage(languageIndex)) return;
  std::lock_guard<std::mutex> guard(catalogueMutex);
  Language.LanguageIndex = languageIndex;
  Language.LanguageName = kLanguageNames[languageIndex];
}

void SetLanguageByName(const std::string& name) {
  int index = 0;
  for (int language = 1; language < kLanguageCount; ++language)
    if (name == kLanguageNames[language]) index = language;
  std::lock_guard<std::mutex> guard(catalogueMutex);
  // Unchanged fields are not written, so that reloading the same settings
  // never touches what the window's thread reads directly.
  if (Language.LanguageIndex != index) Language.LanguageIndex = index;
  if (Language.LanguageName != name) Language.LanguageName = name;
}

LanguageState CurrentLanguage() {
  std::lock_guard<std::mutex> guard(catalogueMutex);
  return Language;
}

const char* LanguageNameOf(int languageIndex) {
  return ValidLanguage(languageIndex) ? kLanguageNames[languageIndex] : kLanguageNames[0];
}

CodePage LanguageCodePage(int languageIndex) {
  return ValidLanguage(languageIndex) ? kCodePages[languageIndex] : CodePage::Ascii;
}

CodePage CurrentCodePage() {
  std::lock_guard<std::mutex> guard(catalogueMutex);
  return LanguageCodePage(Language.LanguageIndex);
}

}  // namespace catalogue
