// SPDX-License-Identifier: MIT
#pragma once
// The message catalogue: 45 messages in English, Simplified Chinese and
// Traditional Chinese, and the current language.
//
// Each text is handed out as the bytes of its language's code page (ASCII,
// GB2312, Big5). The table is kept as UTF-8 in the source and encoded once,
// when the catalogue is filled. Filling and releasing are use-counted: only
// the first fill builds the table, only the last release frees it.
//
// Threads: FillCatalogue, ReleaseCatalogue, MessageText, CatalogueText,
// CurrentCodePage, CurrentLanguage and SetLanguageByName are safe to call from
// several threads at once. A text stays valid while its caller holds a fill.
// SelectLanguage is called before connections start (the window's switch,
// the tool's --language), never while other threads read texts. Language's
// fields are read and written directly only by the window's thread and by
// tests that run no other thread; every other reader goes through the calls.

#include <string>
#include <string_view>

#include "codepage.h"

namespace catalogue {

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
// Sets the language that a stored name selects: "ChineseGB" and
// "ChineseBIG5" select their language (exact, case-sensitive); any other
// text selects English but stays as the name. Both fields change together.
void SetLanguageByName(const std::string& name);
// A copy of the current language, both fields from the same moment.
LanguageState CurrentLanguage();
// "English", "ChineseGB", "ChineseBIG5".
const char* LanguageNameOf(int languageIndex);
CodePage LanguageCodePage(int languageIndex);
// The code page of the current language.
CodePage CurrentCodePage();

}  // namespace catalogue
