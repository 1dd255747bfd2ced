// SPDX-License-Identifier: MIT
#pragma once
// The pieces of a simulated line on a POSIX pseudo-terminal: the tool opens
// the slave side as its serial port, the simulator works the master side.
//
// - OpenPseudoTerminal makes the pair raw at 19200 baud, so that nothing is
//   echoed before the tool has opened it, makes the master non-blocking, and
//   keeps a slave descriptor of the simulator's own open: the tool may close
//   and reopen its port without the line hanging up, and the terminal's
//   number stays taken while the simulator runs.
// - ToolBaud reads the speed the tool set on the slave (through the master;
//   a pseudo-terminal carries the speed but not the parity: its driver
//   clears the parity and character-size flags of every setting).
// - The tool holds its port in exclusive mode with an flock() on it while
//   it has it open; ToolHoldsPort and ClearModeOfClosedTool see to a tool
//   that ended without clearing that mode.
// - PlaceLink and RemoveLink manage a symlink to the slave path.

#include <cstdint>
#include <string>

namespace sim {

struct PseudoTerminal {
  int master = -1;
  int slave = -1;  // the simulator's own slave descriptor
  std::string slavePath;
};

// False, with nothing left open, when any step fails.
bool OpenPseudoTerminal(PseudoTerminal& pty);
// Closes both descriptors (the tool's port then sees a hang-up).
void ClosePseudoTerminal(PseudoTerminal& pty);
void CloseDescriptor(int& fd);

// The tool's speed on the line in baud; 0 when closed or not a known rate.
uint32_t ToolBaud(int master);

// True while some descriptor on the slave holds its exclusive mode.
bool ToolHoldsPort(int slave);
// A tool that ends without clearing its exclusive mode (killed, say) leaves
// it on the terminal, which the simulator's own descriptor keeps open: every
// later open would be refused. The mode without the tool's flock means the
// tool's side has closed; then the mode is cleared, as a closing terminal
// would, and true returned.
bool ClearModeOfClosedTool(int slave);

// Places a symlink at path pointing to target. An existing symlink there is
// replaced (by a rename, so the path never dangles); any other file is left
// alone and false returned.
bool PlaceLink(const std::string& target, const std::string& path);
// Removes the symlink at path if it still points to target.
void RemoveLink(const std::string& path, const std::string& target);

// A non-blocking pipe that wakes a thread waiting in poll().
class WakePipe {
 public:
  WakePipe() = default;
  ~WakePipe() { Close(); }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  bool Open();
  void Close();
  int ReadEnd() const { return read_; }
  void Wake() const;   // a full pipe already holds a wake-up
  void Drain() const;

 private:
  int read_ = -1;
  int write_ = -1;
};

}  // namespace sim
