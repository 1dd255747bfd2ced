// SPDX-License-Identifier: MIT
#pragma once
// The message catalogue: 45 messages in English, Simplified Chinese and
// Traditional Chinese, and the current language.
//
// Each text is handed out as the bytes of its language's code page (ASCII,
// GB2312, Big5). The table is kept as UTF-8 in the source and encoded once,
// when the catalogue is filled. Filling and releasing are use-counted: only
// the first fill builds the table, only the last release frees it.

#include <string>
#include <string_view>

#include "codepage.h"

inline constexpr int kMessageCount = 45;
inline constexpr int kLanguageCount = 3;

// The current language: index 0 English, 1 Simplified Chinese, 2 Traditional
// Chinese, and its name as stored in the settings ("English", "ChineseGB",
// "ChineseBIG5", or whatever text the store held).
struct LanguageState {
  int LanguageIndex = 0;
  std::string LanguageName;
};
extern LanguageState Language;

void FillCatalogue();
void ReleaseCatalogue();

// The text of message number (0 to 44) in the current language, as bytes of
// that language's code page. The catalogue must be filled.
const std::string& MessageText(int number);
// The same for a given language index (0 to 2).
const std::string& CatalogueText(int number, int languageIndex);

// Sets the language index and its name (steps 1 and 2 of a switch).
void SelectLanguage(int languageIndex);
// "English", "ChineseGB", "ChineseBIG5".
const char* LanguageNameOf(int languageIndex);
CodePage LanguageCodePage(int languageIndex);
// The code page of the current language.
CodePage CurrentCodePage();
