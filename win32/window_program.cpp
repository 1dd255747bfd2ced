// SPDX-License-Identifier: MIT
#include "window_program.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "catalogue.h"
#include "deadline.h"
#include "desktop.h"
#include "module_window.h"
#include "rt420_version.h"

namespace {
const char* const kProgramName = "rt420config";
const char kUsage[] =
    "usage: rt420config [--help | --version]\n"
    "Opens the configuration window of the TAVIX RT-420 converter module.\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "Settings: the registry key Software\\TAVIX\\Corvel.\n";

void InitialiseControls() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES;
  InitCommonControlsEx(&controls);
}

void RunWindow() {
  TfrmModule window;
  frmModule = &window;
  struct Forget {
    ~Forget() { frmModule = nullptr; }
  } forget;
  window.Show();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchThreadMessage(message);
}
}  // namespace

int RunProgram(int argc, char** argv) {
  if (const std::optional<int> answered = AnswerInformationOption(argc, argv, kProgramName, kUsage)) return *answered;
  std::string why;
  if (!DesktopAvailable(why)) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, why.c_str());
    return 1;
  }
  // A minimised or hidden window would otherwise lose the raised timer
  // resolution, and every 1 ms wait of the link would take a whole tick.
  serial::OptOutOfTimerThrottling();
  catalogue::FillCatalogue();
  InitialiseControls();
  int result = 0;
  try {
    RunWindow();
  } catch (const std::exception& error) {
    TfrmModule::ShowException(nullptr, error.what());
    result = 1;
  } catch (...) {
    TfrmModule::ShowException(nullptr, "Unknown exception");
    result = 1;
  }
  catalogue::ReleaseCatalogue();
  return result;
}
