// SPDX-License-Identifier: MIT
#pragma once
// A window on the offscreen platform over a settings file of its own: every
// test gets a fresh XDG_CONFIG_HOME whose port table maps COM1 to COM16 to
// nothing, so no test ever touches a real serial device. Beeps are recorded.

#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "main_window.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }


class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the settings file: `values` are lines of the program's key
  // ("\"LanguageFlag\"=\"ChineseGB\""), followed by the port table.
  void WriteSettings(const std::string& values);
  std::string ReadSettings() const;

  // A new window; shown unless asked otherwise. Owned by the fixture.
  TfrmModule& NewWindow(bool show = true);

  // Handles events until the condition holds or five seconds have passed.
  static bool WaitFor(const std::function<bool()>& condition);

  std::string folder_;
  std::vector<std::pair<unsigned, unsigned>> beeps_;
  std::vector<std::unique_ptr<TfrmModule>> windows_;
};
