// SPDX-License-Identifier: MIT
#pragma once
// The window's controls as one table that every toolkit builds from: names,
// kinds, containers, places, layout captions, fonts, colours, ranges and
// list items. No toolkit here; each toolkit maps the kinds and colour roles
// onto its own controls and its platform's colour scheme.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace form {

// Every control of the window, the window itself first. The order is the
// creation order: a container comes before what it holds.
enum class FormControl : int {
  frmModule,
  pnMsg, shComm, pnSerial, pnVersion, btnScan,
  lblID, pnID, sbID, lblID2, pnID2, sbID2, btnID,
  lblBaudRate, cmbBaudRate, chkLock, pnKey, sbKey, btnBaudRate, btnKey,
  cmbMode, cmbRS485, btnMode, pnWie1, pnWie2, btnProcess,
  gbDefault, pcDefault, tsDefault, btnFactory,
  btnEng, btnGB, btnBIG5, btnExit, pnTAVIX,
  tmrBusy,
};
inline constexpr int kFormControlCount = static_cast<int>(FormControl::tmrBusy) + 1;

enum class ControlKind {
  Window, Panel, Lamp, Button, Label, ScrollBar, List, CheckBox, GroupBox, PageControl, Page, Timer,
};

// The pictures a button carries; drawn by pictures.h.
enum class Picture { None, Scan, Id, BaudRate, Mode, Process, Factory, Gb, Big5, Close };

// A colour: fixed, or a role of the platform's colour scheme.
enum class ColourRole { Fixed, ButtonFace, Highlight, ActiveCaption, ButtonText };
struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  constexpr bool operator==(const Rgb&) const = default;
};
struct Colour {
  ColourRole role = ColourRole::Fixed;
  Rgb rgb{};
};

inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kPurple{128, 0, 128};

// The window's client area and the blink interval.
inline constexpr int kClientWidth = 560;
inline constexpr int kClientHeight = 425;
inline constexpr int kBlinkMs = 200;

struct FontSpec {
  int pixelSize = 16;
  bool bold = true;
};

struct Place {
  int left = 0, top = 0, width = 0, height = 0;
};

struct ControlRow {
  FormControl control;
  const char* name;
  ControlKind kind;
  FormControl container;  // frmModule for the window's own controls
  Place place;
  const char* layoutText;  // ASCII; "" for none
  FontSpec font;
  Colour text;
  Colour background;
  Picture picture = Picture::None;
  // Scroll bars: minimum, maximum, start position. Lists: selection at
  // creation is FormCreate's. Check box: checked when position is 1.
  int minimum = 0, maximum = 0, position = 0;
};

// The whole table, in FormControl order.
std::span<const ControlRow> FormControls();
const ControlRow& RowOf(FormControl control);

// The controls that take the keyboard focus, in the order Tab visits them:
// the window's reading order, that is the table's order (the left column
// from top to bottom, each row from left to right, then the right column).
// Buttons, scroll bars, lists and the check box; the page control's one
// fixed page offers nothing to choose and is left out.
std::vector<FormControl> TabOrder();

// The button that Enter presses: the focused button while it is enabled,
// else the default button, btnScan (focused: none when no control of the
// form has the focus).
FormControl EnterButton(std::optional<FormControl> focused, bool focusedEnabled);

// The items of a list (cmbBaudRate, cmbMode, cmbRS485); empty for others.
std::span<const char* const> ListItems(FormControl control);

// A picture that is text alone, drawn by each toolkit: its characters
// (UTF-8), colour and font on a transparent area of width x height.
struct TextPicture {
  const char* utf8;
  Rgb colour;
  FontSpec font;
  int width, height;
};
inline constexpr TextPicture kGbPicture{"簡体", {200, 0, 0}, {14, true}, 34, 16};
inline constexpr TextPicture kBig5Picture{"繁體", {200, 0, 0}, {14, true}, 34, 16};

// The large step of every scroll bar.
inline constexpr int kScrollPageStep = 10;

// The controls that Wiegand processing locks and unlocks, in this order both
// ways.
inline constexpr std::array<FormControl, 11> kOperationLockOrder{
    FormControl::btnExit, FormControl::btnScan, FormControl::btnFactory, FormControl::btnID,
    FormControl::btnBaudRate, FormControl::btnMode, FormControl::gbDefault, FormControl::btnEng,
    FormControl::btnGB, FormControl::btnBIG5, FormControl::btnKey};

}  // namespace form
