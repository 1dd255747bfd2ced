// SPDX-License-Identifier: MIT
// The display check before the application starts, and the tone.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "display.h"
#include "program.h"
#include "tone.h"

namespace {
// Sets or clears an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool Available(const char* platform, const char* display, const char* wayland, std::string* why = nullptr) {
  ScopedEnv p("QT_QPA_PLATFORM", platform), d("DISPLAY", display), w("WAYLAND_DISPLAY", wayland);
  std::string reason;
  const bool available = DisplayAvailable(reason);
  if (why) *why = reason;
  return available;
}
}  // namespace

TEST(DisplayCheck, WindowSystemsNeedADisplayOtherPlatformsDoNot) {
  std::string why;
  EXPECT_FALSE(Available(nullptr, nullptr, nullptr, &why));
  EXPECT_EQ(why, "no display available (DISPLAY is not set); start it from a desktop session or under Xvfb");
  EXPECT_FALSE(Available("xcb", "", nullptr));
  EXPECT_FALSE(Available("wayland-egl", nullptr, nullptr));
  EXPECT_FALSE(Available("wayland;xcb", nullptr, nullptr));
  EXPECT_TRUE(Available(nullptr, ":0", nullptr));
  EXPECT_TRUE(Available("xcb", ":99", nullptr));
  EXPECT_TRUE(Available("wayland", nullptr, "wayland-0"));
  EXPECT_TRUE(Available("offscreen", nullptr, nullptr));
  EXPECT_TRUE(Available("xcb;offscreen", nullptr, nullptr));
  EXPECT_TRUE(Available("vnc:size=800x600", nullptr, nullptr));
}

TEST(DisplayCheck, ProgramWithoutDisplaySaysSoInOneLineAndFails) {
  ScopedEnv p("QT_QPA_PLATFORM", nullptr), d("DISPLAY", nullptr), w("WAYLAND_DISPLAY", nullptr);
  char name[] = "rt420config";
  char* argv[] = {name, nullptr};
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunProgram(1, argv), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "rt420config: no display available (DISPLAY is not set); start it from a desktop session or under "
            "Xvfb\n");
}

// --version and --help answer without a display; what --version prints is
// the version at the end of the window's title, in every language.
TEST(ProgramOptions, VersionAndHelpNeedNoDisplayAndVersionMatchesTheTitle) {
  ScopedEnv p("QT_QPA_PLATFORM", nullptr), d("DISPLAY", nullptr), w("WAYLAND_DISPLAY", nullptr);
  char name[] = "rt420config", version[] = "--version", help[] = "--help";
  char* versionArgs[] = {name, version, nullptr};
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunProgram(2, versionArgs), 0);
  const std::string line = testing::internal::GetCapturedStdout();
  ASSERT_EQ(line.rfind("rt420config ", 0), 0u) << line;
  ASSERT_EQ(line.back(), '\n') << line;
  const std::string printed = line.substr(12, line.size() - 13);
  ASSERT_FALSE(printed.empty());
  catalogue::FillCatalogue();
  for (int language = 0; language < catalogue::kLanguageCount; ++language)
    EXPECT_TRUE(catalogue::CatalogueText(1, language).ends_with(" V" + printed)) << language << ": " << printed;
  catalogue::ReleaseCatalogue();

  char* helpArgs[] = {name, help, nullptr};
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunProgram(2, helpArgs), 0);
  const std::string usage = testing::internal::GetCapturedStdout();
  EXPECT_EQ(usage.rfind("usage: rt420config", 0), 0u) << usage;
  EXPECT_NE(usage.find("--version"), std::string::npos);
}

TEST(Tone, RecorderTakesTheBeepsUntilCleared) {
  std::vector<std::pair<unsigned, unsigned>> beeps;
  tone::SetToneRecorder([&beeps](unsigned hz, unsigned ms) { beeps.emplace_back(hz, ms); });
  tone::Beep(1000, 300);
  tone::Beep(300, 300);
  EXPECT_EQ(beeps, (std::vector<std::pair<unsigned, unsigned>>{{1000, 300}, {300, 300}}));

  tone::SetToneRecorder({});
  tone::Beep(0, 1);
  EXPECT_EQ(beeps.size(), 2u);
}

TEST(Tone, BeepLastsItsDurationWithOrWithoutASoundDevice) {
  tone::SetToneRecorder({});
  const auto start = std::chrono::steady_clock::now();
  // 0 Hz: silence on a real device, the same length either way.
  tone::Beep(0, 80);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(75));
}
