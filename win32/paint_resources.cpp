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
  return Wide(DecodeForDisplay(bytes, CurrentCodePage()));
}

std::wstring WideFromAnsi(const std::string& bytes) { return FromCodePage(bytes, CP_ACP); }

COLORREF ColourOf(const Colour& colour) {
  switch (colour.role) {
    case ColourRole::ButtonFace: return GetSysColor(COLOR_BTNFACE);
    case ColourRole::Highlight: return GetSysColor(COLOR_HIGHLIGHT);
    case ColourRole::ActiveCaption: return GetSysColor(COLOR_ACTIVECAPTION);
    case ColourRole::ButtonText: return GetSysColor(COLOR_BTNTEXT);
    case ColourRole::Fixed: break;
  }
  return RGB(colour.rgb.r, colour.rgb.g, colour.rgb.b);
}

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
