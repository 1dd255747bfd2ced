// SPDX-License-Identifier: MIT
// rt420ctl ports as a process: a line for each of COM1 to COM16, from the
// port table and an empty fake device tree, with a port that opens, one that
// is missing and one that this test holds.
#include <unistd.h>

#include <filesystem>

#include "cli_fixture.h"
#include "serial_device.h"

namespace {
std::string LineOf(const std::vector<std::string>& lines, const std::string& port) {
  for (const std::string& line : lines)
    if (line.rfind(port + ":", 0) == 0) return line;
  return {};
}
}  // namespace

TEST_F(CliTest, PortsExplainsEachComNumber) {
  sim::SimModule& free = AddModule(3);
  sim::SimModule& held = AddModule(5);
  std::string missing = (Dir() / "gone" / "ttyUSB9").string();
  MapPort(4, missing);
  WriteSettings();
  serial::DeviceOpenResult holder = serial::OpenSerialDevice(held.SlavePath());
  ASSERT_NE(holder.device, nullptr);
  std::filesystem::create_directories(Dir() / "dev");
  std::filesystem::create_directories(Dir() / "sys");

  ChildResult r = Run({"ports", "--dev", (Dir() / "dev").string(), "--sys", (Dir() / "sys").string()});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  std::vector<std::string> lines = Lines(r.out);
  std::vector<std::string> ports;
  for (const std::string& line : lines)
    if (line.rfind("COM", 0) == 0) ports.push_back(line.substr(0, line.find(':')));
  std::vector<std::string> expected;
  for (int n = 1; n <= 16; ++n) expected.push_back("COM" + std::to_string(n));
  EXPECT_EQ(ports, expected) << r.out;

  std::string com3 = LineOf(lines, "COM3"), com4 = LineOf(lines, "COM4"), com5 = LineOf(lines, "COM5");
  EXPECT_TRUE(Contains(com3, free.SlavePath()) && Contains(com3, "opens")) << com3;
  EXPECT_TRUE(Contains(com4, missing) && Contains(com4, "missing")) << com4;
  EXPECT_TRUE(Contains(com5, "busy")) << com5;
  EXPECT_TRUE(Contains(com5, "PID " + std::to_string(getpid()))) << com5;
  // Looking sends nothing.
  EXPECT_TRUE(free.Commands().empty());

  ChildResult json = Run({"--json", "ports", "--dev", (Dir() / "dev").string(), "--sys", (Dir() / "sys").string()});
  EXPECT_EQ(json.exitCode, 0);
  ASSERT_EQ(Lines(json.out).size(), 1u) << json.out;
  EXPECT_TRUE(Contains(json.out, "\"port\":\"COM16\",\"number\":16")) << json.out;
  EXPECT_TRUE(Contains(json.out, "\"pid\":" + std::to_string(getpid()))) << json.out;
}
