// SPDX-License-Identifier: MIT
// The simulated module's answers, state and faults, seen through the tool's
// own link over a pseudo-terminal.

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim_line.h"

namespace {

using sim::FaultKind;

TEST_F(SimLine, IdentityRepliesCarryTheStateAtTheirPositions) {
  sim::ModuleConfig config;
  config.id1 = "12";
  config.id2 = "34";
  config.serial1 = "ABCDEFGH";
  config.serial2 = "IJKLMNOP";
  config.version = "04.01-07";
  config.keyCount = "09";
  config.mode = '1';
  config.rs485 = '2';
  ASSERT_TRUE(module.SetState(config));
  ASSERT_TRUE(Open());

  ASSERT_TRUE(Exchange("H00M"));
  EXPECT_EQ(link.ReplyPos, 16);
  EXPECT_EQ(serial::ReplyChars(link, 3, 4), "12");
  EXPECT_EQ(serial::ReplyChars(link, 6, 13), "ABCDEFGH");

  ASSERT_TRUE(Exchange("H00N"));
  EXPECT_EQ(link.ReplyPos, 16);
  EXPECT_EQ(serial::ReplyChars(link, 3, 4), "34");
  EXPECT_EQ(serial::ReplyChars(link, 6, 13), "IJKLMNOP");

  ASSERT_TRUE(Exchange("H00V"));
  EXPECT_EQ(link.ReplyPos, 16);
  EXPECT_EQ(serial::ReplyChars(link, 6, 13), "04.01-07");

  ASSERT_TRUE(Exchange("H00B"));
  EXPECT_EQ(link.ReplyPos, 16);

  ASSERT_TRUE(Exchange("H00L"));
  EXPECT_EQ(serial::ReplyChars(link, 6, 7), "09");

  ASSERT_TRUE(Exchange("H00A"));
  EXPECT_EQ(serial::ReplyChars(link, 6, 6), "1");
  EXPECT_EQ(serial::ReplyChars(link, 8, 8), "2");

  // Configuration commands go to address 00 only.
  EXPECT_FALSE(serial::SendCommand(link, "H12M"));
  EXPECT_FALSE(serial::SendCommand(link, "H00Q"));
  EXPECT_FALSE(serial::SendCommand(link, "H00M1"));
}

TEST_F(SimLine, WritesChangeTheStateAndComeBackInTheReply) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00L__"));
  EXPECT_EQ(serial::ReplyChars(link, 6, 7), "__");
  EXPECT_EQ(module.State().keyCount, "__");

  ASSERT_TRUE(Exchange("H00A102"));
  EXPECT_EQ(serial::ReplyChars(link, 6, 8), "102");
  EXPECT_EQ(module.State().mode, '1');
  EXPECT_EQ(module.State().rs485, '2');

  EXPECT_FALSE(serial::SendCommand(link, "H00A1x2"));
  EXPECT_FALSE(serial::SendCommand(link, "H00L123"));
  EXPECT_EQ(module.State().mode, '1');
  EXPECT_EQ(module.State().keyCount, "__");
}

TEST_F(SimLine, SetIdPicksTheChannelBySerialField) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H00C8765432107"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 7), "C00:07");
  EXPECT_EQ(module.State().id2, "07");
  EXPECT_EQ(module.State().id1, "01");

  ASSERT_TRUE(Exchange("H00C1234567842"));
  EXPECT_EQ(module.State().id1, "42");
  EXPECT_EQ(module.State().id2, "07");

  EXPECT_FALSE(serial::SendCommand(link, "H00C1111111199"));
  EXPECT_FALSE(serial::SendCommand(link, "H00C123456789"));
  EXPECT_EQ(module.State().id1, "42");
  EXPECT_EQ(module.State().id2, "07");

  // The new ID answers polls, the old one no longer does.
  EXPECT_TRUE(Exchange("H42F"));
  EXPECT_FALSE(serial::SendCommand(link, "H01F"));
}

TEST_F(SimLine, LineChangeTakesEffectAfterTheReply) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(AnsweredOnce("H00E2"));  // replied at the old speed (the log below shows it)
  ASSERT_TRUE(module.WaitForLogLine("line setting now 2", kWait));
  EXPECT_EQ(module.State().lineIndex, 2);
  std::vector<std::string> log = module.LogLines();
  auto indexOf = [&log](const std::string& fragment) {
    auto found = std::find_if(log.begin(), log.end(),
                              [&](const std::string& line) { return line.find(fragment) != std::string::npos; });
    return found - log.begin();
  };
  ptrdiff_t reply = indexOf("-> \\nE00:2");
  ptrdiff_t change = indexOf("line setting now 2");
  ASSERT_LT(reply, static_cast<ptrdiff_t>(log.size()));
  EXPECT_LT(reply, change) << "the line changes only after the reply went out";
  EXPECT_FALSE(serial::SendCommand(link, "H00M"));
  // The frame must be judged before the port changes speed below.
  EXPECT_TRUE(module.WaitForLogLine("ignored: line speed 19200, module at 9600", kWait));
  serial::ClosePort(link);

  ASSERT_TRUE(Open("9600,n,8,1"));
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_FALSE(serial::SendCommand(link, "H00EC"));
  EXPECT_FALSE(serial::SendCommand(link, "H00Eb"));
  EXPECT_EQ(module.State().lineIndex, 2);
  ASSERT_TRUE(AnsweredOnce("H00EB"));
  ASSERT_TRUE(module.WaitForLogLine("line setting now 11", kWait));
  serial::ClosePort(link);
  ASSERT_TRUE(Open("115200,e,8,1"));
  EXPECT_TRUE(Exchange("H00M"));
}

TEST_F(SimLine, PollsAnsweredForTheModulesOwnReaders) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(Exchange("H01F"));
  EXPECT_EQ(link.ReplyPos, 9);
  EXPECT_EQ(serial::ReplyChars(link, 2, 6), "F01:0");
  ASSERT_TRUE(Exchange("H05F"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 6), "F05:0");
  EXPECT_FALSE(serial::SendCommand(link, "H07F"));
  EXPECT_FALSE(serial::SendCommand(link, "H00F"));

  // One-reader mode: the second ID is not polled any more.
  ASSERT_TRUE(Exchange("H00A101"));
  EXPECT_FALSE(serial::SendCommand(link, "H05F"));
  EXPECT_TRUE(Exchange("H01F"));
}

TEST_F(SimLine, CardDataIsReturnedOnceToItsReader) {
  ASSERT_TRUE(module.PresentCard(1, "ABC123"));
  ASSERT_TRUE(module.PresentCard(1, "DEF"));
  ASSERT_TRUE(module.PresentCard(2, "XYZ"));
  ASSERT_TRUE(Open());

  ASSERT_TRUE(serial::SendCommand(link, "H05F"));
  EXPECT_EQ(serial::ReplyChars(link, 6, 6), "1");
  EXPECT_EQ(serial::ReplyChars(link, 7, link.ReplyPos - 3), "XYZ");

  ASSERT_TRUE(serial::SendCommand(link, "H01F"));
  EXPECT_EQ(link.ReplyPos, 15);
  EXPECT_EQ(serial::ReplyChars(link, 7, 12), "ABC123");
  ASSERT_TRUE(serial::SendCommand(link, "H01F"));
  EXPECT_EQ(serial::ReplyChars(link, 7, link.ReplyPos - 3), "DEF");
  ASSERT_TRUE(serial::SendCommand(link, "H01F"));
  EXPECT_EQ(link.ReplyPos, 9);
  EXPECT_EQ(serial::ReplyChars(link, 6, 6), "0");
  ASSERT_TRUE(serial::SendCommand(link, "H05F"));
  EXPECT_EQ(link.ReplyPos, 9);
}

TEST(SimCards, QueueIsBounded) {
  sim::SimModule module;
  for (size_t i = 0; i < sim::kMaxCardsWaiting; ++i) ASSERT_TRUE(module.PresentCard(2, "C" + std::to_string(i)));
  EXPECT_FALSE(module.PresentCard(2, "one too many"));
  EXPECT_TRUE(module.PresentCard(1, "other reader"));
  EXPECT_FALSE(module.PresentCard(3, "no such reader"));
  EXPECT_FALSE(module.PresentCard(1, std::string(sim::kMaxCardData + 1, 'D')));
}

TEST(SimState, InvalidSettingsAreRefused) {
  sim::SimModule module;
  sim::ModuleConfig config;
  config.lineIndex = 12;
  EXPECT_FALSE(module.SetState(config));
  config.lineIndex = 3;
  config.version = std::string(sim::kMaxFieldLength + 1, 'v');
  EXPECT_FALSE(module.SetState(config));
  EXPECT_EQ(module.State().lineIndex, 5);

  sim::SimModule invalid(config);
  EXPECT_FALSE(invalid.Start());
}

TEST_F(SimLine, DamagedFramesAreNotAnswered) {
  ASSERT_TRUE(Open());
  const std::string garbage = "noise\r\n";
  const std::string badChecksum = "\tH00M0D\r";
  const std::string overlong = "\tH00M" + std::string(400, '0') + "\r";
  const std::string cutShort = "\tH00";
  for (const std::string* bytes : {&garbage, &badChecksum, &overlong, &cutShort}) {
    serial::WritePortBlock(link, reinterpret_cast<const uint8_t*>(bytes->data()), static_cast<int>(bytes->size()));
  }
  // Had any of them been answered, that reply would come first.
  ASSERT_TRUE(Exchange("H00V"));
  EXPECT_EQ(serial::ReplyChars(link, 2, 5), "V00:");
  EXPECT_EQ(module.Commands().front(), "H00V");
  EXPECT_TRUE(module.WaitForLogLine("ignored: bad checksum, expected 0C", kWait));
  EXPECT_TRUE(module.WaitForLogLine("dropped: frame longer than", kWait));
  EXPECT_TRUE(module.WaitForLogLine("dropped: frame cut short", kWait));
}

TEST_F(SimLine, FaultsApplyToMatchingRepliesForTheirCount) {
  ASSERT_TRUE(Open());
  AddFault(FaultKind::NoReply, "H00V", 0, 2);
  AddFault(FaultKind::NoReply, "F", 0, 1);
  EXPECT_TRUE(Exchange("H00M"));
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  EXPECT_FALSE(serial::SendCommand(link, "H07F"));  // unanswered anyway: does not use the fault up
  EXPECT_FALSE(serial::SendCommand(link, "H00V"));
  EXPECT_TRUE(Exchange("H00V"));
  EXPECT_FALSE(serial::SendCommand(link, "H05F"));
  EXPECT_TRUE(Exchange("H01F"));

  // A lost reply still means the command was carried out.
  AddFault(FaultKind::NoReply, "H00L", 0, 1);
  size_t taken = module.Commands().size();
  EXPECT_FALSE(serial::SendCommand(link, "H00L07"));
  // On a busy machine the frame may reach the module after the window.
  ASSERT_TRUE(module.WaitForCommands(taken + 1, kWait));
  EXPECT_EQ(module.State().keyCount, "07");

  // A negative count lasts until the faults are cleared.
  AddFault(FaultKind::BadChecksum, "", 0, -1);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Exchange("H00M"));
  module.ClearFaults();
  EXPECT_TRUE(Exchange("H00M"));
}

TEST_F(SimLine, FaultsShapeTheReplyAsTold) {
  ASSERT_TRUE(Open());
  AddFault(FaultKind::LowerCaseChecksum, "H00B");
  EXPECT_FALSE(Exchange("H00B"));
  EXPECT_EQ(link.LastReply, "\nB00:123456787a\r");
  module.ClearFaults();

  AddFault(FaultKind::BadChecksum, "H00B");
  EXPECT_FALSE(Exchange("H00B"));
  EXPECT_EQ(link.ReplyPos, 16);
  EXPECT_EQ(link.LastReply.substr(0, 13), "\nB00:12345678");
  EXPECT_NE(link.LastReply, "\nB00:123456787A\r");
  module.ClearFaults();

  for (int length : {17, 15}) {
    AddFault(FaultKind::WrongLength, "H00M", length);
    EXPECT_TRUE(Exchange("H00M"));
    EXPECT_EQ(link.ReplyPos, length);
    module.ClearFaults();
  }
  AddFault(FaultKind::WrongLength, "H00M", 3);
  EXPECT_FALSE(Exchange("H00M"));
  EXPECT_EQ(link.LastReply, "\nM\r");
  module.ClearFaults();

  // Faults combine: a trickled, late-starting reply still arrives whole.
  AddFault(FaultKind::Trickle, "H00N", 2);
  AddFault(FaultKind::Delay, "H00N", 20);
  EXPECT_TRUE(Exchange("H00N"));
  EXPECT_EQ(serial::ReplyChars(link, 6, 13), "87654321");
}

// A slow module with an input buffer: three frames at once are answered in
// their order, the first N ms after it came in and each further one N ms
// after the one before was due.
TEST_F(SimLine, LateQueueAnswersInOrderEachReplyNMsAfterTheLast) {
  constexpr int kLateMs = 60;
  ASSERT_TRUE(Open());
  AddFault(FaultKind::LateQueue, "", kLateMs, -1);
  const std::string frames = "\tH00M0C\r\tH00V17\r\tH00L0D\r";
  serial::WritePortBlock(link, reinterpret_cast<const uint8_t*>(frames.data()), static_cast<int>(frames.size()));
  ASSERT_TRUE(module.WaitForReplies(3, kWait));

  std::vector<sim::LineChunk> replies;
  std::optional<std::chrono::steady_clock::time_point> firstFrameIn;
  for (const sim::LineChunk& chunk : module.LineChunks()) {
    if (chunk.direction == sim::LineChunk::Direction::ToTool) replies.push_back(chunk);
    if (chunk.direction == sim::LineChunk::Direction::FromTool && !firstFrameIn) firstFrameIn = chunk.at;
  }
  ASSERT_TRUE(firstFrameIn);
  ASSERT_EQ(replies.size(), 3u);
  const char* const texts[] = {"\nM01:", "\nV00:", "\nL00:"};
  for (size_t i = 0; i < replies.size(); ++i) {
    EXPECT_EQ(replies[i].bytes.substr(0, 5), texts[i]);
    EXPECT_GE(replies[i].at - *firstFrameIn, std::chrono::milliseconds(kLateMs * static_cast<int>(i + 1)))
        << "reply " << i << " did not wait for the ones before it";
  }
}

// A module that falls silent in the middle: the first replies go out, then
// every frame is ignored whole (a write is not carried out either) until the
// faults are cleared. Replies to other commands than the fault's do not
// count towards it.
struct FallSilentCase {
  const char* name;
  const char* command;  // the fault's command filter
  int count;            // replies before it falls silent
  std::vector<std::string> frames;
  size_t answered;      // how many of the frames are answered
};

void PrintTo(const FallSilentCase& c, std::ostream* out) { *out << c.name; }

class SimFallSilent : public SimLine, public ::testing::WithParamInterface<FallSilentCase> {};

TEST_P(SimFallSilent, AnswersItsCountThenNothingUntilCleared) {
  const FallSilentCase& c = GetParam();
  ASSERT_TRUE(Open());
  module.AddFault(sim::MakeFault(FaultKind::FallSilent, c.command, c.count));
  for (size_t i = 0; i < c.frames.size(); ++i) {
    const std::string& frame = c.frames[i];
    if (i < c.answered) {
      serial::SendCommand(link, frame);  // a busy line may deliver the reply late; the module's count says
      EXPECT_TRUE(module.WaitForReplies(i + 1, kWait)) << frame;
    } else {
      EXPECT_FALSE(serial::SendCommand(link, frame)) << frame;
      EXPECT_TRUE(module.WaitForLogLine("silent: " + frame + " not carried out", kWait)) << frame;
    }
  }
  EXPECT_TRUE(module.WaitForLogLine("fell silent", kWait));
  EXPECT_EQ(module.Timing().replies, c.answered);
  EXPECT_EQ(module.Commands().size(), c.answered);
  EXPECT_EQ(module.State().keyCount, "04") << "a write reached a silent module";

  module.ClearFaults();
  EXPECT_TRUE(Exchange("H00L07"));
  EXPECT_EQ(module.State().keyCount, "07");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimFallSilent,
    ::testing::Values(FallSilentCase{"AtOnce", "", 0, {"H00M", "H00L09"}, 0},
                      FallSilentCase{"AfterTwoReplies", "", 2, {"H00M", "H00V", "H00L09", "H00A"}, 2},
                      FallSilentCase{"AfterOneReplyToItsCommand", "H00V", 1, {"H00M", "H00V", "H00L09", "H00N"}, 2}),
    [](const ::testing::TestParamInfo<FallSilentCase>& info) { return std::string(info.param.name); });

// With echo on, the line hands every byte the tool writes back to it, before
// whatever the module answers, and also when the module does not answer.
struct EchoCase {
  const char* name;
  std::optional<sim::Fault> fault;
  std::string setting;    // the tool's line setting
  std::string afterEcho;  // what follows the echo
  std::string verdict;    // the module's log line once it has decided
};

void PrintTo(const EchoCase& c, std::ostream* out) { *out << c.name; }

class SimEcho : public SimLine, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(SimEcho, TheToolsBytesComeBackFirst) {
  const EchoCase& c = GetParam();
  module.SetEcho(true);
  if (c.fault) module.AddFault(*c.fault);
  ASSERT_TRUE(Open(c.setting));
  // The frame in the pieces and pauses of the tool's own writes.
  const std::string frame = "\tH00M0C\r";
  serial::WritePortByte(link, 0x09);
  serial::WritePortBlock(link, reinterpret_cast<const uint8_t*>("H00M"), 4);
  for (char byte : frame.substr(5)) serial::WritePortByte(link, static_cast<uint8_t>(byte));
  ASSERT_TRUE(module.WaitForLogLine(c.verdict, kWait));
  const std::string expected = frame + c.afterEcho;
  std::string received;
  serial::Deadline deadline(kWait);
  uint8_t byte;
  while (received.size() < expected.size() && !deadline.Expired()) {
    if (serial::ReadPortByte(link, byte)) received += static_cast<char>(byte);
  }
  while (serial::ReadPortByte(link, byte)) received += static_cast<char>(byte);  // nothing more is due
  EXPECT_EQ(received, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimEcho,
    ::testing::Values(
        EchoCase{"BeforeTheReply", std::nullopt, "19200,e,8,1", "\nM01:1234567874\r", "-> \\nM01"},
        EchoCase{"BeforeALateReply", sim::MakeFault(FaultKind::Delay, "H00M", 1, 40), "19200,e,8,1",
                 "\nM01:1234567874\r", "-> \\nM01"},
        EchoCase{"FromASilentModule", sim::MakeFault(FaultKind::FallSilent, "", 0), "19200,e,8,1", "",
                 "silent: H00M not carried out"},
        EchoCase{"AtAnotherSpeed", std::nullopt, "9600,e,8,1", "", "ignored: line speed 9600"}),
    [](const ::testing::TestParamInfo<EchoCase>& info) { return std::string(info.param.name); });

TEST(SimFaultText, ParsesKindCommandCountValue) {
  std::optional<sim::Fault> fault = sim::ParseFault("delay:H00M:2:250");
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->kind, FaultKind::Delay);
  EXPECT_EQ(fault->command, "H00M");
  EXPECT_EQ(fault->count, 2);
  EXPECT_EQ(fault->value, 250);

  fault = sim::ParseFault("late::-1:200");
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->kind, FaultKind::LateQueue);
  EXPECT_EQ(fault->count, -1);
  EXPECT_EQ(fault->value, 200);

  fault = sim::ParseFault("flood");
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->command, "");
  EXPECT_EQ(fault->count, 1);

  fault = sim::ParseFault("silent::3");
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->kind, FaultKind::FallSilent);
  EXPECT_EQ(fault->count, 3);

  fault = sim::ParseFault("endlessflood:H00B");
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->kind, FaultKind::EndlessFlood);
  EXPECT_EQ(fault->command, "H00B");

    fault = sim::ParseFault("hangup::-1");
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->count, -1);

  for (const char* bad : {"", "slow", "raw", "delay:H00M:x", "delay:H00M:1:", "delay:H00M:1:5:6"}) {
    EXPECT_FALSE(sim::ParseFault(bad)) << bad;
  }
}

}  // namespace
