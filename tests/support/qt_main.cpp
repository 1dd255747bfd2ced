// SPDX-License-Identifier: MIT
// main() for tests that need a QApplication: the offscreen platform unless
// the environment names another, so no test ever uses the developer's screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
