// SPDX-License-Identifier: MIT
#pragma once
// Line faults the simulated module can be told to make, per command and for
// a number of replies, and how a reply is written out under them.
//
// A fault applies to replies only: a command the module does not answer
// (unknown command, foreign poll address, wrong line speed) neither shows it
// nor uses it up. The command is carried out in every case; a fault only
// damages or withholds the reply on the line (so "H00E" with NoReply still
// changes the line setting, and a poll with NoReply still takes the card).
// FallSilent alone is different: once it has struck, the module is dead to
// the line and carries out nothing at all until the faults are cleared.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class FaultKind {
  NoReply,            // no reply at all
  Delay,              // value: ms before the reply is written
  BadChecksum,        // the checksum characters do not match the text
  LowerCaseChecksum,  // hex letters of the checksum in lower case
  WrongLength,        // value: total length of a frame that is otherwise correct
  StrayByte,          // one 'X' written just before the reply
  Trickle,            // value: ms between the bytes of the reply
  Flood,              // 1500 bytes of 'Z' and no frame instead of the reply
  EndlessFlood,       // 'Z' bytes instead of the reply, for as long as the line
                      // takes them, until the next command or until the tool
                      // closes its port
  HangUp,             // first half of the reply, then the line hangs up
  RawReply,           // bytes: written instead of the reply, exactly as given
  LateQueue,          // value: ms; a slow module with an input buffer: each
                      // reply is due that long after its frame came in or
                      // after the queued reply before it was due, whichever
                      // is later, so replies keep the order of the frames
  FallSilent,         // count: replies that still go out (0 or less: none);
                      // after them the module takes in no command, carries
                      // out nothing and answers nothing, until cleared
};

struct Fault {
  FaultKind kind = FaultKind::NoReply;
  // Which replies: "" any; "F" any poll; otherwise matched against the first
  // four characters of the command text ("H00M", "H00A" also covers "H00A102").
  std::string command;
  // How many replies; a negative count means every reply until cleared.
  int count = 1;
  int value = 0;      // ms (Delay, Trickle, LateQueue) or total length (WrongLength)
  std::string bytes;  // RawReply
};

// A fault of a kind on the replies to command ("" any), for count replies.
Fault MakeFault(FaultKind kind, std::string command = "", int count = 1, int value = 0);

// "noreply", "delay", "badchecksum", "lowercase", "wronglength", "stray",
// "trickle", "flood", "endlessflood", "hangup", "raw", "late", "silent".
std::string FaultKindName(FaultKind kind);

// Parses KIND[:COMMAND[:COUNT[:VALUE]]], e.g. "delay:H00M:1:250",
// "flood::2", "late::-1:200" (every reply 200 ms late, queued) or
// "silent::3" (three more replies, then nothing). An empty COMMAND means any command. RawReply cannot be given
// this way (its bytes are not text). nullopt for anything malformed.
std::optional<Fault> ParseFault(std::string_view text);

// The faults that apply to one reply.
struct ReplyFaults {
  bool noReply = false;
  int delayMs = 0;
  bool badChecksum = false;
  bool lowerCase = false;
  std::optional<int> length;
  bool strayByte = false;
  std::optional<int> trickleMs;
  bool flood = false;
  bool endlessFlood = false;
  bool hangUp = false;
  std::optional<std::string> raw;
  std::optional<int> queuedLateMs;
  bool fallsSilent = false;  // this is the last reply before the module falls silent
  std::vector<std::string> names;  // for the log
};

// The active faults, in the order they were added.
class FaultList {
 public:
  // A count of 0 adds nothing, except that FallSilent with a count of 0 or
  // less makes the module silent at once.
  void Add(const Fault& fault);
  void Clear();  // also ends the silence
  bool Empty() const { return faults_.empty() && !silent_; }
  // The module has fallen silent: it must neither carry out nor answer
  // anything.
  bool Silent() const { return silent_; }
  // Takes the faults for the reply to this command: of each kind the first
  // matching fault applies and one of its count is used up. FallSilent
  // counts the reply down and does not change it.
  ReplyFaults Take(const std::string& command);

 private:
  std::vector<Fault> faults_;
  bool silent_ = false;
};

// How one reply goes out on the line.
struct ReplyPlan {
  struct Write {
    int afterMs;        // wait before this write, after the previous one
    std::string bytes;
  };
  std::vector<Write> writes;
  bool hangUpAfter = false;
  bool endlessFlood = false;  // no writes: the module floods the line instead
  // The first write waits for the reply before it as well: its wait counts
  // from the frame or from the last queued reply, whichever is later.
  bool queued = false;
  std::vector<std::string> notes;  // for the log
};

// Longest frame WrongLength will make.
constexpr int kMaxWrongLength = 8192;
constexpr int kFloodBytes = 1500;

// The writes for a reply text under the given faults. WrongLength(n) pads
// the text with '0' or cuts it so that the correct frame is n bytes long; a
// frame under 4 bytes has no room for a checksum, so n = 2 gives LF CR and
// n = 3 gives LF, the text's first byte, CR.
ReplyPlan PlanReply(const std::string& text, const ReplyFaults& faults);

}  // namespace sim
