// SPDX-License-Identifier: MIT
#include "single_write.h"

#include "line_settings.h"
#include "operations.h"
#include "setting_words.h"
#include "two_digits.h"

namespace {
// Sets the operator's choice on the panel and names its operation.
Operation Choose(ScriptedPanel& panel, const WriteChoice& o) {
  switch (o.kind) {
    case WriteKind::Ids:
      panel.ChooseId(o.id1);
      if (o.id2) {
        // ID 2 is written in two-reader mode only: as an operator would,
        // pick "Two Reader" for the write (the module's mode is not changed).
        panel.ChooseId2(*o.id2);
        panel.SelectMode(0);
      }
      return commands::RunSetModuleIds;
    case WriteKind::LineSetting:
      panel.SelectLineSetting(o.lineSettingIndex);
      return commands::RunSetBaudRate;
    case WriteKind::KeyCount:
      panel.ChooseKeyCount(o.keyCount);
      return commands::RunSetKeyCount;
    case WriteKind::Mode:
      panel.SelectMode(o.modeIndex);
      if (o.rs485Index) panel.SelectRs485(*o.rs485Index);
      return commands::RunSetModuleMode;
    default:
      return commands::RunFactoryDefault;
  }
}
// What factory-default writes: the module's factory configuration.
const std::vector<WrittenValue> kFactoryValues = {{"id1", "ID 1", "01"},
                                                  {"id2", "ID 2", "05"},
                                                  {"mode", "mode", "two"},
                                                  {"rs485", "RS-485", "32"},
                                                  {"line-setting", "line setting", serial::kDefaultLineSetting}};

// The values the choice means to write; module is the scan's readout.
std::vector<WrittenValue> Wanted(const WriteChoice& o, const ModuleSettings& module) {
  switch (o.kind) {
    case WriteKind::Ids: {
      std::vector<WrittenValue> ids = {{"id1", "ID 1", text::TwoDigits(o.id1)}};
      // Without a second ID a one-reader module gets ID 1 only.
      if (o.id2) ids.push_back({"id2", "ID 2", text::TwoDigits(*o.id2)});
      else if (module.modeIndex == 0) ids.push_back({"id2", "ID 2", module.id2});
      return ids;
    }
    case WriteKind::LineSetting: return {{"line-setting", "line setting", serial::kLineSettings[o.lineSettingIndex]}};
    case WriteKind::KeyCount: return {{"key-count", "key count", text::TwoDigits(o.keyCount)}};
    case WriteKind::Mode:
      return {{"mode", "mode", ModeName(o.modeIndex)},
              {"rs485", "RS-485", Rs485Name(o.rs485Index.value_or(module.rs485Index))}};
    default: return kFactoryValues;
  }
}
}  // namespace

WriteResult WriteSetting(ProvisionConnection& connection, const WriteChoice& choice, const ModuleReadout& before) {
  WriteResult result;
  std::vector<WrittenValue> wanted = Wanted(choice, before.settings);
  if (connection.StopRequested()) {
    result.code = kExitStopped;
    result.missing = wanted;
  } else {
    result.code = connection.Run(Choose(connection.Panel(), choice));
    result.accepted = connection.Ledger().Accepted();
    if (result.code != kExitOk) result.missing = NotWritten(wanted, result.accepted);
    if (result.code == kExitOk && choice.kind == WriteKind::LineSetting) connection.StoreScanResult();
  }
  result.after = WithWritten(before, result.accepted);
  return result;
}
