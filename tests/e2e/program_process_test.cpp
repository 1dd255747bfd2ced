// SPDX-License-Identifier: MIT
// The window program as a process, on Qt's VNC platform: the test is the
// operator's screen, keyboard and mouse (vnc_client.h).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "child_process.h"
#include "form_table.h"
#include "settings_home.h"
#include "vnc_client.h"

namespace {
using namespace std::chrono_literals;
constexpr int kScreenWidth = 1200, kScreenHeight = 900;
constexpr auto kLimit = 20s;
constexpr uint32_t kEmptyScreen = 0x000000;

// The point of a control's centre on the screen: the window is centred.
std::pair<int, int> CentreOnScreen(form::FormControl control) {
  const int left = (kScreenWidth - 1) / 2 - (form::kClientWidth - 1) / 2;
  const int top = (kScreenHeight - 1) / 2 - (form::kClientHeight - 1) / 2;
  const form::Place& place = form::RowOf(control).place;
  return {left + place.left + place.width / 2, top + place.top + place.height / 2};
}

// Reads the pixel until the condition holds or the limit passes.
bool ScreenShows(VncClient& screen, int x, int y, const std::function<bool(uint32_t)>& condition) {
  serial::Deadline deadline(kLimit);
  while (!deadline.Expired()) {
    const std::optional<uint32_t> colour = screen.Pixel(x, y, kLimit);
    if (!colour) return false;
    if (condition(*colour)) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}
}  // namespace

// Exit with the frame trace open ends the program: the trace window closes
// with the main window.
TEST(WindowProgram, ExitEndsTheProgramWithTheFrameTraceOpen) {
  SettingsHome home("rt420-exit");
  const int port = VncClient::FreePort();
  ASSERT_NE(port, 0);
  const std::string platform =
      "vnc:size=" + std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + ":port=" + std::to_string(port);
  // In the sanitizer build, what the VNC platform itself never frees is no
  // finding of the program's.
  ChildProcess program(RT420CONFIG_PATH, {},
                       {{"QT_QPA_PLATFORM", platform}, {"LSAN_OPTIONS", "suppressions=" RT420_VNC_LEAKS}});
  VncClient screen;
  ASSERT_TRUE(screen.Connect(port, kLimit));

  const auto [centreX, centreY] = CentreOnScreen(form::FormControl::pnWie1);
  ASSERT_TRUE(ScreenShows(screen, centreX, centreY, [](uint32_t c) { return c != kEmptyScreen; }))
      << "the window never showed";
  // The trace opens at the screen's top left corner, where nothing was.
  ASSERT_EQ(screen.Pixel(10, 10, kLimit), kEmptyScreen);
  ASSERT_TRUE(screen.ControlKey('t'));
  ASSERT_TRUE(ScreenShows(screen, 10, 10, [](uint32_t c) { return c != kEmptyScreen; })) << "no trace window";

  const auto [exitX, exitY] = CentreOnScreen(form::FormControl::btnExit);
  ASSERT_TRUE(screen.Click(exitX, exitY));
  const ChildResult result = program.Finish(kLimit);
  EXPECT_FALSE(result.timedOut) << "the program still ran";
  EXPECT_EQ(result.exitCode, 0) << result.err;
}
