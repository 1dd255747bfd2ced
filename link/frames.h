// SPDX-License-Identifier: MIT
#pragma once
// Command frames and replies over the open port.
//
// A command frame is TAB, the command text (1 to 255 ASCII bytes), two
// upper-case hexadecimal checksum characters and CR; the checksum is 0x09
// XORed with every text byte. A reply frame is LF, the reply text, the
// checksum of the LF and the text (upper-case hexadecimal) and CR.
//
// SendCommand(link, text) drops whatever the port has received and not yet read,
// writes one frame and reads the reply byte by byte:
// - The reply window is 120 ms from the end of the frame write. The elapsed
//   time is refreshed only after a read that delivered no byte, so bytes that
//   keep arriving keep the reader going.
// - A reply is complete at a CR while buffer position 0 holds an LF; a reply
//   must be the first thing received after the frame. An exact copy of the
//   frame that arrives first is the adapter's echo, not a reply: it is
//   dropped (traced as Echo, link.EchoHeard set) and the reply is what comes
//   after it. Nothing else is ever dropped; a copy that breaks off or
//   differs is received like any other bytes and fails the exchange.
// - true: a complete reply with a correct checksum. link.LastReply holds it,
//   link.ReplyPos its length (LF and CR included).
// - false at once after a complete reply whose checksum fails (or that is
//   shorter than 4 bytes): LastReply holds that rejected reply.
// - false after the window: LastReply is unchanged; ReplyPos counts the bytes
//   received modulo 1024 and ReplyBuffer holds them.
// - A line that keeps sending without ever completing a reply is given up
//   link.FloodLimitMs (kFloodLimitMs unless a test shortens it) after the
//   frame: SendCommand then returns false. The time is looked at every
//   kFloodCheckBytes bytes received, so at most that many bytes more are
//   read after the limit.
// - Before the frame, whatever the port has received is thrown away: a reply
//   that came too late or a stray byte is not the answer to this frame.
// - Nothing in a reply says which frame it answers, so replies are
//   attributed by the line's timing (see the link's counts in link_state.h).
//   While an earlier frame may still be answered, a frame of another
//   command first waits for the line to fall quiet: no byte for
//   kLateReplyGuardMs since the last frame or the last byte received. What
//   arrives meanwhile is read, thrown away and traced as discarded. A line
//   that is not quiet link.FloodLimitMs after the wait began fails the
//   exchange: no frame is written and SendCommand returns false, with
//   ReplyPos 0 and LastReply unchanged.
// - A repeat of the same command does not wait: a late reply to an earlier
//   attempt says what its own reply would.
// - The suspicion ends when the line is known quiet (kLateReplyGuardMs with
//   no frame and no byte, whatever the next command is), when every frame
//   has had its reply, or when a port is opened on another device or line
//   setting. A module that answers in time never raises it, so its frames
//   and their timing are those of a plain exchange.
// While no byte is waiting it calls link.ProcessPendingEvents about once a
// millisecond. The buffer is fixed; nothing is allocated per byte.

#include <cstdint>
#include <string>

#include "link_state.h"

namespace serial {

constexpr uint32_t kReplyWindowMs = 120;
constexpr uint32_t kFloodCheckBytes = 64;
constexpr uint32_t kLateReplyGuardMs = 250;

bool SendCommand(LinkState& link, const std::string& text);

// Writes the frame of the text as SendCommand does (its bytes, pauses and
// trace), nothing more; returns the frame as written (TAB to CR).
std::string WriteFrame(LinkState& link, const std::string& text);

// 0x09 XORed with each of the length bytes; a length of 0 or less gives 0x09.
uint8_t FrameChecksum(const uint8_t* bytes, int length);

// Two characters, high nibble first, "0"-"9" and "A"-"F".
std::string ByteToHex(uint8_t byte);

// Checks the reply standing in the link's ReplyBuffer before ReplyPos.
bool VerifyReply(const LinkState& link);

// Characters first to last (1-based, position 1 is the LF) of LastReply, or
// the part of them that the reply has. Never reads past the reply.
std::string ReplyChars(const LinkState& link, int first, int last);

}  // namespace serial
