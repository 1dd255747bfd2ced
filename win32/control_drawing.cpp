// SPDX-License-Identifier: MIT
#include "control_drawing.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vsstyle.h>

#include <algorithm>

#include "paint_resources.h"
#include "pictures_win32.h"
#include "window_class.h"

using namespace form;

const wchar_t kLampClass[] = L"TShape";

namespace {
// At 96 DPI: the room a panel's bevel takes, the gap between the status
// text and the lamp, a button's edge, and the smallest size a panel's
// font shrinks to.
constexpr int kBevel = 2;
constexpr int kLampGap = 4;
constexpr int kButtonEdge = 3;
constexpr int kSmallestPixels = 8;
constexpr wchar_t kHotProperty[] = L"rt420.hot";
constexpr UINT_PTR kHoverSubclass = 1;

int TextWidth(HDC dc, HFONT font, const std::wstring& text) {
  const HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  return size.cx;
}

int ButtonState(UINT itemState, bool hot) {
  if (itemState & ODS_DISABLED) return PBS_DISABLED;
  if (itemState & ODS_SELECTED) return PBS_PRESSED;
  if (hot) return PBS_HOT;
  if (itemState & ODS_FOCUS) return PBS_DEFAULTED;
  return PBS_NORMAL;
}

// The button's face: the theme's push button where a theme is on, else the
// classic one.
void DrawButtonFace(const DRAWITEMSTRUCT& item, bool hot) {
  RECT area = item.rcItem;
  if (HTHEME theme = OpenThemeData(item.hwndItem, L"BUTTON")) {
    const int state = ButtonState(item.itemState, hot);
    if (IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state))
      DrawThemeParentBackground(item.hwndItem, item.hDC, &area);
    DrawThemeBackground(theme, item.hDC, BP_PUSHBUTTON, state, &area, nullptr);
    CloseThemeData(theme);
    return;
  }
  const bool pushed = item.itemState & ODS_SELECTED;
  DrawFrameControl(item.hDC, &area, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
}

LRESULT CALLBACK HoverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (!GetPropW(hwnd, kHotProperty)) {
        SetPropW(hwnd, kHotProperty, reinterpret_cast<HANDLE>(1));
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      break;
    case WM_MOUSELEAVE:
      RemovePropW(hwnd, kHotProperty);
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_NCDESTROY:
      RemovePropW(hwnd, kHotProperty);
      RemoveWindowSubclass(hwnd, HoverProc, kHoverSubclass);
      break;
    default: break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void PaintLamp(HWND hwnd, HDC dc) {
  RECT area;
  GetClientRect(hwnd, &area);
  // On the status panel's own colour: only the circle shows.
  FillRect(dc, &area, BrushOf(Ref(ColoursOf(FormControl::pnMsg).background)));
  const int side = std::min(area.right, area.bottom) - 1;
  const int left = (area.right - side) / 2, top = (area.bottom - side) / 2;
  const HGDIOBJ oldBrush = SelectObject(dc, BrushOf(static_cast<COLORREF>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))));
  const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  Ellipse(dc, left, top, left + side, top + side);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
}

LRESULT CALLBACK LampProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PRINTCLIENT: PaintLamp(hwnd, reinterpret_cast<HDC>(wParam)); return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      PaintLamp(hwnd, BeginPaint(hwnd, &paint));
      EndPaint(hwnd, &paint);
      return 0;
    }
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}
}  // namespace

PanelText PanelTextLayout(HWND panel, FormControl control, const std::wstring& text) {
  RECT area{};
  GetClientRect(panel, &area);
  InflateRect(&area, -Scaled(kBevel), 0);
  FontSpec font = RowOf(control).font;
  HDC dc = GetDC(panel);
  int width = TextWidth(dc, FontOf(font), text);
  if (control == FormControl::pnMsg) {
    // Centred on the panel, unless it would then run under the lamp: then
    // centred in the room left of it.
    RECT lamp{};
    GetWindowRect(GetWindow(panel, GW_CHILD), &lamp);  // the lamp, the panel's one child
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&lamp), 2);
    const int roomLeft = lamp.left - Scaled(kLampGap);
    if ((area.left + area.right + width) / 2 > roomLeft) area.right = roomLeft;
  }
  while (width > area.right - area.left && font.pixelSize > kSmallestPixels) {
    font.pixelSize -= 1;
    width = TextWidth(dc, FontOf(font), text);
  }
  ReleaseDC(panel, dc);
  return {area, FontOf(font)};
}

void DrawPanel(const DRAWITEMSTRUCT& item, FormControl control) {
  const TextColours colours = ColoursOf(control);
  RECT area = item.rcItem;
  FillRect(item.hDC, &area, BrushOf(Ref(colours.background)));
  DrawEdge(item.hDC, &area, control == FormControl::pnMsg ? BDR_SUNKENINNER : BDR_RAISEDINNER, BF_RECT);
  const std::wstring text = WindowText(item.hwndItem);
  if (text.empty()) return;
  PanelText layout = PanelTextLayout(item.hwndItem, control, text);
  const HGDIOBJ oldFont = SelectObject(item.hDC, layout.font);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, Ref(colours.text));
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &layout.area,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, oldFont);
}

void DrawLanguageButton(const DRAWITEMSTRUCT& item, FormControl control) {
  DrawButtonFace(item, GetPropW(item.hwndItem, kHotProperty) != nullptr);
  const ControlRow& row = RowOf(control);
  const ColourScheme& scheme = ColourSchemeNow();
  // "English" in its own colour, or the picture's characters in theirs.
  std::wstring text = WindowText(item.hwndItem);
  FontSpec font = row.font;
  Rgb colour = ColoursOf(control).text;
  if (const TextPicture* picture = TextPictureOf(row.picture)) {
    text = Wide(picture->utf8);
    font = picture->font;
    colour = PictureColour(*picture, scheme);
  }
  if (item.itemState & ODS_DISABLED) colour = DimmedColour(colour, scheme.buttonFace, scheme);
  RECT area = item.rcItem;
  if ((item.itemState & ODS_SELECTED) && !IsAppThemed()) OffsetRect(&area, 1, 1);
  const HGDIOBJ oldFont = SelectObject(item.hDC, FontOf(font));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, Ref(colour));
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &area,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, oldFont);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -Scaled(kButtonEdge), -Scaled(kButtonEdge));
    DrawFocusRect(item.hDC, &focus);
  }
}

void FollowHover(HWND button) { SetWindowSubclass(button, HoverProc, kHoverSubclass, 0); }

void RegisterLampClass() { RegisterWindowClass(kLampClass, LampProc); }
