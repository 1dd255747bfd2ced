// SPDX-License-Identifier: MIT
// The count of failed opens: it moves with every open that fails, and only
// then, so that a caller can tell "could not open" from "did not answer".
#include "sim_line.h"

TEST_F(SimLine, OnlyAFailedOpenMovesTheFailureCount) {
  uint64_t before = serial::PortOpenFailureCount(link);
  ASSERT_TRUE(Open());
  serial::ClosePort(link);
  EXPECT_EQ(serial::PortOpenFailureCount(link), before);
  EXPECT_FALSE(serial::OpenPort(link, kPort + 1, "19200,e,8,1"));  // nothing behind it
  EXPECT_EQ(serial::PortOpenFailureCount(link), before + 1);
  {
    // Held by someone else: the exclusive open fails as well.
    serial::DeviceOpenResult holder = serial::OpenSerialDevice(module.SlavePath());
    ASSERT_NE(holder.device, nullptr);
    EXPECT_FALSE(Open());
    EXPECT_EQ(serial::PortOpenFailureCount(link), before + 2);
  }
  EXPECT_TRUE(Open());
  EXPECT_EQ(serial::PortOpenFailureCount(link), before + 2);
}
