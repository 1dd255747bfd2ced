// SPDX-License-Identifier: MIT
// The catalogue's texts as bytes of their code pages, its use count and the
// current language.

#include "catalogue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    catalogue::FillCatalogue();
    catalogue::Language = catalogue::LanguageState{};
  }
  void TearDown() override {
    catalogue::ReleaseCatalogue();
    catalogue::Language = catalogue::LanguageState{};
  }
};

// Expected bytes, checked with the iconv command.
const std::string kGbId = "\xB1\xE0\xBA\xC5";       // 编号
const std::string kBig5Id = "\xBD\x73\xB8\xB9";     // 編號
const std::string kGbStartScan = "\xC7\xEB\xCF\xC8\xC9\xA8\xC3\xE8\xC4\xA3\xD7\xE9!";  // 请先扫描模组!
const std::string kBig5StartScan = "\xBD\xD0\xA5\xFD\xB1\xBD\xB4\x79\xBC\xD2\xB2\xD5!";  // 請先掃描模組!
// 读取模组资讯完成. (串口 and 讀取模組資訊完成. (串口
const std::string kGbInfoOk =
    "\xB6\xC1\xC8\xA1\xC4\xA3\xD7\xE9\xD7\xCA\xD1\xB6\xCD\xEA\xB3\xC9. (\xB4\xAE\xBF\xDA";
const std::string kBig5InfoOk =
    "\xC5\xAA\xA8\xFA\xBC\xD2\xB2\xD5\xB8\xEA\xB0\x54\xA7\xB9\xA6\xA8. (\xA6\xEA\xA4\x66";
// 設定讀卡機按鍵數錯誤
const std::string kBig5KeyError = "\xB3\x5D\xA9\x77\xC5\xAA\xA5\x64\xBE\xF7\xAB\xF6\xC1\xE4\xBC\xC6\xBF\xF9\xBB\x7E";

TEST_F(CatalogueTest, EveryTextIsPresentAndFullyEncoded) {
  for (int number = 0; number < catalogue::kMessageCount; ++number) {
    for (int language = 0; language < catalogue::kLanguageCount; ++language) {
      const std::string& text = catalogue::CatalogueText(number, language);
      SCOPED_TRACE("message " + std::to_string(number) + " language " + std::to_string(language));
      ASSERT_FALSE(text.empty());
      // No source text holds '?', so one here is a character the code page lacks.
      EXPECT_EQ(text.find('?'), std::string::npos);
      EXPECT_NE(text.back(), ' ');
      EXPECT_NE(text.front(), ' ');
      if (language == 0) {
        for (char c : text) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
      }
      // The bytes decode back without a single invalid sequence.
      std::string decoded = catalogue::DecodeToUtf8(text, catalogue::LanguageCodePage(language));
      EXPECT_EQ(decoded.find("\xEF\xBF\xBD"), std::string::npos);
    }
  }
}

TEST_F(CatalogueTest, TextsHaveTheirCodePageBytes) {
  EXPECT_EQ(catalogue::CatalogueText(4, 0), "ID");
  EXPECT_EQ(catalogue::CatalogueText(4, 1), kGbId);
  EXPECT_EQ(catalogue::CatalogueText(4, 2), kBig5Id);
  EXPECT_EQ(catalogue::CatalogueText(2, 0), "Start Scan Module!");
  EXPECT_EQ(catalogue::CatalogueText(2, 1), kGbStartScan);
  EXPECT_EQ(catalogue::CatalogueText(2, 2), kBig5StartScan);
  EXPECT_EQ(catalogue::CatalogueText(21, 0), "Get Module Info Ok. (COM");
  EXPECT_EQ(catalogue::CatalogueText(21, 1), kGbInfoOk);
  EXPECT_EQ(catalogue::CatalogueText(21, 2), kBig5InfoOk);
  EXPECT_EQ(catalogue::CatalogueText(41, 2), kBig5KeyError);
  EXPECT_EQ(catalogue::CatalogueText(1, 0), "TAVIX RT-420 Module Config V3.20-01");
  EXPECT_EQ(catalogue::DecodeToUtf8(catalogue::CatalogueText(1, 1), catalogue::CodePage::Gb2312),
            "TAVIX RT-420 转换模组设定程式 V3.20-01");
  EXPECT_EQ(catalogue::DecodeToUtf8(catalogue::CatalogueText(1, 2), catalogue::CodePage::Big5),
            "TAVIX RT-420 轉換模組設定程式 V3.20-01");
  EXPECT_EQ(catalogue::CatalogueText(44, 0), "Set Factory Test Error");
  // Message 0: company name, three blanks, web address.
  const std::string web = "   www.tavix.example";
  EXPECT_EQ(catalogue::CatalogueText(0, 0), "TAVIX Technology Co., Ltd." + web);
  EXPECT_EQ(catalogue::CatalogueText(0, 1),  // 塔维科技股份有限公司
            "\xCB\xFE\xCE\xAC\xBF\xC6\xBC\xBC\xB9\xC9\xB7\xDD\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE" + web);
  EXPECT_EQ(catalogue::CatalogueText(0, 2),  // 塔維科技股份有限公司
            "\xB6\xF0\xBA\xFB\xAC\xEC\xA7\xDE\xAA\xD1\xA5\xF7\xA6\xB3\xAD\xAD\xA4\xBD\xA5\x71" + web);
}

TEST_F(CatalogueTest, UseCountKeepsTheTableUntilTheLastRelease) {
  catalogue::FillCatalogue();
  catalogue::ReleaseCatalogue();
  EXPECT_EQ(catalogue::CatalogueText(4, 1), kGbId);  // one fill still stands
  catalogue::ReleaseCatalogue();
  EXPECT_TRUE(catalogue::CatalogueText(4, 1).empty());
  catalogue::ReleaseCatalogue();  // unmatched: ignored, the count stays at zero
  catalogue::FillCatalogue();
  EXPECT_EQ(catalogue::CatalogueText(4, 1), kGbId);
}

TEST_F(CatalogueTest, MessageTextFollowsTheLanguageAtTheCall) {
  EXPECT_EQ(catalogue::MessageText(4), "ID");
  catalogue::SelectLanguage(1);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB");
  EXPECT_EQ(catalogue::MessageText(4), kGbId);
  EXPECT_EQ(catalogue::CurrentCodePage(), catalogue::CodePage::Gb2312);
  catalogue::Language.LanguageIndex = 2;  // set directly, as the store does
  EXPECT_EQ(catalogue::MessageText(4), kBig5Id);
  EXPECT_EQ(catalogue::CurrentCodePage(), catalogue::CodePage::Big5);
  catalogue::SelectLanguage(0);
  EXPECT_EQ(catalogue::Language.LanguageName, "English");
  EXPECT_EQ(catalogue::MessageText(2), "Start Scan Module!");
  catalogue::SelectLanguage(2);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseBIG5");
  // An index the catalogue does not have is refused and changes nothing.
  catalogue::SelectLanguage(3);
  catalogue::SelectLanguage(-1);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 2);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseBIG5");
  EXPECT_TRUE(catalogue::CatalogueText(catalogue::kMessageCount, 0).empty());
  EXPECT_TRUE(catalogue::CatalogueText(0, catalogue::kLanguageCount).empty());
}

}  // namespace
