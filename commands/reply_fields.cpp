// SPDX-License-Identifier: MIT
#include "reply_fields.h"

#include "frames.h"

namespace commands {

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

std::string ReplyModuleId(const serial::LinkState& link) { return serial::ReplyChars(link, kIdFirst, kIdLast); }
std::string ReplySerialField(const serial::LinkState& link) {
  return serial::ReplyChars(link, kFieldFirst, kFieldLast);
}
std::string ReplySerialLastChar(const serial::LinkState& link) {
  return serial::ReplyChars(link, kFieldLast, kFieldLast);
}
std::string ReplyVersion(const serial::LinkState& link) { return serial::ReplyChars(link, kFieldFirst, kFieldLast); }
std::string ReplyKeyCount(const serial::LinkState& link) { return serial::ReplyChars(link, kKeyFirst, kKeyLast); }
std::string ReplyModeDigit(const serial::LinkState& link) { return serial::ReplyChars(link, kModePos, kModePos); }
std::string ReplyRs485Digit(const serial::LinkState& link) { return serial::ReplyChars(link, kRs485Pos, kRs485Pos); }
std::string ReplyCardData(const serial::LinkState& link) {
  return serial::ReplyChars(link, kCardFirst, link.ReplyPos - kCardTrailer);
}

}  // namespace commands
