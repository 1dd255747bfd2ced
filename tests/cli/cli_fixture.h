// SPDX-License-Identifier: MIT
#pragma once
// Fixture: the real rt420ctl as a child process against simulated modules on
// pseudo-terminals, mapped to COM numbers through the port table of a real
// settings file in a fresh folder (XDG_CONFIG_HOME) per test. The test
// process points its own XDG_CONFIG_HOME there too, so that it reads and
// writes the same store as the program, as the window would.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "held_back_line.h"
#include "settings_file.h"
#include "settings_store.h"
#include "sim_module.h"

class CliTest : public ::testing::Test {
 protected:
  // Only a limit for a child that hangs; nothing waits this long otherwise.
  static constexpr std::chrono::milliseconds kLimit{120000};
  // The five frames of a scan that reads the module on its first "H00M".
  static inline const std::vector<std::string> kScanFrames = {"H00M", "H00V", "H00L", "H00A", "H00N"};
  // The main key's values that make the quick try find a module on COM3 at
  // the simulator's own line setting.
  static inline const std::string kStoredCom3 =
      "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRate\"=\"19200,e,8,1\"\n\"ScanBaudRateNo\"=dword:00000005\n";

  void SetUp() override {
    char pattern[] = "/tmp/rt420-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
  }

  void TearDown() override {
    if (HasFailure()) {
      for (auto& module : modules_) {
        for (const std::string& line : module->LogLines()) std::printf("  sim: %s\n", line.c_str());
        NoteHeldBackLine(*module, modules_.size() == 1);
      }
    }
    modules_.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  sim::SimModule& AddModule(int port, sim::ModuleConfig config = {}) {
    auto module = std::make_unique<sim::SimModule>(config);
    EXPECT_TRUE(module->Start());
    ports_[port] = module->SlavePath();
    modules_.push_back(std::move(module));
    return *modules_.back();
  }

  void MapPort(int port, const std::string& path) { ports_[port] = path; }

  // Writes the settings file: mainValues in the main key, the port table.
  void WriteSettings(const std::string& mainValues = "") { WriteSettingsFile(SettingsPath(), mainValues, ports_); }

  // A module on COM3 that the stored scan result names.
  sim::SimModule& StoredModule(sim::ModuleConfig config = {}) {
    sim::SimModule& module = AddModule(3, config);
    WriteSettings(kStoredCom3);
    return module;
  }

  std::filesystem::path SettingsPath() const { return dir_ / "config" / "TAVIX" / "Corvel.reg"; }
  std::filesystem::path Dir() const { return dir_; }

  std::map<std::string, std::string> Env() const { return {{"XDG_CONFIG_HOME", (dir_ / "config").string()}}; }

  // rt420ctl with --no-beep first (a tone only costs time here).
  std::vector<std::string> Arguments(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), "--no-beep");
    return arguments;
  }

  ChildResult Run(const std::vector<std::string>& arguments) {
    ChildProcess child(RT420CTL_PATH, Arguments(arguments), Env());
    ChildResult result = child.Finish(kLimit);
    EXPECT_FALSE(result.timedOut);
    return result;
  }

  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& arguments) {
    return std::make_unique<ChildProcess>(RT420CTL_PATH, Arguments(arguments), Env());
  }

  // What the store holds now, read as the window reads it at start.
  static store::ScanResult Stored() {
    store::ScanResult scan;
    store::LoadSettings(scan);
    return scan;
  }

  std::string WriteFile(const std::string& name, const std::string& text) const {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The commands after the first count that the module took in.
  static std::vector<std::string> After(const sim::SimModule& module, size_t count) {
    std::vector<std::string> all = module.Commands();
    if (all.size() < count) return {};
    return {all.begin() + static_cast<std::ptrdiff_t>(count), all.end()};
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // The records of a CSV text as a spreadsheet reads them (RFC 4180: quoted
  // cells, doubled quotes, line breaks inside quotes).
  static std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      std::string& cell = records.back().back();
      if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && c == ',') {
        records.back().emplace_back();
      } else if (!quoted && c == '\n') {
        records.emplace_back(1);
      } else {
        cell += c;
      }
    }
    if (records.back() == std::vector<std::string>(1)) records.pop_back();
    return records;
  }

  static bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

 private:
  std::filesystem::path dir_;
  std::map<int, std::string> ports_;
  std::vector<std::unique_ptr<sim::SimModule>> modules_;
};

// Joins a list for a readable failure message.
inline std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
  return text;
}
