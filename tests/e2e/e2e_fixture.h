// SPDX-License-Identifier: MIT
#pragma once
// End-to-end fixture: the real window on the offscreen platform, simulated
// modules on pseudo-terminals mapped to COM numbers through the settings
// file's port table, beeps recorded, a fresh settings folder per test.
//
// The port table names a symlink in the test's own folder, never the
// terminal's /dev/pts path: the kernel gives a freed terminal number to the
// next new terminal of any program, so a stopped module's /dev/pts path soon
// names another test's module (tests run in parallel). Opening it would take
// that module's line away from its own test, whose scan then finds its port
// held. The link disappears with its module, so a stopped module's port
// simply does not open.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue.h"
#include "codepage.h"
#include "connection.h"
#include "deadline.h"
#include "frames_received.h"
#include "held_back_line.h"
#include "main_window.h"
#include "settings_file.h"
#include "port_diagnosis.h"
#include "settings_store.h"
#include "sim_module.h"
#include "tone.h"

struct BeepRecord {
  unsigned hz;
  unsigned ms;
  bool operator==(const BeepRecord&) const = default;
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/rt420-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    configDir_ = pattern;
    setenv("XDG_CONFIG_HOME", configDir_.c_str(), 1);
    catalogue::FillCatalogue();
    tone::SetToneRecorder([this](unsigned hz, unsigned ms) { beeps.push_back({hz, ms}); });
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const auto& module : modules_) {
        for (const std::string& line : module->LogLines()) std::printf("  sim: %s\n", line.c_str());
        NoteHeldBackLine(*module, modules_.size() == 1);
      }
    }
    window_.reset();
    frmModule = nullptr;
    modules_.clear();
    tone::SetToneRecorder({});
    catalogue::ReleaseCatalogue();
    std::string cmd = "rm -rf '" + configDir_ + "'";
    [[maybe_unused]] int rc = system(cmd.c_str());
  }

  std::string SettingsPath() const { return configDir_ + "/TAVIX/Corvel.reg"; }

  // Starts a simulated module and maps COM<port> to it, through a link.
  sim::SimModule& AddModule(int port, sim::ModuleConfig config = {}) {
    auto module = std::make_unique<sim::SimModule>(config);
    EXPECT_TRUE(module->Start());
    std::filesystem::create_directories(configDir_ + "/dev");
    EXPECT_TRUE(module->LinkAt(PortPath(port))) << PortPath(port);
    ports_[port] = PortPath(port);
    sim::SimModule& ref = *module;
    modules_.push_back(std::move(module));
    return ref;
  }

  // The path the port table names for COM<port>.
  std::string PortPath(int port) const { return configDir_ + "/dev/COM" + std::to_string(port); }

  // Creates and shows the window (after the settings file is in place).
  TfrmModule& OpenWindow(const std::string& mainValues = "") {
    WriteSettingsFile(SettingsPath(), mainValues, ports_);
    window_ = std::make_unique<TfrmModule>();
    frmModule = window_.get();
    window_->show();
    QApplication::processEvents();
    return *window_;
  }

  TfrmModule& Window() { return *window_; }
  // The window's connection: its scan result, its flags, its link.
  commands::Connection& Conn() { return window_->WindowConnection(); }

  // The text a panel shows, as UTF-8.
  static std::string Shown(const TPanel* panel) { return panel->text().toStdString(); }
  std::string Message() const { return window_->pnMsg->text().toStdString(); }

  std::string ReadSettingsFile() const {
    std::ifstream in(SettingsPath().c_str());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Scans and expects the module to be found and read completely; when it
  // is not, the message says what each mapped port resolves to and why it
  // does not open, and what each module received and wrote when (a reply
  // written after the tool's window has closed shows there).
  void ScanOk() {
    Window().btnScan->click();
    ASSERT_TRUE(Conn().ModuleFound) << Message() << "\n" << ExplainPorts();
    beeps.clear();
  }

  // As ScanOk, for a test whose subject comes after the scan: a scan whose
  // replies missed their windows, on a machine loaded far beyond its means,
  // is made again (three scans at most).
  void ScanUntilFound() {
    constexpr int kScans = 3;
    for (int scan = 0; scan < kScans && !Conn().ModuleFound; ++scan) Window().btnScan->click();
    ASSERT_TRUE(Conn().ModuleFound) << Message() << "\n" << ExplainPorts();
    beeps.clear();
  }

  std::string ExplainPorts() const {
    std::string text;
    for (const auto& [port, path] : ports_) text += ExplainPort(port) + "\n";
    for (const auto& module : modules_) {
      text += "module at " + module->SlavePath() + ": " + std::to_string(module->Commands().size()) + " frames taken in";
      // No frame yet may mean a port that did not open, or a terminal that
      // holds the tool's bytes back under load: then they arrive later.
      if (FramesReceived(*module) == 0) {
        const bool late = module->WaitForLogLine(" <- ", kStragglerWait);
        text += late ? "; a frame arrived only after the scan had ended" : "; none arrived within a second after the scan";
      }
      text += "\n";
      const std::vector<std::string> log = module->LogLines();
      const size_t first = log.size() > kLogLinesShown ? log.size() - kLogLinesShown : 0;
      for (size_t i = first; i < log.size(); ++i) text += "  sim: " + log[i] + "\n";
    }
    return text;
  }

  // A module on COM1, the window open and a completed scan behind it; the
  // module's log and the recorded beeps start empty.
  sim::SimModule& ScannedModule(sim::ModuleConfig config = {}) {
    sim::SimModule& module = AddModule(1, config);
    OpenWindow();
    ScanOk();
    module.ClearCommands();
    return module;
  }

  // As ScannedModule, the scan made by ScanUntilFound.
  sim::SimModule& FoundModule(sim::ModuleConfig config = {}) {
    sim::SimModule& module = AddModule(1, config);
    OpenWindow();
    ScanUntilFound();
    module.ClearCommands();
    return module;
  }

  // The window after an operation: enabled, default cursor.
  void ExpectIdle() {
    EXPECT_TRUE(window_->IsWindowEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(window_->tmrBusy->isActive());
  }

  // Runs a click that blocks while it works (Wiegand processing), and from
  // inside its event processing calls action() once ready() holds. Gives up
  // after the deadline by calling action() anyway, and reports that.
  void ClickAndActWhen(QAbstractButton* button, std::function<bool()> ready, std::function<void()> action,
                       int deadlineMs = 10000) {
    QTimer watcher;
    serial::Deadline deadline{std::chrono::milliseconds(deadlineMs)};
    bool acted = false;
    bool timedOut = false;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (acted) return;
      if (ready() || deadline.Expired()) {
        timedOut = !ready();
        acted = true;
        action();
      }
    });
    watcher.start(5);
    button->click();
    watcher.stop();
    EXPECT_FALSE(timedOut) << "condition not reached before the deadline";
  }

  std::vector<BeepRecord> beeps;

 private:
  static constexpr size_t kLogLinesShown = 16;
  static constexpr std::chrono::milliseconds kStragglerWait{1000};

  std::string configDir_;
  std::map<int, std::string> ports_;
  std::vector<std::unique_ptr<sim::SimModule>> modules_;
  std::unique_ptr<TfrmModule> window_;
};

inline std::string Utf8(int message) { return catalogue::DecodeToUtf8(catalogue::MessageText(message), catalogue::CurrentCodePage()); }
