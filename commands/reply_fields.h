// SPDX-License-Identifier: MIT
#pragma once
// The fields of the module's replies, by name. Each reads the connection's
// last reply (LastReply, position 1 being the LF) and returns the characters as
// received, or the part of them that a short reply has.

#include <string>

#include "link_state.h"

namespace commands {

// Characters 3 to 4 of a "H00M" or "H00N" reply: the module ID.
std::string ReplyModuleId(const serial::LinkState& link);
// Characters 6 to 13 of a "H00M" or "H00N" reply: the serial field, sent
// back in "H00C" to set an ID.
std::string ReplySerialField(const serial::LinkState& link);
// Character 13 of a "H00M" reply: the serial field's last character, read as
// a digit for the serial number's suffix.
std::string ReplySerialLastChar(const serial::LinkState& link);
// Characters 6 to 13 of a "H00V" reply: the firmware version.
std::string ReplyVersion(const serial::LinkState& link);
// Characters 6 to 7 of a "H00L" reply: the reader key count.
std::string ReplyKeyCount(const serial::LinkState& link);
// Character 6 of a "H00A" reply: the mode ("0" two readers).
std::string ReplyModeDigit(const serial::LinkState& link);
// Character 8 of a "H00A" reply: the RS-485 setting ("0", "1" or "2").
std::string ReplyRs485Digit(const serial::LinkState& link);
// Characters 7 to n-3 of a poll reply of n characters: the card data.
std::string ReplyCardData(const serial::LinkState& link);

}  // namespace commands
