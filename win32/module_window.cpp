// SPDX-License-Identifier: MIT
#include "module_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "application_window.h"
#include "catalogue.h"
#include "codepage.h"
#include "control_drawing.h"
#include "messages.h"
#include "paint_resources.h"
#include "pictures_win32.h"
#include "resource_ids.h"
#include "trace_view.h"
#include "window_class.h"

TfrmModule* frmModule = nullptr;

using namespace form;

namespace {
constexpr wchar_t kWindowClass[] = L"TfrmModule";
constexpr wchar_t kApplicationTitle[] = L"TAVIX RT-420 Module Config";
constexpr UINT_PTR kBlinkTimerId = 1;
constexpr int kFirstControlId = 100;
// The drop-down part of a list, below its selection field.
constexpr int kListDropHeight = 240;
// Without WS_CLIPCHILDREN: the group box draws only its frame and caption,
// and the window's background must show through the rest of it.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The messages of the mouse and the keyboard, client and frame.
constexpr std::pair<UINT, UINT> kInputMessages[] = {
    {WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST}, {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
// A bound on the input messages thrown away at once: the queue holds what
// arrived during one operation.
constexpr int kMostInputDropped = 10000;
// At 96 DPI: the room a list's field leaves around its text, and the
// smallest gap between two controls or a label and its text's end.
constexpr int kListTextMargin = 4;
constexpr int kSmallestGap = 3;

int IdOf(FormControl control) { return kFirstControlId + static_cast<int>(control); }

bool IsControlId(int id) { return id >= kFirstControlId && id < kFirstControlId + kFormControlCount; }

FormControl ControlOfId(int id) { return static_cast<FormControl>(id - kFirstControlId); }

bool IsInput(UINT message) {
  return std::any_of(std::begin(kInputMessages), std::end(kInputMessages),
                     [message](const auto& range) { return message >= range.first && message <= range.second; });
}

// Gives a push button the default look (a heavier frame) or takes it away;
// owner-drawn buttons draw their own.
void SetDefaultLook(HWND button, bool on) {
  if (!button) return;
  const LONG style = GetWindowLongW(button, GWL_STYLE);
  if ((style & BS_TYPEMASK) == BS_OWNERDRAW) return;
  const LONG type = on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  SendMessageW(button, BM_SETSTYLE, static_cast<WPARAM>((style & 0xFFFF & ~BS_TYPEMASK) | type), TRUE);
}

void RegisterClasses() {
  // The window procedure is replaced per window at creation.
  RegisterWindowClass(kWindowClass, DefWindowProcW, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                      LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(RT420_ICON_WINDOW)));
  RegisterLampClass();
}

// Where a control sits on its window: its place plus the places of its
// containers, except that a page's controls sit inside the page control's
// display area.
POINT OriginOf(const ControlRow& row, HWND pageControl) {
  POINT origin{0, 0};
  for (FormControl container = row.container; container != FormControl::frmModule;
       container = RowOf(container).container) {
    const ControlRow& outer = RowOf(container);
    if (outer.kind == ControlKind::Page) {
      RECT display{0, 0, Scaled(RowOf(FormControl::pcDefault).place.width),
                   Scaled(RowOf(FormControl::pcDefault).place.height)};
      if (pageControl) TabCtrl_AdjustRect(pageControl, FALSE, &display);
      origin.x += display.left;
      origin.y += display.top;
      continue;
    }
    origin.x += Scaled(outer.place.left);
    origin.y += Scaled(outer.place.top);
  }
  return origin;
}

// A button that the window draws itself: the language buttons, whose
// texts and pictures have colours of their own (the standard button draws
// its caption in the system's colour only).
bool DrawnByWindow(const ControlRow& row) {
  return row.kind == ControlKind::Button && (row.text.role == ColourRole::Fixed || TextPictureOf(row.picture));
}

struct Creation {
  const wchar_t* windowClass;
  DWORD style;
};

Creation CreationOf(const ControlRow& row) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  switch (row.kind) {
    case ControlKind::Panel: return {WC_STATICW, kChild | SS_OWNERDRAW | WS_CLIPCHILDREN};
    case ControlKind::Label: return {WC_STATICW, kChild | SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX};
    case ControlKind::Lamp: return {kLampClass, kChild};
    case ControlKind::Button:
      if (DrawnByWindow(row)) return {WC_BUTTONW, kChild | WS_TABSTOP | BS_OWNERDRAW};
      return {WC_BUTTONW, kChild | WS_TABSTOP | (row.control == FormControl::btnScan ? BS_DEFPUSHBUTTON : 0) |
                              (row.control == FormControl::btnFactory ? BS_MULTILINE : 0)};
    case ControlKind::CheckBox: return {WC_BUTTONW, kChild | WS_TABSTOP | BS_AUTOCHECKBOX};
    case ControlKind::ScrollBar: return {WC_SCROLLBARW, kChild | WS_TABSTOP | SBS_HORZ};
    case ControlKind::List: return {WC_COMBOBOXW, kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST};
    case ControlKind::GroupBox: return {WC_BUTTONW, kChild | BS_GROUPBOX | WS_CLIPSIBLINGS};
    case ControlKind::PageControl:
      return {WC_TABCONTROLW, kChild | WS_CLIPSIBLINGS | TCS_BUTTONS | TCS_FLATBUTTONS | TCS_MULTILINE};
    case ControlKind::Window:
    case ControlKind::Page:
    case ControlKind::Timer: break;
  }
  return {nullptr, 0};
}

void SetWideText(HWND control, const std::wstring& text) { SetWindowTextW(control, text.c_str()); }

// The page's caption is the tab's item text.
void SetTabText(HWND pageControl, const std::wstring& text) {
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  TabCtrl_SetItem(pageControl, 0, &item);
  // The tab takes the new text's width; what the old one covered is drawn
  // again too.
  InvalidateRect(pageControl, nullptr, TRUE);
}

std::wstring TabText(HWND pageControl) {
  wchar_t buffer[256] = {};
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  TabCtrl_GetItem(pageControl, 0, &item);
  return buffer;
}

HWND PageControlOf(const std::array<HWND, kFormControlCount>& controls) {
  return controls[static_cast<int>(FormControl::pcDefault)];
}
}  // namespace

TfrmModule::TfrmModule() : application_(std::make_unique<ApplicationWindow>(kApplicationTitle)) {
  RegisterClasses();
  RECT frame{0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  hwnd_ = CreateWindowExW(0, kWindowClass, kApplicationTitle, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          frame.right - frame.left, frame.bottom - frame.top, application_->Handle(), nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) throw std::runtime_error("The window could not be created.");
  application_->SetMainWindow(hwnd_);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfrmModule::WindowProc));
  controls_[static_cast<int>(FormControl::frmModule)] = hwnd_;
  SetWideText(hwnd_, DisplayText(LayoutCaption(FormControl::frmModule)));
  CreateControls();
  FormCreate();
}

TfrmModule::~TfrmModule() {
  frmTrace_.reset();
  if (hwnd_) {
    KillTimer(hwnd_, kBlinkTimerId);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  for (HICON icon : icons_) DestroyIcon(icon);
  for (HIMAGELIST list : imageLists_) ImageList_Destroy(list);
}

HWND TfrmModule::ApplicationHandle() const { return application_->Handle(); }

void TfrmModule::CreateControls() {
  for (const ControlRow& row : FormControls()) {
    if (row.control == FormControl::frmModule) continue;
    controls_[static_cast<int>(row.control)] = CreateControl(row);
  }
  // Tab goes through the controls in their z-order, which is the table's
  // reading order. The group box and the page control only frame the
  // factory button: at the bottom they take no click from it, and since they
  // clip their siblings they draw nothing over it.
  SetWindowPos(Control(FormControl::pcDefault), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(Control(FormControl::gbDefault), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  defaultLook_ = Control(FormControl::btnScan);
  FitLineSettingList();
}

// The line-setting list as wide as its longest item in the font it shows it
// in: the room it lacks comes from the gap to the lock box on its right
// (a little of it) and from its label on its left, whose text in every
// language keeps the width it needs.
void TfrmModule::FitLineSettingList() {
  HWND list = Control(FormControl::cmbBaudRate), label = Control(FormControl::lblBaudRate);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(list, &info)) return;
  HDC dc = GetDC(list);
  auto widthOf = [dc](HFONT font, const std::wstring& text) {
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    return static_cast<int>(size.cx);
  };
  int longestItem = 0, labelText = 0;
  for (const char* item : ListItems(FormControl::cmbBaudRate))
    longestItem = std::max(longestItem, widthOf(FontOf(RowOf(FormControl::cmbBaudRate).font), Wide(item)));
  for (int language = 0; language < catalogue::kLanguageCount; ++language) {
    const std::string caption = catalogue::CatalogueText(catalogue::kMsgBaudRate, language) + ":";
    labelText = std::max(labelText, widthOf(FontOf(RowOf(FormControl::lblBaudRate).font),
                                            Wide(catalogue::DecodeForDisplay(caption, catalogue::LanguageCodePage(language)))));
  }
  ReleaseDC(list, dc);
  int lacking = longestItem + Scaled(kListTextMargin) - (info.rcItem.right - info.rcItem.left);
  if (lacking <= 0) return;
  RECT listPlace{}, labelPlace{}, lockPlace{};
  for (auto [control, place] : {std::pair{list, &listPlace}, std::pair{label, &labelPlace},
                                std::pair{Control(FormControl::chkLock), &lockPlace}}) {
    GetWindowRect(control, place);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(place), 2);
  }
  const int gapRight = static_cast<int>(lockPlace.left - listPlace.right) - Scaled(kSmallestGap);
  const int right = std::clamp(gapRight, 0, lacking);
  lacking -= right;
  const int labelSlack = static_cast<int>(labelPlace.right - labelPlace.left) - labelText - Scaled(kSmallestGap);
  const int left = std::clamp(labelSlack, 0, lacking);
  MoveWindow(label, labelPlace.left, labelPlace.top, labelPlace.right - labelPlace.left - left,
             labelPlace.bottom - labelPlace.top, FALSE);
  MoveWindow(list, listPlace.left - left, listPlace.top, listPlace.right - listPlace.left + left + right,
             listPlace.bottom - listPlace.top, FALSE);
}

HWND TfrmModule::CreateControl(const ControlRow& row) {
  if (row.kind == ControlKind::Timer) return nullptr;
  if (row.kind == ControlKind::Page) {
    HWND pageControl = PageControlOf(controls_);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    std::wstring text = Wide(row.layoutText);
    item.pszText = text.data();
    TabCtrl_InsertItem(pageControl, 0, &item);
    captions_[static_cast<int>(row.control)] = row.layoutText;
    return pageControl;
  }
  const Creation creation = CreationOf(row);
  // The lamp lives on the status panel; everything else on the window, at
  // the place its containers give it.
  const bool onPanel = row.control == FormControl::shComm;
  HWND parent = onPanel ? Control(row.container) : hwnd_;
  const POINT origin = onPanel ? POINT{0, 0} : OriginOf(row, PageControlOf(controls_));
  const int height = Scaled(row.place.height) + (row.kind == ControlKind::List ? Scaled(kListDropHeight) : 0);
  HWND control = CreateWindowExW(0, creation.windowClass, L"", creation.style, origin.x + Scaled(row.place.left),
                                 origin.y + Scaled(row.place.top), Scaled(row.place.width), height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdOf(row.control))),
                                 GetModuleHandleW(nullptr), nullptr);
  if (!control) throw std::runtime_error(std::string("The control ") + row.name + " could not be created.");
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(row.font)), FALSE);
  captions_[static_cast<int>(row.control)] = LayoutCaption(row.control);
  SetWideText(control, DisplayText(LayoutCaption(row.control)));
  switch (row.kind) {
    case ControlKind::Lamp: SetWindowLongPtrW(control, GWLP_USERDATA, static_cast<LONG_PTR>(Ref(row.background.rgb)));
      break;
    case ControlKind::ScrollBar:
      SetScrollRange(control, SB_CTL, row.minimum, row.maximum, FALSE);
      SetScrollPos(control, SB_CTL, row.position, TRUE);
      break;
    case ControlKind::CheckBox:
      SendMessageW(control, BM_SETCHECK, row.position ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::List:
      controls_[static_cast<int>(row.control)] = control;
      FillList(row.control);
      break;
    case ControlKind::Button:
      SetPicture(control, row);
      if (DrawnByWindow(row)) FollowHover(control);
      break;
    default: break;
  }
  return control;
}

void TfrmModule::SetPicture(HWND button, const ControlRow& row) {
  HICON icon = row.picture == Picture::Close ? MakeClosePicture(Scaled(DesignSize(Picture::Close).cx),
                                                                 Ref(ColourSchemeNow().buttonText))
                                             : LoadPicture(row.picture);
  if (!icon) return;
  icons_.push_back(icon);
  // Beside the caption; the factory button's picture stands above it.
  if (row.control == FormControl::btnFactory) {
    const SIZE size{Scaled(DesignSize(row.picture).cx), Scaled(DesignSize(row.picture).cy)};
    HIMAGELIST list = ImageList_Create(size.cx, size.cy, ILC_COLOR32 | ILC_MASK, 1, 0);
    ImageList_AddIcon(list, icon);
    imageLists_.push_back(list);
    BUTTON_IMAGELIST images{};
    images.himl = list;
    images.uAlign = BUTTON_IMAGELIST_ALIGN_TOP;
    SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
    return;
  }
  SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

void TfrmModule::FollowColourScheme(bool forwardToControls) {
  ReadColourScheme();
  if (forwardToControls) {
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
  }
  // The close picture is drawn in the button text colour.
  HWND exit = Control(FormControl::btnExit);
  if (HICON icon = MakeClosePicture(Scaled(DesignSize(Picture::Close).cx), Ref(ColourSchemeNow().buttonText))) {
    auto old = reinterpret_cast<HICON>(SendMessageW(exit, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
    std::replace(icons_.begin(), icons_.end(), old, icon);
    if (old) DestroyIcon(old);
  }
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void TfrmModule::FillList(FormControl list) {
  for (const char* item : ListItems(list))
    SendMessageW(Control(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
}

// ---------------------------------------------------------------------------
// What the form's handlers ask of the toolkit.

int TfrmModule::BarPosition(FormControl bar) const { return GetScrollPos(Control(bar), SB_CTL); }

void TfrmModule::CloseWindow() { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }

std::optional<uint32_t> TfrmModule::ProcessClickTime() {
  // A click taken late from the queue still counts from when it was made.
  return static_cast<uint32_t>(GetMessageTime());
}

uint32_t TfrmModule::DoubleClickMs() const { return GetDoubleClickTime(); }

void TfrmModule::ShowHandlerException(const char* what) { ShowException(hwnd_, what); }

void TfrmModule::ShowException(HWND owner, const char* what) {
  MessageBoxW(owner, WideFromAnsi(what).c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

void TfrmModule::Show() {
  CentreOnDesktop();
  RECT place{};
  GetWindowRect(hwnd_, &place);
  application_->Show(place);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  // Only the first show applies the texts; restoring from the minimised
  // state does not touch them.
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
  UpdateWindow(hwnd_);
  SetFocus(hwnd_);
  FollowFocus();
}

void TfrmModule::CentreOnDesktop() {
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT frame{};
  GetWindowRect(hwnd_, &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void TfrmModule::OpenTraceView() {
  if (!frmTrace_) frmTrace_ = std::make_unique<TfrmTrace>(WindowConnection());
  frmTrace_->Show();
}

std::wstring TfrmModule::ShownText(FormControl control) const {
  if (control == FormControl::tsDefault) return TabText(Control(control));
  return WindowText(Control(control));
}

// ---------------------------------------------------------------------------
// Messages.

LRESULT CALLBACK TfrmModule::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<TfrmModule*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  LRESULT result = 0;
  window->RunHandler([&] { result = window->HandleMessage(message, wParam, lParam); });
  return result;
}

LRESULT TfrmModule::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_HSCROLL:
      OnScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kBlinkTimerId && blinking_) tmrBusyTimer();
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
      return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (!IsControlId(static_cast<int>(item.CtlID))) break;
      const FormControl control = ControlOfId(static_cast<int>(item.CtlID));
      if (item.CtlType == ODT_STATIC) DrawPanel(item, control);
      if (item.CtlType == ODT_BUTTON) DrawLanguageButton(item, control);
      return TRUE;
    }
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      FollowColourScheme(message == WM_SYSCOLORCHANGE);
      break;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETHIGHCONTRAST) FollowColourScheme(false);
      break;
    case WM_SETCURSOR:
      if (!hourglass_) break;
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      return TRUE;
    case DM_GETDEFID:
      // Enter presses the focused button, else btnScan.
      return MAKELRESULT(GetDlgCtrlID(DefaultButton()), DC_HASDEFID);
    case WM_ACTIVATE:
      // While the window is disabled it holds the focus itself; the control
      // that had it is remembered already.
      if (LOWORD(wParam) == WA_INACTIVE) {
        if (HWND focus = GetFocus(); OwnsWindow(focus) && IsWindowEnabled(hwnd_)) rememberedFocus_ = focus;
      } else if (IsWindowEnabled(hwnd_) && rememberedFocus_) {
        RestoreFocus();
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        // Minimised with the program's taskbar entry, which hides it.
        application_->Minimise();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The close box and Alt+F4 do nothing; btnExit closes the window.
      if (!CloseAllowed()) return 0;
      closed_ = true;
      ShowWindow(hwnd_, SW_HIDE);
      PostQuitMessage(0);
      return 0;
    default: break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void TfrmModule::OnCommand(int id, int code) {
  if (!IsControlId(id) || code != BN_CLICKED) return;
  const FormControl control = ControlOfId(id);
  if (RowOf(control).kind != ControlKind::Button) return;
  // A disabled button, or any button of a disabled window, takes no click.
  if (!IsWindowEnabled(hwnd_) || !IsWindowEnabled(Control(control))) return;
  Click(control);
}

void TfrmModule::OnScroll(HWND bar, int code) {
  const int id = GetDlgCtrlID(bar);
  if (!IsControlId(id)) return;
  const FormControl control = ControlOfId(id);
  const ControlRow& row = RowOf(control);
  if (row.kind != ControlKind::ScrollBar) return;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS | SIF_TRACKPOS;
  GetScrollInfo(bar, SB_CTL, &info);
  int position = info.nPos;
  switch (code) {
    case SB_LINELEFT: --position; break;
    case SB_LINERIGHT: ++position; break;
    case SB_PAGELEFT: position -= kScrollPageStep; break;
    case SB_PAGERIGHT: position += kScrollPageStep; break;
    case SB_LEFT: position = row.minimum; break;
    case SB_RIGHT: position = row.maximum; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: position = info.nTrackPos; break;
    default: return;
  }
  MoveBar(control, std::clamp(position, row.minimum, row.maximum));
}

void TfrmModule::MoveBar(FormControl bar, int position) {
  const ControlRow& row = RowOf(bar);
  HWND control = Control(bar);
  const int kept = std::clamp(position, row.minimum, row.maximum);
  if (GetScrollPos(control, SB_CTL) == kept) return;
  SetScrollPos(control, SB_CTL, kept, TRUE);
  // The handler runs only when the bar really moved to the position asked
  // for. One outside the range is clamped and runs none: the panel keeps
  // the text it was given (a module's ID 00 stays "00").
  if (kept == position) BarChanged(bar);
}

LRESULT TfrmModule::OnControlColour(HDC dc, HWND control) {
  int id = GetDlgCtrlID(control);
  // A list's drop-down and selection field report under the list itself.
  if (!IsControlId(id)) id = GetDlgCtrlID(GetParent(control));
  if (!IsControlId(id)) return reinterpret_cast<LRESULT>(BrushOf(GetSysColor(COLOR_BTNFACE)));
  const TextColours colours = ColoursOf(ControlOfId(id));
  SetTextColor(dc, Ref(colours.text));
  const COLORREF background = Ref(colours.background);
  SetBkColor(dc, background);
  return reinterpret_cast<LRESULT>(BrushOf(background));
}

// ---------------------------------------------------------------------------
// The view of the shared steps.

void TfrmModule::SetCaption(FormControl control, const std::string& bytes) {
  captions_[static_cast<int>(control)] = bytes;
  const std::wstring text = DisplayText(bytes);
  if (control == FormControl::tsDefault)
    SetTabText(Control(control), text);
  else
    SetWideText(Control(control), text);
}

void TfrmModule::SelectListItem(FormControl list, int index) {
  // An index outside the list selects nothing (CB_SETCURSEL with -1).
  const int count = static_cast<int>(SendMessageW(Control(list), CB_GETCOUNT, 0, 0));
  SendMessageW(Control(list), CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

void TfrmModule::RemoveCloseCommand() {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  if (!menu) return;
  const int count = GetMenuItemCount(menu);
  if (count > 0) DeleteMenu(menu, static_cast<UINT>(count - 1), MF_BYPOSITION);
  // Where the menu does not end with the close command, the command goes
  // by itself as well, so that the close box is off on every system.
  if (GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1)) DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
  DrawMenuBar(hwnd_);
}

void TfrmModule::SetBlinkTimer(bool running) {
  blinking_ = running;
  if (running)
    SetTimer(hwnd_, kBlinkTimerId, kBlinkMs, nullptr);
  else
    KillTimer(hwnd_, kBlinkTimerId);
}

void TfrmModule::SetWindowEnabled(bool enabled) {
  const bool wasEnabled = IsWindowEnabled(hwnd_);
  if (enabled == wasEnabled) return;
  if (enabled) {
    DiscardPendingInput();
    ::EnableWindow(hwnd_, TRUE);
    RestoreFocus();
  } else {
    KeepFocusOffControls();
    ::EnableWindow(hwnd_, FALSE);
  }
}

void TfrmModule::FillLamp(Rgb colour) {
  lamp_ = colour;
  HWND lamp = Control(FormControl::shComm);
  SetWindowLongPtrW(lamp, GWLP_USERDATA, static_cast<LONG_PTR>(RGB(colour.r, colour.g, colour.b)));
  InvalidateRect(lamp, nullptr, FALSE);
}

// ---------------------------------------------------------------------------
// Input.

bool TfrmModule::OwnsWindow(HWND window) const { return window && (window == hwnd_ || IsChild(hwnd_, window)); }

bool TfrmModule::DropsInput(const MSG& message) const {
  return IsInput(message.message) && !IsWindowEnabled(hwnd_) && OwnsWindow(message.hwnd);
}

// Throws away the input queued for the window; a quit request taken with it
// is posted again.
void TfrmModule::DiscardPendingInput() {
  MSG message;
  for (const auto& [first, last] : kInputMessages) {
    for (int i = 0; i < kMostInputDropped && PeekMessageW(&message, hwnd_, first, last, PM_REMOVE); ++i) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
    }
  }
}

void TfrmModule::KeepFocusOffControls() {
  HWND focus = GetFocus();
  if (!OwnsWindow(focus)) return;
  rememberedFocus_ = focus;
  // A disabled window does not stop a focused control from taking keys;
  // the window itself holds the focus until it is enabled again.
  if (focus != hwnd_) SetFocus(hwnd_);
}

void TfrmModule::RestoreFocus() {
  HWND wanted = rememberedFocus_;
  if (!wanted) return;
  // Another window is active: the focus comes back with the activation.
  if (GetActiveWindow() != hwnd_ && GetForegroundWindow() != hwnd_) return;
  rememberedFocus_ = nullptr;
  if (wanted != hwnd_ && !(IsWindow(wanted) && IsWindowEnabled(wanted) && IsWindowVisible(wanted)))
    wanted = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  SetFocus(wanted ? wanted : hwnd_);
  FollowFocus();
}

HWND TfrmModule::DefaultButton() const {
  HWND focus = GetFocus();
  const int id = focus && IsChild(hwnd_, focus) ? GetDlgCtrlID(focus) : 0;
  std::optional<FormControl> focused;
  if (IsControlId(id)) focused = ControlOfId(id);
  return Control(EnterButton(focused, focus && IsWindowEnabled(focus)));
}

void TfrmModule::FollowFocus() {
  HWND wanted = DefaultButton();
  if (wanted == defaultLook_) return;
  SetDefaultLook(defaultLook_, false);
  SetDefaultLook(wanted, true);
  defaultLook_ = wanted;
}

void TfrmModule::PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The main loop ends the program; leave the request for it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    DispatchThreadMessage(message);
  }
}

// ---------------------------------------------------------------------------
// The operator panel.

void TfrmModule::SetHourglass(bool on) {
  hourglass_ = on;
  SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

std::string TfrmModule::PanelCaption(FormControl panel) const { return Caption(panel); }

int TfrmModule::SelectedItem(FormControl list) const {
  return static_cast<int>(SendMessageW(Control(list), CB_GETCURSEL, 0, 0));
}

bool TfrmModule::BoxChecked(FormControl box) const {
  return SendMessageW(Control(box), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfrmModule::SetControlEnabled(FormControl control, bool enabled) {
  ::EnableWindow(Control(control), enabled ? TRUE : FALSE);
}

void TfrmModule::BeginProcessCaption(const std::string& bytes) {
  savedProcessCaption_ = Caption(FormControl::btnProcess);
  SetCaption(FormControl::btnProcess, bytes);
}

void TfrmModule::EndProcessCaption() { SetCaption(FormControl::btnProcess, savedProcessCaption_); }

// ---------------------------------------------------------------------------

namespace {
void Route(MSG& message) {
  if (frmModule && IsDialogMessageW(frmModule->Handle(), &message)) return;
  // Tab and the buttons' keys in the trace view as well.
  if (frmModule && frmModule->TraceView() && IsDialogMessageW(frmModule->TraceView()->Handle(), &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}
}  // namespace

void DispatchThreadMessage(MSG& message) {
  // Ctrl+T opens the trace view, also while an operation runs.
  if (frmModule && message.message == WM_KEYDOWN && message.wParam == 'T' && GetKeyState(VK_CONTROL) < 0 &&
      frmModule->OwnsWindow(message.hwnd)) {
    frmModule->OpenTraceView();
    return;
  }
  if (frmModule && frmModule->DropsInput(message)) return;
  Route(message);
  if (frmModule && !frmModule->Closed()) frmModule->FollowFocus();
}
