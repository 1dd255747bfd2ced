// SPDX-License-Identifier: MIT
#pragma once
// What the module does with a command text: its state, the reply text it
// gives (if any) and the changes it makes. No I/O and no timing here; the
// line side (sim_module.h) frames the replies and writes them out.
//
// Commands (configuration commands use address "00" whatever the IDs are):
//   "H00M"            -> "M" ID1 ":" serial1             (reply length 16)
//   "H00N"            -> "N" ID2 ":" serial2             (reply length 16)
//   "H00V"            -> "V00:" version                  (reply length 16)
//   "H00L"            -> "L00:" key count
//   "H00L" + 2 chars  -> stores them as the key count, replies as "H00L"
//   "H00A"            -> "A00:" mode "0" rs485
//   "H00A" + 3 digits -> mode = 1st digit, RS-485 = 3rd digit, replies as "H00A"
//   "H00B"            -> "B00:" serial1                  (reply length 16)
//   "H00C" + serial field (8) + ID (2)
//                     -> sets ID1 when the field is serial1, else ID2 when it
//                        is serial2; "C00:" + the new ID. No match: no reply.
//   "H00E" + "0".."9","A","B"
//                     -> "E00:" + digit; the new line setting takes effect
//                        only after the reply has gone out.
//   "H" ID "F"        -> Wiegand poll: ID1 is reader 1; ID2 is reader 2 in
//                        two-reader mode (mode '0'). "F" ID ":" then "0" when
//                        no card waits, or "1" and the card's data (consumed).
//                        Polls for any other address go unanswered.
// Anything else goes unanswered.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "line_settings.h"

namespace sim {

// The baud rate of a line-setting index; 0 for an index outside 0..11.
uint32_t LineBaud(int lineIndex);

// The module's settings. Texts are used as given (a two-character ID, an
// eight-character serial field and version, a two-character key count make
// the usual reply lengths; other lengths make other lengths).
struct ModuleConfig {
  std::string id1 = "01";
  std::string id2 = "05";
  std::string serial1 = "12345678";
  std::string serial2 = "87654321";
  std::string version = "03.20-01";
  std::string keyCount = "04";
  char mode = '0';   // '0' two readers, '1' one reader
  char rs485 = '1';  // '0', '1' or '2'
  int lineIndex = 5; // into kLineSettings; 5 is "19200,e,8,1"
};

// Longest text field a configuration may hold, so that replies stay bounded.
constexpr size_t kMaxFieldLength = 64;

// True when the line index is in range and every text is at most
// kMaxFieldLength bytes.
bool ValidConfig(const ModuleConfig& config);

// What the module does with one command.
struct Answer {
  std::optional<std::string> reply;  // reply text; none: the module stays silent
  std::optional<int> newLineIndex;   // to apply once the reply has been written
};

// Card data waiting per reader is bounded in count and length.
constexpr size_t kMaxCardsWaiting = 32;
constexpr size_t kMaxCardData = 256;

class ModuleLogic {
 public:
  explicit ModuleLogic(ModuleConfig config = {});

  // Carries out one command (its state changes happen at once, except the
  // line setting, which the caller applies through SetLineIndex).
  Answer Handle(const std::string& command);

  const ModuleConfig& Config() const { return config_; }
  // Replaces the settings; false (and nothing changed) when not ValidConfig.
  bool SetConfig(const ModuleConfig& config);
  void SetLineIndex(int lineIndex);

  // Queues card data for reader 1 or 2. False when the reader number is
  // wrong, the data is longer than kMaxCardData or the queue is full.
  bool PresentCard(int reader, const std::string& data);
  size_t CardsWaiting(int reader) const;

  // The reader that answers polls of this address: 1 for ID1, 2 for ID2 in
  // two-reader mode, 0 for none.
  int ReaderAt(const std::string& address) const;

 private:
  Answer Configure(char letter, const std::string& argument);
  Answer SetId(const std::string& argument);
  Answer SetLine(const std::string& argument);
  Answer Poll(const std::string& address);

  ModuleConfig config_;
  std::array<std::deque<std::string>, 2> cards_;
};

}  // namespace sim
