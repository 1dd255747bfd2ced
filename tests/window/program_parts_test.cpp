// The display check before the application starts, and the tone.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

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

TEST(Tone, RecorderTakesTheBeepsUntilCleared) {
  std::vector<std::pair<unsigned, unsigned>> beeps;
  SetToneRecorder([&beeps](unsigned hz, unsigned ms) { beeps.emplace_back(hz, ms); });
  Beep(1000, 300);
  Beep(300, 300);
  EXPECT_EQ(beeps, (std::vector<std::pair<unsigned, unsigned>>{{1000, 300}, {300, 300}}));

  SetToneRecorder({});
  Beep(0, 1);
  EXPECT_EQ(beeps.size(), 2u);
}

TEST(Tone, BeepLastsItsDurationWithOrWithoutASoundDevice) {
  SetToneRecorder({});
  const auto start = std::chrono::steady_clock::now();
  // 0 Hz: silence on a real device, the same length either way.
  Beep(0, 80);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(75));
}
