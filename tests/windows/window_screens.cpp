// SPDX-License-Identifier: MIT
// Pictures of the Win32 window for the documentation: opens the window as
// the program does, presses a language button and Scan Module, lets the
// window settle and writes what the screen shows of it (frame included) to
// a 24-bit BMP file; with --processing, while Wiegand processing runs after
// the scan. Run under wine on an X server (scripts/screenshot-windows.sh).
//
//   win_window_screens.exe LANGUAGE FILE.bmp [--processing]    LANGUAGE: 0, 1 or 2

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue.h"
#include "connection.h"
#include "module_window.h"

namespace {
using namespace form;
constexpr DWORD kSettleMs = 1000;
constexpr FormControl kLanguageButtons[] = {FormControl::btnEng, FormControl::btnGB, FormControl::btnBIG5};

// Serves the window's messages for a while, waking only when one comes.
void Settle() {
  const DWORD start = GetTickCount();
  for (DWORD now = start; now - start < kSettleMs; now = GetTickCount()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kSettleMs - (now - start), QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchThreadMessage(message);
  }
}

bool WriteBmp(HWND window, const std::string& path) {
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  const DWORD imageBytes = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageBytes;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), imageBytes);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return copied && out.good();
}

// The picture taken while processing runs: a thread timer fires inside the
// processing loop, which serves the thread's messages, then ends it.
std::string processingFile;
bool processingShot = false;

void CALLBACK ShootProcessing(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  processingShot = WriteBmp(frmModule->Handle(), processingFile);
  frmModule->WindowConnection().Stop.Request();
}
}  // namespace

int main(int argc, char** argv) {
  const bool processing = argc == 4 && std::string(argv[3]) == "--processing";
  if ((argc != 3 && !processing) || std::string(argv[1]).size() != 1 || argv[1][0] < '0' || argv[1][0] > '2') {
    std::fprintf(stderr, "usage: win_window_screens LANGUAGE(0-2) FILE.bmp [--processing]\n");
    return 2;
  }
  catalogue::FillCatalogue();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES;
  InitCommonControlsEx(&controls);
  int status = 1;
  {
    TfrmModule window;
    frmModule = &window;
    window.Show();
    SendMessageW(window.Control(kLanguageButtons[argv[1][0] - '0']), BM_CLICK, 0, 0);
    SendMessageW(window.Control(FormControl::btnScan), BM_CLICK, 0, 0);
    SetForegroundWindow(window.Handle());
    Settle();
    if (processing) {
      processingFile = argv[2];
      SetTimer(nullptr, 0, kSettleMs, ShootProcessing);
      SendMessageW(window.Control(FormControl::btnProcess), BM_CLICK, 0, 0);
      status = processingShot ? 0 : 1;
    } else {
      status = WriteBmp(window.Handle(), argv[2]) ? 0 : 1;
    }
    frmModule = nullptr;
  }
  catalogue::ReleaseCatalogue();
  return status;
}
