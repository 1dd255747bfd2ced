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

std::string ReplyModuleId() { return ReplyChars(kIdFirst, kIdLast); }
std::string ReplySerialField() { return ReplyChars(kFieldFirst, kFieldLast); }
std::string ReplySerialLastChar() { return ReplyChars(kFieldLast, kFieldLast); }
std::string ReplyVersion() { return ReplyChars(kFieldFirst, kFieldLast); }
std::string ReplyKeyCount() { return ReplyChars(kKeyFirst, kKeyLast); }
std::string ReplyModeDigit() { return ReplyChars(kModePos, kModePos); }
std::string ReplyRs485Digit() { return ReplyChars(kRs485Pos, kRs485Pos); }
std::string ReplyCardData() { return ReplyChars(kCardFirst, Link.ReplyPos - kCardTrailer); }
