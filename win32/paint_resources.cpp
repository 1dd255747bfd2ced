// SPDX-License-Identifier: MIT
#include "paint_resources.h"

#include <map>
#include <utility>

#include "catalogue.h"
#include "codepage.h"

using namespace form;

namespace {
constexpr int kDesignDpi = 96;
// Families with Latin, GB2312 and Big5 glyphs, in order of preference; the
// dialog font when none is installed (the system then links fonts itself).
constexpr const wchar_t* kFamilies[] = {L"Microsoft YaHei", L"SimSun", L"NSimSun", L"WenQuanYi Zen Hei",
                                        L"WenQuanYi Micro Hei", L"Noto Sans CJK SC"};
constexpr const wchar_t* kFallbackFamily = L"MS Shell Dlg";

// The scheme as last read (ColourSchemeNow, ReadColourScheme).
ColourScheme scheme;

std::wstring FromCodePage(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), length);
  return text;
}

int CALLBACK FamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool Installed(HDC dc, const wchar_t* family) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, family, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &wanted, FamilyFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kDesignDpi;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}
}  // namespace

std::wstring Wide(const std::string& utf8) { return FromCodePage(utf8, CP_UTF8); }

std::wstring DisplayText(const std::string& bytes) {
  return Wide(catalogue::DecodeForDisplay(bytes, catalogue::CurrentCodePage()));
}

std::wstring WideFromAnsi(const std::string& bytes) { return FromCodePage(bytes, CP_ACP); }

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

COLORREF Ref(Rgb colour) { return RGB(colour.r, colour.g, colour.b); }

Rgb RgbOf(COLORREF colour) {
  return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

const ColourScheme& ColourSchemeNow() {
  static const bool read = (ReadColourScheme(), true);
  (void)read;
  return scheme;
}

void ReadColourScheme() {
  HIGHCONTRASTW highContrast{};
  highContrast.cbSize = sizeof highContrast;
  const bool on = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof highContrast, &highContrast, 0) &&
                  (highContrast.dwFlags & HCF_HIGHCONTRASTON);
  scheme = {RgbOf(GetSysColor(COLOR_BTNFACE)),       RgbOf(GetSysColor(COLOR_BTNTEXT)),
            RgbOf(GetSysColor(COLOR_HIGHLIGHT)),     RgbOf(GetSysColor(COLOR_HIGHLIGHTTEXT)),
            RgbOf(GetSysColor(COLOR_ACTIVECAPTION)), RgbOf(GetSysColor(COLOR_CAPTIONTEXT)),
            RgbOf(GetSysColor(COLOR_GRAYTEXT)),      on};
}

TextColours ColoursOf(FormControl control) { return ControlColours(control, ColourSchemeNow()); }

HBRUSH BrushOf(COLORREF colour) {
  static std::map<COLORREF, HBRUSH> brushes;
  auto [place, made] = brushes.try_emplace(colour, nullptr);
  if (made) place->second = CreateSolidBrush(colour);
  return place->second;
}

const std::wstring& UiFontFamily() {
  static const std::wstring family = [] {
    HDC screen = GetDC(nullptr);
    std::wstring chosen = kFallbackFamily;
    for (const wchar_t* candidate : kFamilies) {
      if (screen && Installed(screen, candidate)) {
        chosen = candidate;
        break;
      }
    }
    if (screen) ReleaseDC(nullptr, screen);
    return chosen;
  }();
  return family;
}

HFONT FontOf(const FontSpec& font) {
  static std::map<std::pair<int, bool>, HFONT> fonts;
  auto [place, made] = fonts.try_emplace({font.pixelSize, font.bold}, nullptr);
  if (made) {
    place->second = CreateFontW(-Scaled(font.pixelSize), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                                FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, UiFontFamily().c_str());
  }
  return place->second;
}

int Scaled(int pixels) {
  static const int dpi = ScreenDpi();
  return MulDiv(pixels, dpi, kDesignDpi);
}
