// SPDX-License-Identifier: MIT
#include "form_table.h"

#include "line_settings.h"

namespace form {

namespace {
using C = FormControl;
using K = ControlKind;
constexpr FontSpec kBold16{16, true};
constexpr FontSpec kRegular16{16, false};
constexpr FontSpec kRegular13{13, false};
constexpr FontSpec kRegular11{11, false};
constexpr Colour kText{ColourRole::ButtonText, {}};
constexpr Colour kFace{ColourRole::ButtonFace, {}};
constexpr Colour kHighlight{ColourRole::Highlight, {}};
constexpr Colour kCaption{ColourRole::ActiveCaption, {}};
constexpr Colour kYellowText{ColourRole::Fixed, kYellow};
constexpr Colour kWhiteText{ColourRole::Fixed, kWhite};
constexpr Colour kRedFixed{ColourRole::Fixed, kRed};
constexpr Colour kPurpleFixed{ColourRole::Fixed, kPurple};

// A value panel: yellow bold text on the highlight colour.
constexpr ControlRow Value(C control, const char* name, Place place, const char* text) {
  return {control, name, K::Panel, C::frmModule, place, text, kBold16, kYellowText, kHighlight};
}
constexpr ControlRow List(C control, const char* name, Place place) {
  return {control, name, K::List, C::frmModule, place, "", kBold16, kYellowText, kHighlight};
}
constexpr ControlRow Label(C control, const char* name, Place place, const char* text) {
  return {control, name, K::Label, C::frmModule, place, text, kRegular13, kText, kFace};
}
constexpr ControlRow Bar(C control, const char* name, Place place, int minimum, int maximum, int position) {
  return {control, name, K::ScrollBar, C::frmModule, place, "", kBold16, kText, kFace, Picture::None,
          minimum, maximum, position};
}
constexpr ControlRow Button(C control, const char* name, Place place, const char* text, Picture picture,
                             FontSpec font = kBold16, Colour text_colour = kText) {
  return {control, name, K::Button, C::frmModule, place, text, font, text_colour, kFace, picture};
}

constexpr std::array<ControlRow, kFormControlCount> kControls{{
    {C::frmModule, "frmModule", K::Window, C::frmModule, {0, 0, kClientWidth, kClientHeight}, "", kBold16, kText,
     kFace},
    {C::pnMsg, "pnMsg", K::Panel, C::frmModule, {8, 4, 345, 40}, "Start Scan Module", kBold16, kWhiteText, kCaption},
    {C::shComm, "shComm", K::Lamp, C::pnMsg, {310, 8, 23, 20}, "", kBold16, kText, kRedFixed},
    Value(C::pnSerial, "pnSerial", {8, 48, 169, 28}, "S/N : ________-_"),
    Value(C::pnVersion, "pnVersion", {184, 48, 169, 28}, "VER : __.__-__"),
    Button(C::btnScan, "btnScan", {8, 78, 345, 33}, "&Scan Module", Picture::Scan),
    Label(C::lblID, "lblID", {8, 125, 57, 22}, "ID1 :"),
    Value(C::pnID, "pnID", {68, 122, 33, 25}, "__"),
    Bar(C::sbID, "sbID", {104, 123, 73, 23}, 1, 99, 1),
    Label(C::lblID2, "lblID2", {184, 125, 57, 22}, "ID2 :"),
    Value(C::pnID2, "pnID2", {244, 122, 33, 25}, "__"),
    Bar(C::sbID2, "sbID2", {280, 123, 73, 23}, 1, 99, 1),
    Button(C::btnID, "btnID", {8, 150, 345, 33}, "Set Module &ID", Picture::Id),
    Label(C::lblBaudRate, "lblBaudRate", {8, 197, 81, 22}, "Baud Rate :"),
    List(C::cmbBaudRate, "cmbBaudRate", {96, 192, 121, 28}),
    // Too narrow for its text to show, as laid out; checked at start.
    {C::chkLock, "chkLock", K::CheckBox, C::frmModule, {224, 196, 17, 17}, "chkLock", kBold16, kText, kFace,
     Picture::None, 0, 1, 1},
    Value(C::pnKey, "pnKey", {248, 194, 33, 25}, "__"),
    Bar(C::sbKey, "sbKey", {288, 195, 65, 23}, 0, 20, 4),
    Button(C::btnBaudRate, "btnBaudRate", {8, 222, 233, 33}, "Set Module &Baud Rate", Picture::BaudRate),
    Button(C::btnKey, "btnKey", {248, 222, 105, 33}, "Key Num", Picture::None),
    List(C::cmbMode, "cmbMode", {8, 264, 169, 28}),
    List(C::cmbRS485, "cmbRS485", {184, 264, 171, 28}),
    Button(C::btnMode, "btnMode", {8, 295, 345, 33}, "Set Module &Mode", Picture::Mode),
    Value(C::pnWie1, "pnWie1", {8, 336, 169, 28}, ""),
    Value(C::pnWie2, "pnWie2", {184, 336, 169, 28}, ""),
    Button(C::btnProcess, "btnProcess", {8, 368, 345, 33}, "&Process WIE", Picture::Process),
    {C::gbDefault, "gbDefault", K::GroupBox, C::frmModule, {360, 4, 193, 325}, "Quick Setting", kBold16, kText,
     kFace},
    {C::pcDefault, "pcDefault", K::PageControl, C::gbDefault, {6, 26, 182, 294}, "", kRegular16, kText, kFace},
    {C::tsDefault, "tsDefault", K::Page, C::pcDefault, {0, 0, 182, 294}, "Default", kRegular16, kText, kFace},
    {C::btnFactory, "btnFactory", K::Button, C::tsDefault, {4, 6, 165, 243}, "(Factory &Default)", kBold16, kText,
     kFace, Picture::Factory},
    Button(C::btnEng, "btnEng", {359, 336, 62, 24}, "English", Picture::None, kRegular13, kRedFixed),
    Button(C::btnGB, "btnGB", {426, 336, 62, 24}, "", Picture::Gb),
    Button(C::btnBIG5, "btnBIG5", {492, 336, 62, 24}, "", Picture::Big5),
    Button(C::btnExit, "btnExit", {360, 368, 193, 33}, "&Exit", Picture::Close),
    {C::pnTAVIX, "pnTAVIX", K::Panel, C::frmModule, {0, 405, 561, 21}, "", kRegular11, kWhiteText, kPurpleFixed},
    {C::tmrBusy, "tmrBusy", K::Timer, C::frmModule, {}, "", kBold16, kText, kFace, Picture::None, 0, 0, kBlinkMs},
}};

constexpr bool InControlOrder() {
  for (int i = 0; i < kFormControlCount; ++i)
    if (static_cast<int>(kControls[i].control) != i) return false;
  return true;
}
static_assert(InControlOrder(), "the table lists every control in FormControl order");

constexpr const char* kModeItems[] = {"Two Reader", "One Reader"};
constexpr const char* kRs485Items[] = {"RS485 24", "RS485 32", "RS485 40"};
}  // namespace

std::span<const ControlRow> FormControls() { return kControls; }

const ControlRow& RowOf(FormControl control) { return kControls[static_cast<int>(control)]; }

std::vector<FormControl> TabOrder() {
  std::vector<FormControl> order;
  for (const ControlRow& row : kControls) {
    switch (row.kind) {
      case K::Button:
      case K::ScrollBar:
      case K::List:
      case K::CheckBox: order.push_back(row.control); break;
      default: break;
    }
  }
  return order;
}

FormControl EnterButton(std::optional<FormControl> focused, bool focusedEnabled) {
  if (focused && focusedEnabled && RowOf(*focused).kind == K::Button) return *focused;
  return C::btnScan;
}

std::span<const char* const> ListItems(FormControl control) {
  switch (control) {
    case C::cmbBaudRate: return serial::kLineSettings;
    case C::cmbMode: return kModeItems;
    case C::cmbRS485: return kRs485Items;
    default: return {};
  }
}

}  // namespace form
