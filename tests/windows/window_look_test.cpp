// SPDX-License-Identifier: MIT
// The Win32 window's look at the screen's resolution: the pictures scale
// with the window and fit their buttons, and every text fits its control
// whole, in every language, measured in the font the control uses. CTest
// runs these at 96, 144 and 192 DPI (wine's LogPixels, with-dpi.sh).

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control_drawing.h"
#include "form_colours.h"
#include "messages.h"
#include "paint_resources.h"
#include "pictures_win32.h"
#include "window_fixture.h"

namespace {
using namespace form;
using namespace window_test;

constexpr int kDesignDpi = 96;

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

int AtDpi(int pixels) { return MulDiv(pixels, ScreenDpi(), kDesignDpi); }

SIZE Extent(HFONT font, const std::wstring& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size;
}

std::string Narrow(const std::wstring& text) {
  std::string utf8(text.size() * 4, '\0');
  utf8.resize(static_cast<size_t>(std::max(0, WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                                                  utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr))));
  return utf8;
}

SIZE ClientSize(HWND control) {
  RECT area{};
  GetClientRect(control, &area);
  return {area.right, area.bottom};
}

SIZE IconSize(HICON icon) {
  ICONINFO info{};
  BITMAP bitmap{};
  if (!icon || !GetIconInfo(icon, &info)) return {};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return {bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

class Win32WindowLook : public Win32Window {
 protected:
  HFONT FontOfControl(C control) { return reinterpret_cast<HFONT>(SendMessageW(Control(control), WM_GETFONT, 0, 0)); }
  SIZE TextExtent(C control, const std::wstring& text) { return Extent(FontOfControl(control), text); }
  // The picture a button shows, at the size it is drawn.
  SIZE PictureSize(C button) {
    if (const TextPicture* text = TextPictureOf(RowOf(button).picture))
      return Extent(FontOf(text->font), Wide(text->utf8));
    HIMAGELIST images = nullptr;
    BUTTON_IMAGELIST list{};
    if (SendMessageW(Control(button), BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list)) && list.himl) images = list.himl;
    if (images) {
      int width = 0, height = 0;
      ImageList_GetIconSize(images, &width, &height);
      return {width, height};
    }
    return IconSize(reinterpret_cast<HICON>(SendMessageW(Control(button), BM_GETIMAGE, IMAGE_ICON, 0)));
  }
  // What a control shows of its texts, and where it has room for them.
  void ExpectTextFits(C control, const std::wstring& text);
};

// Room for a text: the control less its frame and margins (3D edges,
// bevels, the list's button, the group box's corner, the picture beside a
// button's caption).
void Win32WindowLook::ExpectTextFits(C control, const std::wstring& text) {
  const ControlRow& row = RowOf(control);
  const SIZE size = ClientSize(Control(control));
  SIZE room = size;
  switch (row.kind) {
    case ControlKind::Panel: {
      // Where the window draws it: within the bevel, whole; beside the lamp,
      // not under it; in a smaller font only where its own would not fit.
      const PanelText layout = PanelTextLayout(Control(control), control, text);
      const SIZE drawn = Extent(layout.font, text);
      const int width = layout.area.right - layout.area.left;
      EXPECT_LE(drawn.cx, width) << row.name << ": \"" << Narrow(text) << "\"";
      EXPECT_LE(drawn.cy, layout.area.bottom - layout.area.top) << row.name;
      EXPECT_GE(layout.area.left, AtDpi(1));
      EXPECT_LE(layout.area.right, size.cx - AtDpi(1));
      if (control == C::pnMsg) {
        RECT lamp{};
        GetWindowRect(Control(C::shComm), &lamp);
        MapWindowPoints(nullptr, Control(C::pnMsg), reinterpret_cast<POINT*>(&lamp), 2);
        EXPECT_LE((layout.area.left + layout.area.right + drawn.cx) / 2, lamp.left) << Narrow(text);
      }
      if (layout.font != FontOfControl(control)) {
        EXPECT_GT(TextExtent(control, text).cx, width) << Narrow(text);
      }
      return;
    }
    case ControlKind::Button: {
      room.cx -= 2 * AtDpi(4);
      room.cy -= 2 * AtDpi(3);
      const SIZE picture = RowOf(control).picture == Picture::None || TextPictureOf(row.picture) ? SIZE{} : PictureSize(control);
      if (control == C::btnFactory) {
        room.cy -= picture.cy;
      } else if (picture.cx) {
        room.cx -= picture.cx + AtDpi(4);
      }
      break;
    }
    case ControlKind::GroupBox: room.cx -= AtDpi(16); break;
    case ControlKind::List: {
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      GetComboBoxInfo(Control(control), &info);
      room.cx = info.rcItem.right - info.rcItem.left - AtDpi(2);
      room.cy = info.rcItem.bottom - info.rcItem.top;
      break;
    }
    default: break;
  }
  const SIZE extent = TextExtent(control, text);
  if (control == C::btnFactory) {
    // Words wrap: each must fit across, two lines down.
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = std::min(text.find(L' ', start), text.size());
      EXPECT_LE(TextExtent(control, text.substr(start, end - start)).cx, room.cx) << row.name;
      start = end + 1;
    }
    EXPECT_LE(2 * extent.cy, room.cy) << row.name;
    return;
  }
  EXPECT_LE(extent.cx, room.cx) << row.name << ": \"" << Narrow(text) << "\"";
  EXPECT_LE(extent.cy, room.cy) << row.name;
}

TEST_F(Win32WindowLook, PicturesScaleWithTheWindowAndFitTheirButtons) {
  struct Case {
    C button;
    SIZE design;  // at 96 DPI
  };
  const Case cases[] = {{C::btnScan, {16, 16}},    {C::btnID, {16, 16}},      {C::btnBaudRate, {16, 16}},
                        {C::btnMode, {16, 16}},    {C::btnProcess, {32, 20}}, {C::btnFactory, {100, 50}},
                        {C::btnExit, {16, 16}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(RowOf(c.button).name);
    const SIZE picture = PictureSize(c.button);
    EXPECT_EQ(picture.cx, AtDpi(c.design.cx));
    EXPECT_EQ(picture.cy, AtDpi(c.design.cy));
    const SIZE button = ClientSize(Control(c.button));
    EXPECT_LE(picture.cx + 2 * AtDpi(4), button.cx);
    EXPECT_LE(picture.cy + 2 * AtDpi(3), button.cy);
  }
  for (C button : {C::btnGB, C::btnBIG5}) {
    SCOPED_TRACE(RowOf(button).name);
    const SIZE picture = PictureSize(button);
    const SIZE room = ClientSize(Control(button));
    EXPECT_GE(picture.cx, AtDpi(kGbPicture.font.pixelSize));  // drawn at the screen's size
    EXPECT_LE(picture.cx + 2 * AtDpi(3), room.cx);
    EXPECT_LE(picture.cy, room.cy - 2 * AtDpi(2));
  }
}

TEST_F(Win32WindowLook, EveryTextFitsItsControlInEveryLanguage) {
  // The status panel's texts: the outcomes and steps of the operations,
  // with the longest values they carry.
  struct Status {
    int message;
    const char* suffix;
  };
  const Status statuses[] = {
      {catalogue::kMsgStartScan, ""},        {catalogue::kMsgScanModule, " ...."},          {catalogue::kMsgScanCom, " : #16"},
      {catalogue::kMsgInfoOk, " : #16)"},    {catalogue::kMsgInfoError, " : #16)"},         {catalogue::kMsgNotFound, ""},
      {catalogue::kMsgSetId, " = 99"},       {catalogue::kMsgSetIdOk, ""},                  {catalogue::kMsgSetIdError, ""},
      {catalogue::kMsgSetBaudRate, " = 115200,e,8,1"}, {catalogue::kMsgSetBaudRateOk, ""}, {catalogue::kMsgSetBaudRateError, ""},
      {catalogue::kMsgSetModeOk, ""},        {catalogue::kMsgSetModeError, ""},             {catalogue::kMsgSetFactory, ""},
      {catalogue::kMsgSetFactoryOk, ""},     {catalogue::kMsgSetFactoryError, ""},          {catalogue::kMsgSetKey, ""},
      {catalogue::kMsgSetKeyOk, ""},         {catalogue::kMsgSetKeyError, ""},
  };
  for (C language : {C::btnEng, C::btnGB, C::btnBIG5}) {
    Click(language);
    const int index = catalogue::Language.LanguageIndex;
    SCOPED_TRACE(index);
    for (const ControlRow& row : FormControls()) {
      if (row.kind == ControlKind::List) {
        for (const char* item : ListItems(row.control)) ExpectTextFits(row.control, Expected(item, 0));
        continue;
      }
      const bool shown = row.kind == ControlKind::Panel || row.kind == ControlKind::Label ||
                         row.kind == ControlKind::Button || row.kind == ControlKind::GroupBox;
      if (shown) ExpectTextFits(row.control, Text(row.control));
    }
    for (const Status& status : statuses)
      ExpectTextFits(C::pnMsg, Expected(catalogue::CatalogueText(status.message, index) + status.suffix, index));
    ExpectTextFits(C::pnMsg, Expected(catalogue::CatalogueText(catalogue::kMsgOpenCom, index) + " : 16 " + catalogue::CatalogueText(catalogue::kMsgError, index), index));
    ExpectTextFits(C::btnProcess, Expected(catalogue::CatalogueText(catalogue::kMsgCancelProcess, index), index));
    // The tab of the Default page (as wide as its text) within the page
    // control.
    RECT tab{};
    TabCtrl_GetItemRect(Control(C::pcDefault), 0, &tab);
    EXPECT_LE(tab.right, ClientSize(Control(C::pcDefault)).cx);
  }
}

// A control's client area as the window draws it, row by row.
struct Drawn {
  SIZE size;
  std::vector<Rgb> pixels;
  Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * size.cx + x]; }
  // The pixels within inset pixels of the edges.
  std::vector<Rgb> Inside(int inset) const {
    std::vector<Rgb> inside;
    for (int y = inset; y < size.cy - inset; ++y)
      for (int x = inset; x < size.cx - inset; ++x) inside.push_back(At(x, y));
    return inside;
  }
};

Drawn DrawnControl(HWND control) {
  Drawn drawn{ClientSize(control), {}};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, drawn.size.cx, drawn.size.cy);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
  for (int y = 0; y < drawn.size.cy; ++y)
    for (int x = 0; x < drawn.size.cx; ++x) drawn.pixels.push_back(RgbOf(GetPixel(memory, x, y)));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return drawn;
}

TEST_F(Win32Window, TheStatusPanelFollowsTheSystemsColoursAndStaysReadable) {
  const int element = COLOR_ACTIVECAPTION;
  const COLORREF before = GetSysColor(element);
  // The title-bar colour of the default Windows 10/11 scheme: white text on
  // it would have 2.1:1.
  const COLORREF pale = RGB(153, 180, 209);
  ASSERT_TRUE(SetSysColors(1, &element, &pale));
  ServeUntil([&] { return ColourSchemeNow().activeCaption == RgbOf(pale); });
  const Rgb panel = DrawnControl(Control(C::pnMsg)).At(AtDpi(4), ClientSize(Control(C::pnMsg)).cy / 2);
  const Rgb lampCorner = DrawnControl(Control(C::shComm)).At(0, 0);
  SetSysColors(1, &element, &before);
  ServeUntil([&] { return ColourSchemeNow().activeCaption == RgbOf(before); });
  EXPECT_GE(ContrastRatio(kWhite, panel), 4.5);
  EXPECT_LT(ContrastRatio(panel, Rgb{}), ContrastRatio(RgbOf(pale), Rgb{}));  // darker
  EXPECT_EQ(lampCorner, panel) << "the lamp on the panel's colour";
}

TEST_F(Win32Window, TheLanguagePicturesShowInRedAndDimmedWhileDisabled) {
  auto reddish = [](Rgb p) { return p.r > p.g + 40 && p.r > p.b + 40; };
  auto deep = [](Rgb p) { return p.r > 150 && p.g < 30; };
  for (C button : {C::btnGB, C::btnBIG5}) {
    SCOPED_TRACE(RowOf(button).name);
    const std::vector<Rgb> enabled = DrawnControl(Control(button)).Inside(AtDpi(4));
    EnableWindow(Control(button), FALSE);
    const std::vector<Rgb> disabled = DrawnControl(Control(button)).Inside(AtDpi(4));
    EnableWindow(Control(button), TRUE);
    EXPECT_TRUE(std::any_of(enabled.begin(), enabled.end(), deep)) << "red characters";
    // Dimmed: still red characters (not a blank face), none of them deep
    // red or dark.
    EXPECT_GT(std::count_if(disabled.begin(), disabled.end(), reddish), AtDpi(20));
    EXPECT_FALSE(std::any_of(disabled.begin(), disabled.end(), deep));
    EXPECT_FALSE(std::any_of(disabled.begin(), disabled.end(), [](Rgb p) { return p.r + p.g + p.b < 150; }));
  }
}

}  // namespace
