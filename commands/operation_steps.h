// SPDX-License-Identifier: MIT
#pragma once
// Pieces shared by the module operations: the refusal without a scan, the
// report of an outcome, the 100 ms pauses, the replies of a fixed length,
// and guards that close the port and restore the window on every path.

#include <functional>
#include <string>

namespace serial {
struct LinkState;
}  // namespace serial

namespace commands {

class OperatorPanel;
struct Connection;

inline constexpr int kPauseMs = 100;
inline constexpr int kIdentityReplyLength = 16;
inline constexpr int kWriteAttempts = 2;
inline constexpr unsigned kHighBeepHz = 1000;
inline constexpr unsigned kLowBeepHz = 300;
inline constexpr unsigned kBeepMs = 300;

// The module-found flag is clear: red lamp, message 2, low beep. True when
// the operation must stop there.
bool RefuseWithoutScan(const Connection& c, OperatorPanel& panel);

// Success: yellow lamp, the "Ok" message, high beep. Failure: red lamp, the
// "Error" message, low beep.
void ReportOutcome(OperatorPanel& panel, bool success, int okMessage, int errorMessage);

// Opens the scan result's port; when it does not open, tells the panel why
// (ReportPortProblem) and returns false.
bool OpenModulePort(Connection& c, OperatorPanel& panel);

// Pauses kPauseMs, then sends the command; true for a valid reply.
bool PauseAndSend(serial::LinkState& link, const std::string& command);
// As PauseAndSend, and the reply must be exactly 16 characters long.
bool PauseAndSendIdentity(serial::LinkState& link, const std::string& command);

// Decimal value of a text of digits only; -1 for anything else.
int DecimalValue(const std::string& text);

// The hexadecimal digit for a line-setting index (0-9, A, B).
char LineSettingDigit(int index);

// Closes the connection's port when it leaves scope, unless Close() already
// did.
class PortGuard {
 public:
  explicit PortGuard(serial::LinkState& link) : link_(link) {}
  PortGuard(const PortGuard&) = delete;
  PortGuard& operator=(const PortGuard&) = delete;
  ~PortGuard();
  void Close();

 private:
  serial::LinkState& link_;
};

// A writing operation: the wait state, the guard, open, up to two attempts,
// close, report, leave the wait state.
struct WriteOperation {
  // Runs after the guard and before the port opens (messages, window values).
  // Returning false fails the operation without opening the port.
  std::function<bool()> prepare;
  // One attempt on the open port; true ends the operation with success.
  std::function<bool()> attempt;
  int okMessage = 0;
  int errorMessage = 0;
  // Whether the panel handles its pending events once on entering the wait.
  bool processMessagesOnEntry = true;
};

void RunWriteOperation(Connection& c, OperatorPanel& panel, const WriteOperation& operation);

}  // namespace commands
