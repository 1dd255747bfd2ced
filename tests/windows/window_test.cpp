// SPDX-License-Identifier: MIT
// The Win32 window under wine, in one process: the window is created as the
// program creates it, its buttons are pressed with BM_CLICK and its texts
// read back with GetWindowTextW, against the simulated module behind COM3.
// wine's null display driver (set in the test prefix) stands in for a screen.

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "deadline.h"
#include "form_steps.h"
#include "messages.h"
#include "paint_resources.h"
#include "settings_store.h"
#include "trace_view.h"
#include "window_fixture.h"

namespace {
using namespace form;
using namespace window_test;

TEST_F(Win32Window, FirstShowAppliesTheTextsAndTheCloseBoxIsRefused) {
  EXPECT_EQ(Text(C::pnMsg), Message(catalogue::kMsgStartScan));
  EXPECT_EQ(Text(C::lblID), Message(catalogue::kMsgId) + L" 1:");
  EXPECT_EQ(Text(C::tsDefault), Message(catalogue::kMsgDefault));
  EXPECT_EQ(Text(C::btnKey), L"Key Num");
  EXPECT_EQ(Text(C::pnID), L"__");
  RECT client{};
  GetClientRect(window->Handle(), &client);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(client.right, MulDiv(kClientWidth, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(kClientHeight, dpi, 96));
  EXPECT_EQ(GetMenuState(GetSystemMenu(window->Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_FALSE(GetWindowLongW(window->Handle(), GWL_STYLE) & WS_MAXIMIZEBOX);

  SendMessageW(window->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  SendMessageW(window->Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(window->Closed());
  EXPECT_TRUE(IsWindowVisible(window->Handle()));

  Click(C::btnExit);
  EXPECT_TRUE(window->Closed());
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(Win32Window, ScanFindsTheModuleAndStoresIt) {
  ForgetStoredValues();
  Reopen();
  // Enter with no button focused presses btnScan, the default button.
  MSG enter{};
  enter.hwnd = window->Handle();
  enter.message = WM_KEYDOWN;
  enter.wParam = VK_RETURN;
  DispatchThreadMessage(enter);
  ASSERT_TRUE(Conn().ModuleFound) << "pnMsg: " << window->Caption(C::pnMsg);
  EXPECT_EQ(Text(C::pnMsg).rfind(Message(catalogue::kMsgInfoOk), 0), 0u);
  EXPECT_EQ(window->LampColor(), kYellow);
  EXPECT_NE(Text(C::pnSerial), Message(catalogue::kMsgSerial) + L" : ________-_");
  EXPECT_NE(Text(C::pnID), L"__");
  EXPECT_FALSE(window->HourglassShown());
  EXPECT_TRUE(IsWindowEnabled(window->Handle()));
  store::ScanResult stored;
  store::LoadSettings(stored);
  EXPECT_EQ(stored.ScanCommNo, 3);
}

TEST_F(Win32Window, EachWritingOperationReportsSuccess) {
  ScanStoredPort();
  struct Case {
    C button;
    int okMessage;
  };
  const Case cases[] = {{C::btnID, catalogue::kMsgSetIdOk},
                        {C::btnBaudRate, catalogue::kMsgSetBaudRateOk},
                        {C::btnKey, catalogue::kMsgSetKeyOk},
                        {C::btnMode, catalogue::kMsgSetModeOk},
                        {C::btnFactory, catalogue::kMsgSetFactoryOk}};
  for (const Case& c : cases) {
    SCOPED_TRACE(RowOf(c.button).name);
    window->SetLamp(commands::LampColour::Red);
    const size_t received = log.Count(SimLog::kReceivedMark);
    ClickUntilYellow(c.button);
    EXPECT_EQ(Text(C::pnMsg), Message(c.okMessage));
    EXPECT_EQ(window->LampColor(), kYellow);
    EXPECT_GT(log.Count(SimLog::kReceivedMark), received);
    EXPECT_FALSE(window->HourglassShown());
    EXPECT_TRUE(IsWindowEnabled(window->Handle()));
  }
}

TEST_F(Win32Window, ProcessShowsCardDataUntilTheSecondPressAndIgnoresTheThird) {
  ScanStoredPort();
  bool pressed = false;
  std::wstring captionWhileRunning;
  bool exitLockedWhileRunning = false;
  // A loaded machine can hold a poll's reply back past its window, which
  // ends processing before the presses: then it runs again.
  for (int run = 0; run < kScanAttempts && !pressed; ++run) {
    serial::Deadline limit(kWait);
    TickWatcher watcher([&] {
      if (!Conn().Processing) return false;
      if (window->Caption(C::pnWie1).empty() && !limit.Expired()) return false;
      captionWhileRunning = Text(C::btnProcess);
      exitLockedWhileRunning = !IsWindowEnabled(window->Control(C::btnExit));
      // The double click: the first press stops, the second finds the stop
      // already requested and does nothing.
      Click(C::btnProcess);
      Click(C::btnProcess);
      pressed = true;
      return true;
    });
    Click(C::btnProcess);
  }
  ASSERT_TRUE(pressed);
  EXPECT_FALSE(Conn().Processing);
  EXPECT_EQ(window->Caption(C::pnWie1), "0012345678");
  EXPECT_EQ(captionWhileRunning, Message(catalogue::kMsgCancelProcess));
  EXPECT_TRUE(exitLockedWhileRunning);
  EXPECT_EQ(Text(C::btnProcess), Message(catalogue::kMsgProcess));
  EXPECT_TRUE(IsWindowEnabled(window->Control(C::btnExit)));
  EXPECT_FALSE(window->BlinkTimerRunning());
}

TEST_F(Win32Window, LanguageButtonsApplyAndStoreTheirLanguage) {
  struct Case {
    C button;
    int index;
    const char* stored;
  };
  for (const Case& c : {Case{C::btnGB, 1, "ChineseGB"}, Case{C::btnBIG5, 2, "ChineseBIG5"},
                        Case{C::btnEng, 0, "English"}}) {
    SCOPED_TRACE(c.stored);
    window->ShowMessage("outcome");
    Click(c.button);
    EXPECT_EQ(catalogue::Language.LanguageIndex, c.index);
    EXPECT_EQ(Text(C::frmModule), Expected(catalogue::CatalogueText(catalogue::kMsgTitle, c.index), c.index));
    EXPECT_EQ(Text(C::btnScan), Expected(catalogue::CatalogueText(catalogue::kMsgScanModule, c.index), c.index));
    EXPECT_EQ(Text(C::gbDefault), Expected(catalogue::CatalogueText(catalogue::kMsgQuickSetting, c.index), c.index));
    EXPECT_EQ(Text(C::pnMsg), Expected(catalogue::CatalogueText(catalogue::kMsgStartScan, c.index), c.index));
    EXPECT_EQ(Text(C::btnKey), L"Key Num");
    catalogue::SelectLanguage(0);
    store::ScanResult stored;
    store::LoadSettings(stored);
    EXPECT_EQ(catalogue::Language.LanguageName, c.stored);
    catalogue::SelectLanguage(c.index);
  }
}

TEST_F(Win32Window, AnExceptionInAHandlerIsShownAndTheWindowStays) {
  std::wstring shown;
  TickWatcher watcher([&] {
    HWND box = FindWindowW(L"#32770", L"TAVIX RT-420 Module Config");
    if (!box) return false;
    wchar_t text[256] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 256);
    shown = text;
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    return true;
  });
  window->RunHandler([] { throw std::runtime_error("the handler failed"); });
  EXPECT_EQ(shown, L"the handler failed");
  EXPECT_TRUE(IsWindow(window->Handle()));
  EXPECT_FALSE(window->Closed());
}

TEST_F(Win32Window, BarsMoveTheirPanelsOnlyOnRealChanges) {
  SendMessageW(window->Handle(), WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(window->Control(C::sbID)));
  EXPECT_EQ(Text(C::pnID), L"02");
  SendMessageW(window->Handle(), WM_HSCROLL, SB_PAGERIGHT, reinterpret_cast<LPARAM>(window->Control(C::sbKey)));
  EXPECT_EQ(Text(C::pnKey), L"14");
  window->SetIdText("xx");
  window->MoveIdBar(2);
  EXPECT_EQ(Text(C::pnID), L"xx");
  SendMessageW(window->Handle(), WM_HSCROLL, SB_RIGHT, reinterpret_cast<LPARAM>(window->Control(C::sbID2)));
  EXPECT_EQ(Text(C::pnID2), L"99");
}

TEST_F(Win32Window, AModuleWhoseIdIs00Shows00) {
  ScanStoredPort();
  const std::string id = window->Caption(C::pnID);
  window->SetIdText("00");
  ASSERT_TRUE(ClickUntilYellow(C::btnID));
  Reopen();
  ScanStoredPort();
  EXPECT_EQ(Text(C::pnID), L"00");
  EXPECT_EQ(GetScrollPos(Control(C::sbID), SB_CTL), 1);
  // The module's own ID again, for the tests after this one.
  window->SetIdText(id);
  EXPECT_TRUE(ClickUntilYellow(C::btnID));
}

TEST_F(Win32Window, CtrlTOpensTheTraceViewWhichListsTheFramesOfAScan) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  MSG key{};
  key.hwnd = window->Handle();
  key.message = WM_KEYDOWN;
  key.wParam = 'T';
  DispatchThreadMessage(key);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  ASSERT_NE(window->TraceView(), nullptr);
  EXPECT_TRUE(IsWindowVisible(window->TraceView()->Handle()));
  ScanStoredPort();
  window->TraceView()->Refresh();
  // At least one frame sent and its reply.
  EXPECT_GE(SendMessageW(window->TraceView()->List(), LB_GETCOUNT, 0, 0), 2);
}
TEST_F(Win32Window, TheTaskbarEntryCarriesTheApplicationsTitleAndMinimisesTheWindow) {
  HWND entry = window->ApplicationHandle();
  ASSERT_EQ(GetWindow(window->Handle(), GW_OWNER), entry);
  EXPECT_EQ(WindowText(entry), L"TAVIX RT-420 Module Config");
  EXPECT_EQ(Text(C::frmModule), Message(catalogue::kMsgTitle));
  EXPECT_TRUE(IsWindowVisible(entry));
  EXPECT_FALSE(GetWindowLongW(entry, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

  SendMessageW(window->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(entry));
  EXPECT_FALSE(IsWindowVisible(window->Handle()));
  SendMessageW(entry, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(entry));
  EXPECT_TRUE(IsWindowVisible(window->Handle()));
  // The entry cannot close the program.
  SendMessageW(entry, WM_SYSCOMMAND, SC_CLOSE, 0);
  SendMessageW(entry, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(entry));
  EXPECT_FALSE(window->Closed());
}

// Milliseconds since this program started, on the system's clock.
uint64_t MsSinceProgramStart() {
  FILETIME created{}, exited{}, kernel{}, user{}, now{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  auto value = [](const FILETIME& time) { return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; };
  return (value(now) - value(created)) / 10000;  // 100 ns units
}

std::vector<std::string> FileLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::ifstream file(path.c_str());
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

TEST_F(Win32Window, TheTraceViewSavesAndClearsFramesTimedFromTheProgramsStart) {
  window->OpenTraceView();
  TfrmTrace& trace = *window->TraceView();
  ScanStoredPort();
  trace.Refresh();
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"rt420-trace-test.txt";
  ASSERT_TRUE(trace.SaveTo(path));
  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), static_cast<size_t>(SendMessageW(trace.List(), LB_GETCOUNT, 0, 0)));
  ASSERT_GE(lines.size(), 2u);
  const uint64_t sinceStart = MsSinceProgramStart();
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    EXPECT_NE(line.find(" ms "), std::string::npos);
    EXPECT_LE(std::stoull(line), sinceStart);
  }

  // "Save...": the file dialog, answered with the file's name.
  DeleteFileW(path.c_str());
  TickWatcher answer([&] {
    HWND box = FindWindowW(L"#32770", L"Save frame trace");
    if (!box) return false;
    for (int name : {0x480, 0x47C}) SetDlgItemTextW(box, name, path.c_str());  // edt1 or cmb13
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return true;
  });
  SendMessageW(trace.SaveButton(), BM_CLICK, 0, 0);
  EXPECT_EQ(FileLines(path), lines);

  SendMessageW(trace.ClearButton(), BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(trace.List(), LB_GETCOUNT, 0, 0), 0);
  ASSERT_TRUE(trace.SaveTo(path));
  EXPECT_TRUE(FileLines(path).empty());
  DeleteFileW(path.c_str());
}
}  // namespace
