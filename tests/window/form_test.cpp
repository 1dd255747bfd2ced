// SPDX-License-Identifier: MIT
// The window's shared form, without a toolkit: the control table's layout
// rules, the texts per language and the order of the shared steps, seen
// through a view that records what the steps do to it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalogue.h"
#include "connection.h"
#include "form_panel.h"
#include "form_steps.h"
#include "messages.h"
#include "settings_file.h"
#include "settings_store.h"

namespace {
using namespace form;
using C = FormControl;

class RecordingView : public FormView {
 public:
  std::vector<std::string> steps;
  void SetCaption(FormControl control, const std::string& bytes) override {
    steps.push_back(std::string("caption ") + RowOf(control).name + "=" + bytes);
  }
  void SelectListItem(FormControl list, int index) override {
    steps.push_back(std::string("select ") + RowOf(list).name + "=" + std::to_string(index));
  }
  void RemoveCloseCommand() override { steps.push_back("remove close"); }
  void SetBlinkTimer(bool running) override { steps.push_back(running ? "timer on" : "timer off"); }
  void SetWindowEnabled(bool enabled) override { steps.push_back(enabled ? "enable" : "disable"); }
  void FillLamp(Rgb colour) override { steps.push_back(colour == kRed ? "red" : colour == kYellow ? "yellow" : "?"); }
  void PumpMessages() override { steps.push_back("pump"); }
};

class FormSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("rt420-form-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    catalogue::FillCatalogue();
    catalogue::SelectLanguage(0);
  }
  void TearDown() override {
    catalogue::ReleaseCatalogue();
    std::filesystem::remove_all(folder_);
  }
  void WriteSettings(const std::string& values) { WriteSettingsFile(folder_ / "TAVIX" / "Corvel.reg", values); }

  std::filesystem::path folder_;
  RecordingView view;
};

TEST(FormTable, EveryControlLiesInsideItsContainerAndNamesAreUnique) {
  std::set<std::string> names;
  for (const ControlRow& row : FormControls()) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(names.insert(row.name).second);
    if (row.control == C::frmModule || row.kind == ControlKind::Timer) continue;
    const ControlRow& outer = RowOf(row.container);
    EXPECT_LT(static_cast<int>(outer.control), static_cast<int>(row.control)) << "container made first";
    EXPECT_GE(row.place.left, 0);
    EXPECT_GE(row.place.top, 0);
    // The footer runs one pixel past the right and the bottom edge, as laid out.
    const int slack = row.control == C::pnTAVIX ? 1 : 0;
    EXPECT_LE(row.place.left + row.place.width, outer.place.width + slack);
    EXPECT_LE(row.place.top + row.place.height, outer.place.height + slack);
  }
  EXPECT_EQ(ListItems(C::cmbBaudRate).size(), 12u);
  EXPECT_EQ(ListItems(C::cmbRS485).size(), 3u);
  EXPECT_TRUE(ListItems(C::btnScan).empty());
}

// Every button of the form has a click handler, and exactly the seven that
// talk to the module run as operations (their end drops the input queued
// meanwhile); no other control takes a click.
TEST(FormTable, EveryButtonHasAClickHandlerAndTheModuleButtonsRunOperations) {
  const std::set<C> operations{C::btnScan, C::btnID,      C::btnBaudRate, C::btnKey,
                               C::btnMode, C::btnFactory, C::btnProcess};
  for (const ControlRow& row : FormControls()) {
    const bool button = row.kind == ControlKind::Button;
    EXPECT_EQ(FormPanel::HasClickHandler(row.control), button) << row.name;
    EXPECT_EQ(FormPanel::RunsOperation(row.control), operations.count(row.control) == 1) << row.name;
  }
}

// Enter presses the focused button while it is enabled; a disabled one, a
// control of another kind or no focus at all leaves it to btnScan.
TEST(FormTable, EnterPressesTheFocusedEnabledButtonElseScan) {
  const struct {
    std::optional<C> focused;
    bool enabled;
    C pressed;
  } cases[] = {{C::btnID, true, C::btnID},       {C::btnFactory, true, C::btnFactory},
               {C::btnID, false, C::btnScan},    {C::chkLock, true, C::btnScan},
               {C::sbKey, true, C::btnScan},     {C::cmbMode, true, C::btnScan},
               {std::nullopt, false, C::btnScan}};
  for (const auto& c : cases) {
    EXPECT_EQ(EnterButton(c.focused, c.enabled), c.pressed) << (c.focused ? RowOf(*c.focused).name : "none");
  }
}

TEST_F(FormSteps, TextsFollowTheCurrentLanguageInTheirOrder) {
  for (int language = 0; language < catalogue::kLanguageCount; ++language) {
    SCOPED_TRACE(language);
    catalogue::SelectLanguage(language);
    const std::vector<FormText> texts = LanguageTexts();
    ASSERT_EQ(texts.size(), 17u);
    EXPECT_EQ(texts.front().control, C::frmModule);
    EXPECT_EQ(texts.front().bytes, catalogue::CatalogueText(catalogue::kMsgTitle, language));
    EXPECT_EQ(texts[3].bytes, catalogue::CatalogueText(catalogue::kMsgSerial, language) + " : ________-_");
    EXPECT_EQ(texts[5].bytes, catalogue::CatalogueText(catalogue::kMsgId, language) + " 1:");
    EXPECT_EQ(texts[7].bytes, catalogue::CatalogueText(catalogue::kMsgBaudRate, language) + ":");
    EXPECT_EQ(texts[15].bytes, "(" + catalogue::CatalogueText(catalogue::kMsgFactoryDefault, language) + ")");
    EXPECT_EQ(texts.back().control, C::btnExit);
    for (const FormText& text : texts) EXPECT_NE(text.control, C::btnKey);
  }
}

TEST_F(FormSteps, CreationReadsTheStoreAndSelectsTheEntries) {
  WriteSettings("\"ScanBaudRateNo\"=dword:00000007\n\"LanguageFlag\"=\"ChineseBIG5\"");
  commands::Connection c(serial::PortScope::AnyPort());
  c.Processing = c.ModuleFound = true;
  RunFormCreate(view, c);
  EXPECT_EQ(view.steps, (std::vector<std::string>{"remove close", "select cmbBaudRate=7", "select cmbMode=0",
                                                  "select cmbRS485=1"}));
  EXPECT_FALSE(c.Processing);
  EXPECT_FALSE(c.ModuleFound);
  EXPECT_EQ(c.ScanBaudRateNo, 7);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 2);
  ASSERT_TRUE(static_cast<bool>(c.ProcessPendingEvents));
  c.ProcessPendingEvents();
  EXPECT_EQ(view.steps.back(), "pump");
}

TEST_F(FormSteps, LanguageSwitchStoresTheLanguageAndAppliesItsTexts) {
  RunSelectLanguageAndApply(view, 1);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB");
  ASSERT_EQ(view.steps.size(), 17u);
  EXPECT_EQ(view.steps[2], "caption pnMsg=" + catalogue::CatalogueText(catalogue::kMsgStartScan, 1));
  catalogue::SelectLanguage(0);
  store::ScanResult stored;
  store::LoadSettings(stored);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB");
}

TEST_F(FormSteps, BusyStateOrderAndTheBlinkPhaseCarriesOver) {
  int tag = 0;
  RunSetBusy(view, true);
  RunBusyTick(view, tag);
  RunSetBusy(view, false);
  RunSetBusy(view, true);
  RunBusyTick(view, tag);
  RunBusyTick(view, tag);
  EXPECT_EQ(view.steps, (std::vector<std::string>{"timer on", "disable", "red", "enable", "timer off", "timer on",
                                                  "disable", "yellow", "red"}));
  EXPECT_EQ(tag, 1);
  EXPECT_EQ(text::TwoDigits(7), "07");
  EXPECT_EQ(text::TwoDigits(20), "20");
}
}  // namespace
