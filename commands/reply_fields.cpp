// SPDX-License-Identifier: MIT
#include "reply_fields.h"

#include "frames.h"

namespace {
// 1-based character positions in the last reply.
constexpr int kIdFirst = 3, kIdLast = 4;
constexpr int kFieldFirst = 6, kFieldLast = 13;
constexpr int kKeyFirst = 6, kKeyLast = 7;
constexpr int kModePos = 6;
constexpr int kRs485Pos = 8;
constexpr int kCardFirst = 7;
// The card data ends before the two checksum characters and the CR.
constexpr int kCardTrailer = 3;
}  // namespace

std::string ReplyModuleId(const LinkState& link) { return ReplyChars(link, kIdFirst, kIdLast); }
std::string ReplySerialField(const LinkState& link) { return ReplyChars(link, kFieldFirst, kFieldLast); }
std::string ReplySerialLastChar(const LinkState& link) { return ReplyChars(link, kFieldLast, kFieldLast); }
std::string ReplyVersion(const LinkState& link) { return ReplyChars(link, kFieldFirst, kFieldLast); }
std::string ReplyKeyCount(const LinkState& link) { return ReplyChars(link, kKeyFirst, kKeyLast); }
std::string ReplyModeDigit(const LinkState& link) { return ReplyChars(link, kModePos, kModePos); }
std::string ReplyRs485Digit(const LinkState& link) { return ReplyChars(link, kRs485Pos, kRs485Pos); }
std::string ReplyCardData(const LinkState& link) { return ReplyChars(link, kCardFirst, link.ReplyPos - kCardTrailer); }
