// SPDX-License-Identifier: MIT
#pragma once
// The window's steps that do not depend on a toolkit: creation, the texts
// of the current language, the language switch, the busy state and the
// blink. Each toolkit's window implements FormView over its controls and
// calls these from its own handlers.

#include <string>
#include <vector>

#include "form_table.h"
#include "two_digits.h"

namespace commands {
struct Connection;
}  // namespace commands

namespace form {

class FormView {
 public:
  virtual ~FormView() = default;
  // A control's caption (the window's title for frmModule, the tab's text
  // for tsDefault) as code-page bytes of the current language.
  virtual void SetCaption(FormControl control, const std::string& bytes) = 0;
  virtual void SelectListItem(FormControl list, int index) = 0;
  // Takes the close command out of the window's system menu, where the
  // toolkit has one; the window then closes only through btnExit.
  virtual void RemoveCloseCommand() = 0;
  virtual void SetBlinkTimer(bool running) = 0;
  virtual void SetWindowEnabled(bool enabled) = 0;
  virtual void FillLamp(Rgb colour) = 0;
  // Serves the window's pending messages once; the link calls it while it
  // waits for a reply.
  virtual void PumpMessages() = 0;
  // Throws away the mouse button and key input queued for the window, so
  // that none of it acts; a button held down is let go without a click.
  // Called when a module operation's outermost handler ends
  // (FormPanel::RunOperationHandler): an operation serves no input while it
  // sleeps or beeps, and a click or key made meanwhile must not start
  // another operation once it is over. A toolkit that queues no input while
  // a handler runs needs nothing here.
  virtual void DiscardPendingInput() {}
};

// One step of the texts applied on first show and on a language switch.
struct FormText {
  FormControl control;
  std::string bytes;
};

// The texts of the current language, in the order they are applied.
std::vector<FormText> LanguageTexts();

// Reads the settings into the window's connection, takes out the close
// command, clears the processing and module-found flags, selects the list
// entries, and lets the connection's link serve the window's messages and
// read the port table.
void RunFormCreate(FormView& view, commands::Connection& connection);
// Applies LanguageTexts() and nothing else.
void RunFormShow(FormView& view);
// Language index 0, 1 or 2: selects it, stores it and applies the texts.
void RunSelectLanguageAndApply(FormView& view, int languageIndex);
// true: the timer runs, then the window is disabled; false: the window is
// enabled, then the timer stops.
void RunSetBusy(FormView& view, bool busy);
// One tick: tag 1 turns the lamp yellow and the tag to 0, anything else turns
// it red and the tag to 1.
void RunBusyTick(FormView& view, int& tag);

// A control's caption before the texts are applied: its layout text, or for
// the window and the footer their messages in English.
std::string LayoutCaption(FormControl control);

}  // namespace form
