// SPDX-License-Identifier: MIT
#include "window_fixture.h"

#include "settings_file.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "catalogue.h"
#include "codepage.h"
#include "settings_store.h"
#include "tone.h"

void WindowTest::SetUp() {
  char pattern[] = "/tmp/rt420-window-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  folder_ = pattern;
  setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  WriteSettings("");
  catalogue::FillCatalogue();
  catalogue::SelectLanguage(0);
  tone::SetToneRecorder([this](unsigned hz, unsigned ms) { beeps_.emplace_back(hz, ms); });
  QApplication::setQuitOnLastWindowClosed(false);
}

void WindowTest::TearDown() {
  windows_.clear();
  TfrmModule::ShowHourglass(false);
  tone::SetToneRecorder({});
  catalogue::ReleaseCatalogue();
  std::filesystem::remove_all(folder_);
}

void WindowTest::WriteSettings(const std::string& values) {
  WriteSettingsFile(folder_ + "/TAVIX/Corvel.reg", values);
}

std::string WindowTest::ReadSettings() const {
  std::ifstream file(store::SettingsLocation());
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TfrmModule& WindowTest::NewWindow(bool show) {
  windows_.push_back(std::make_unique<TfrmModule>());
  TfrmModule& window = *windows_.back();
  if (show) window.show();
  return window;
}

bool WindowTest::WaitFor(const std::function<bool()>& condition) {
  QDeadlineTimer deadline(5000);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}
