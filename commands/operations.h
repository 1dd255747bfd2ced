// SPDX-License-Identifier: MIT
#pragma once

namespace commands {
// The module operations, one unit each. Each runs synchronously on the
// connection it is given, reads what the operator chose from an
// OperatorPanel and reports its outcome there:
// the status message, the lamp and a beep. Each ends with the port closed,
// the panel enabled and the cursor restored, on every path.

class OperatorPanel;
struct Connection;

void RunModuleScan(Connection& c, OperatorPanel& panel);         // btnScan
void RunSetModuleIds(Connection& c, OperatorPanel& panel);       // btnID
void RunSetBaudRate(Connection& c, OperatorPanel& panel);        // btnBaudRate
void RunSetKeyCount(Connection& c, OperatorPanel& panel);        // btnKey
void RunSetModuleMode(Connection& c, OperatorPanel& panel);      // btnMode
void RunFactoryDefault(Connection& c, OperatorPanel& panel);     // btnFactory
void RunWiegandProcessing(Connection& c, OperatorPanel& panel);  // btnProcess (start and stop)

}  // namespace commands
