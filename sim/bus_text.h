// SPDX-License-Identifier: MIT
#pragma once
// The bus's settings as text, for rt420-sim's options and its input.
//
//   --module id1=03,id2=07,serial1=11112222,mode=1,line=2
//     keys: id1, id2, serial1, serial2, firmware, key, mode (0|1),
//     rs485 (0|1|2), line (0..11); unnamed keys keep their defaults: those
//     of ModuleConfig, except the serial fields of module k (0-based),
//     12345678 + k and 87654321 - k, so that no two modules share one.
//   --ber RATE, --jitter MS, --foreign-master MS, --stray MS, --seed N
//     set the matching LineFaults field.
//   A card line "ID DATA" presents DATA at the reader of that reader ID.

#include <optional>
#include <string>
#include <string_view>

#include "module_logic.h"
#include "sim_bus.h"

namespace sim {

// The keys above, which are also the single module's options without their
// "--" (--id1, --firmware, --line, ...).
bool IsModuleSetting(std::string_view key);
// Sets one of them; false for another key or a malformed value.
bool ApplyModuleSetting(std::string_view key, std::string_view value, ModuleConfig& config);

// The defaults of module k on a bus.
ModuleConfig BusModuleDefaults(size_t k);

// Module k's settings; nullopt with a one-line reason when malformed.
std::optional<ModuleConfig> ParseModuleSettings(std::string_view text, size_t k, std::string& error);

// Whether name is one of the line-fault options above.
bool IsLineFaultOption(std::string_view name);
// Sets the field of a line-fault option; false when the value is malformed
// or out of range.
bool ApplyLineFaultOption(std::string_view name, std::string_view value, LineFaults& faults);

struct CardRequest {
  std::string readerId;
  std::string data;
};
// "ID DATA": nullopt when either part is missing.
std::optional<CardRequest> ParseCardLine(std::string_view line);

}  // namespace sim
