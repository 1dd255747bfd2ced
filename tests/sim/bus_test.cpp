// SPDX-License-Identifier: MIT
// The simulated bus on a real pseudo-terminal, driven through the tool's own
// link: what the tool receives under each line fault, and what the modules
// on the bus take in and carry out.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deadline.h"
#include "frames.h"
#include "line_model.h"
#include "port_names.h"
#include "serial_port.h"
#include "bus_module.h"
#include "sim_bus.h"
#include "sim_frames.h"
#include "sim_port.h"

namespace {

using std::chrono::milliseconds;

constexpr int kPort = 3;
// Only an upper bound for waits on conditions.
constexpr milliseconds kBusWait{5000};

// Module k of a test bus, its line setting before its mode.
sim::ModuleConfig Module(const std::string& id1, const std::string& id2, int k, int lineIndex = 5, char mode = '0') {
  return BusModule(id1, id2, k, mode, lineIndex);
}

std::string CommandFrame(const std::string& text) {
  uint8_t sum = serial::FrameChecksum(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
  return "\t" + text + serial::ByteToHex(sum) + "\r";
}

class BusLine : public ::testing::Test {
 protected:
  void TearDown() override {
    if (HasFailure() && bus) {
      for (const std::string& line : bus->LogLines()) std::printf("  bus: %s\n", line.c_str());
    }
    if (serial::PortIsOpen(link)) serial::ClosePort(link);
    serial::SetPortTable([](const std::string&) { return std::optional<std::string>(std::string()); });
    if (bus) bus->Stop();
  }

  void StartBus(std::vector<sim::ModuleConfig> modules, sim::LineFaults faults = {},
                const std::string& setting = "19200,e,8,1") {
    bus = std::make_unique<sim::SimBus>(std::move(modules), faults);
    ASSERT_TRUE(bus->Start());
    serial::SetPortTable(sim::SimPortTable(bus->SlavePath(), kPort));
    if (serial::PortIsOpen(link)) serial::ClosePort(link);
    ASSERT_TRUE(serial::OpenPort(link, kPort, setting));
  }

  // Writes one frame through the port and returns every byte the tool
  // receives for it: once the bus has read the frame and the line has
  // fallen quiet, as many bytes as the bus wrote, however late a loaded
  // machine delivers them.
  std::string Talk(const std::string& text) {
    serial::DiscardPortInput(link);
    const std::string frame = CommandFrame(text);
    const uint64_t fromTool = bus->BytesFromTool();
    const uint64_t toTool = bus->BytesToTool();
    serial::WritePortBlock(link, reinterpret_cast<const uint8_t*>(frame.data()), static_cast<int>(frame.size()));
    EXPECT_TRUE(bus->WaitForBytesFromTool(fromTool + frame.size(), kBusWait));
    EXPECT_TRUE(bus->WaitForQuietLine(kBusWait));
    return ReadBytes(bus->BytesToTool() - toTool);
  }

  // SendCommand, sent again only when a loaded machine held the frame or
  // the bus's whole reply back past the reply window: nothing received,
  // although the bus read the frame and wrote bytes for it.
  bool Exchange(const std::string& text) {
    const size_t frameBytes = text.size() + 4;
    for (int attempt = 0; attempt < 3; ++attempt) {
      const uint64_t heard = bus->BytesFromTool();
      const uint64_t written = bus->BytesToTool();
      if (serial::SendCommand(link, text)) return true;
      if (link.ReplyPos != 0 || !bus->WaitForBytesFromTool(heard + frameBytes, kBusWait) ||
          !bus->WaitForQuietLine(kBusWait) || bus->BytesToTool() == written) {
        return false;
      }
    }
    return false;
  }

  std::string ReadBytes(uint64_t count) {
    std::string received;
    serial::Deadline deadline(kBusWait);
    uint8_t byte;
    while (received.size() < count && !deadline.Expired()) {
      if (serial::ReadPortByte(link, byte)) received += static_cast<char>(byte);
    }
    return received;
  }

  // The module transmissions on the line, in order.
  std::vector<sim::LineRecord> Replies() const {
    std::vector<sim::LineRecord> replies;
    for (const sim::LineRecord& r : bus->Transmissions()) {
      if (r.driver == sim::LineRecord::Driver::Module) replies.push_back(r);
    }
    return replies;
  }

  std::unique_ptr<sim::SimBus> bus;
  serial::LinkState link{serial::PortScope::AnyPort()};
};

// One command on a bus, and what the tool receives for it.
struct FaultCase {
  const char* name;
  std::vector<sim::ModuleConfig> modules;
  sim::LineFaults faults;
  std::string command;
  enum class Expect { Exact, Garbled, Nothing } expect;
  std::string exact;         // Exact: the bytes
  std::vector<size_t> answering;  // the modules that answer
};

sim::LineFaults Echo() {
  sim::LineFaults f;
  f.echo = true;
  return f;
}

std::vector<FaultCase> FaultCases() {
  using E = FaultCase::Expect;
  const std::vector<sim::ModuleConfig> two{Module("01", "05", 0), Module("02", "06", 1)};
  const std::vector<sim::ModuleConfig> shared{Module("03", "05", 0), Module("03", "06", 1)};
  const std::vector<sim::ModuleConfig> otherSpeed{Module("01", "05", 0), Module("07", "08", 1, 2)};
  const std::vector<sim::ModuleConfig> oneReader{Module("01", "05", 0), Module("02", "06", 1, 5, '1')};
  return {
      {"PollReachesItsModuleAlone", two, {}, "H06F", E::Exact, sim::ReplyFrame("F06:0"), {1}},
      {"SharedReaderIdCollides", shared, {}, "H03F", E::Garbled, "", {0, 1}},
      {"AddressZeroOnABusOfTwoGarbles", two, {}, "H00M", E::Garbled, "", {0, 1}},
      {"SameReplyFromTwoStillGarbles", two, {}, "H00V", E::Garbled, "", {0, 1}},
      {"ModuleAtAnotherSpeedIsSilent", otherSpeed, {}, "H07F", E::Nothing, "", {}},
      {"AddressZeroAnsweredAtTheToolsSpeedOnly", otherSpeed, {}, "H00M", E::Exact,
       sim::ReplyFrame("M01:12345678"), {0}},
      {"SecondIdOfAOneReaderModuleIsSilent", oneReader, {}, "H06F", E::Nothing, "", {}},
      {"EchoComesFirstThenTheReply", two, Echo(), "H05F", E::Exact,
       CommandFrame("H05F") + sim::ReplyFrame("F05:0"), {0}},
      {"EchoAloneWhenNobodyAnswers", two, Echo(), "H09F", E::Exact, CommandFrame("H09F"), {}},
  };
}

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class BusFault : public BusLine, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(BusFault, TheToolReceivesWhatTheLineCarries) {
  const FaultCase& c = GetParam();
  StartBus(c.modules, c.faults);
  const std::string received = Talk(c.command);
  std::vector<size_t> answering;
  for (size_t k = 0; k < c.modules.size(); ++k) {
    if (!bus->Answers(k).empty()) answering.push_back(k);
  }
  EXPECT_EQ(answering, c.answering);
  switch (c.expect) {
    case FaultCase::Expect::Exact:
      EXPECT_EQ(received, c.exact);
      break;
    case FaultCase::Expect::Nothing:
      EXPECT_EQ(received, "");
      break;
    case FaultCase::Expect::Garbled: {
      EXPECT_FALSE(received.empty());
      for (size_t k : c.answering) EXPECT_NE(received, sim::ReplyFrame(bus->Answers(k).front())) << k;
      // Overlapping almost wholly: the second starts within a character.
      std::vector<sim::LineRecord> replies = Replies();
      ASSERT_EQ(replies.size(), 2u);
      const sim::LineTime stagger = sim::CharTime(sim::FramingOfLine(5)) * sim::kStaggerPercent / 100;
      EXPECT_EQ(replies[1].start - replies[0].start, std::chrono::nanoseconds(stagger));
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BusFault, ::testing::ValuesIn(FaultCases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// Through the tool's own exchange: a clean reply is accepted, a collision
// never is; configuration reaches the module whose serial field it names.
TEST_F(BusLine, ConfigurationReachesTheModuleItNames) {
  StartBus({Module("01", "05", 0), Module("01", "05", 1), Module("02", "06", 2, 2)});
  EXPECT_FALSE(Exchange("H01F")) << "two modules answer ID 01";
  EXPECT_EQ(link.GarbledExchanges, 1u) << "the link notes the garbled exchange";
  EXPECT_EQ(link.LastGarbledSetting, "19200,e,8,1");
  ASSERT_TRUE(Exchange("H00C1234567911"));  // module 1's first serial field: only it answers
  EXPECT_EQ(bus->State(1).id1, "11");
  EXPECT_EQ(bus->State(0).id1, "01");
  ASSERT_TRUE(Exchange("H11F"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 6), "F11:0");
  ASSERT_TRUE(Exchange("H01F")) << "ID 01 is module 0's alone now";
  EXPECT_EQ(link.GarbledExchanges, 1u) << "clean exchanges are not garbled";

  // Every module at the tool's speed carries out "H00E"; the third, at
  // another speed, hears nothing of it.
  const std::string received = Talk("H00E3");
  EXPECT_FALSE(received.empty());
  ASSERT_TRUE(bus->WaitForLogLine("m2 line setting now 3", kBusWait));
  EXPECT_EQ(bus->State(0).lineIndex, 3);
  EXPECT_EQ(bus->State(1).lineIndex, 3);
  EXPECT_EQ(bus->State(2).lineIndex, 2);
  EXPECT_TRUE(bus->Commands(2).empty());
  // The change came after the reply: both replies went out at 19200.
  for (const sim::LineRecord& r : Replies()) {
    if (r.bytes.find("E00:3") != std::string::npos) {
      EXPECT_EQ(r.lineIndex, 5);
    }
  }
  serial::ClosePort(link);
  ASSERT_TRUE(serial::OpenPort(link, kPort, "9600,n,8,1"));
  ASSERT_TRUE(Exchange("H02F"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 6), "F02:0");
}

// Noise damages what the tool receives at its rate, the same way for the
// same seed, and never when the rate is 0.
TEST_F(BusLine, NoiseDamagesRepliesRepeatablyForItsSeed) {
  auto damaged = [this](double rate, uint64_t seed) {
    sim::LineFaults faults;
    faults.bitErrorRate = rate;
    faults.seed = seed;
    StartBus({Module("01", "05", 0)}, faults);
    std::vector<bool> result;
    for (int i = 0; i < 24; ++i) result.push_back(Talk("H00M") != sim::ReplyFrame("M01:12345678"));
    TearDown();
    return result;
  };
  const std::vector<bool> clean = damaged(0, 3);
  EXPECT_EQ(std::count(clean.begin(), clean.end(), true), 0);
  const std::vector<bool> noisy = damaged(0.01, 3);
  // 16 characters of 11 samples at 1 %: about five replies in six damaged.
  EXPECT_GT(std::count(noisy.begin(), noisy.end(), true), 8);
  EXPECT_EQ(damaged(0.01, 3), noisy);
}

// Jitter delays each reply by its own amount within the bound, the same
// amounts for the same seed.
TEST_F(BusLine, JitterDelaysEachReplyWithinItsBound) {
  constexpr int kJitterMs = 20;
  auto delays = [this](uint64_t seed) {
    sim::LineFaults faults;
    faults.jitterMs = kJitterMs;
    faults.seed = seed;
    StartBus({Module("01", "05", 0)}, faults);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Talk("H01F"), sim::ReplyFrame("F01:0"));
    std::vector<std::chrono::nanoseconds> result;
    for (const sim::LineRecord& r : Replies()) result.push_back(r.afterFrame);
    TearDown();
    return result;
  };
  const std::vector<std::chrono::nanoseconds> first = delays(11);
  ASSERT_EQ(first.size(), 8u);
  for (std::chrono::nanoseconds d : first) {
    EXPECT_GE(d, std::chrono::microseconds(sim::kBusTurnaroundUs));
    EXPECT_LE(d, std::chrono::microseconds(sim::kBusTurnaroundUs) + milliseconds(kJitterMs));
  }
  EXPECT_NE(*std::min_element(first.begin(), first.end()), *std::max_element(first.begin(), first.end()));
  EXPECT_EQ(delays(11), first);
  EXPECT_NE(delays(12), first);
}

// Reads what the tool receives until the condition holds on it.
std::string ReadUntil(serial::LinkState& link, const std::function<bool(const std::string&)>& enough) {
  std::string received;
  serial::Deadline deadline(kBusWait);
  uint8_t byte;
  while (!enough(received) && !deadline.Expired()) {
    if (serial::ReadPortByte(link, byte)) received += static_cast<char>(byte);
  }
  return received;
}

// A foreign master's polls reach the tool, and so do the replies to them,
// which the tool never asked for.
TEST_F(BusLine, ForeignMasterPollsAreHeardAndAnswered) {
  sim::LineFaults faults;
  faults.foreignMasterMs = 30;
  StartBus({Module("01", "05", 0), Module("02", "06", 1, 5, '1')}, faults);
  const std::string expected = CommandFrame("H02F") + sim::ReplyFrame("F02:0");
  const std::string received =
      ReadUntil(link, [&](const std::string& r) { return r.find(expected) != std::string::npos; });
  EXPECT_NE(received.find(expected), std::string::npos) << sim::Printable(received);
  ASSERT_TRUE(bus->WaitForCommands(0, 2, kBusWait));
  EXPECT_EQ(bus->Commands(0)[0], "H01F");
  EXPECT_EQ(bus->Commands(0)[1], "H05F");
  EXPECT_EQ(bus->Commands(1)[0], "H01F") << "every module hears it";
}

// Stray bytes come while the line is idle and reach the tool as they were.
TEST_F(BusLine, StrayBytesArriveWhileTheLineIsIdle) {
  sim::LineFaults faults;
  faults.strayMs = 5;
  StartBus({Module("01", "05", 0)}, faults);
  const std::string received = ReadUntil(link, [](const std::string& r) { return r.size() >= 6; });
  ASSERT_GE(received.size(), 6u);
  std::string stray;
  for (const sim::LineRecord& r : bus->Transmissions()) {
    EXPECT_EQ(r.driver, sim::LineRecord::Driver::Stray);
    stray += r.bytes;
  }
  EXPECT_EQ(stray.substr(0, received.size()), received);
  EXPECT_TRUE(bus->Commands(0).empty()) << "stray bytes are not frames";
}

TEST(BusSettings, InvalidSettingsAreRefused) {
  sim::LineFaults ok;
  EXPECT_TRUE(sim::ValidLineFaults(ok));
  std::vector<sim::LineFaults> bad(6);
  bad[0].bitErrorRate = 1.5;
  bad[1].jitterMs = -1;
  bad[2].foreignMasterMs = 5;
  bad[3].foreignLineIndex = 12;
  bad[4].strayMs = -3;
  bad[5].foreignIds = {""};
  for (const sim::LineFaults& f : bad) EXPECT_FALSE(sim::ValidLineFaults(f));
  EXPECT_FALSE(sim::SimBus({}).Start());
  EXPECT_FALSE(sim::SimBus({Module("01", "05", 0)}, bad[0]).Start());
  sim::ModuleConfig invalid;
  invalid.lineIndex = 12;
  EXPECT_FALSE(sim::SimBus({invalid}).Start());
}

TEST(BusCards, CardsGoToTheReaderThatAnswersTheId) {
  sim::SimBus bus({Module("01", "05", 0), Module("02", "05", 1), Module("03", "07", 2, 5, '1')});
  EXPECT_EQ(bus.PresentCardAt("05", "A"), std::optional<size_t>(0)) << "the first in bus order";
  EXPECT_EQ(bus.PresentCardAt("03", "B"), std::optional<size_t>(2));
  EXPECT_EQ(bus.PresentCardAt("07", "C"), std::nullopt) << "a one-reader module's second ID";
  EXPECT_EQ(bus.PresentCardAt("09", "D"), std::nullopt);
  EXPECT_EQ(bus.AnsweringIds(), (std::vector<std::string>{"01", "05", "02", "03"}));
}

}  // namespace
