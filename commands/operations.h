// SPDX-License-Identifier: MIT
#pragma once
// The module operations, one unit each. Each runs synchronously, reads what
// the operator chose from an OperatorPanel and reports its outcome there:
// the status message, the lamp and a beep. Each ends with the port closed,
// the panel enabled and the cursor restored, on every path.

class OperatorPanel;

void RunModuleScan(OperatorPanel& panel);         // btnScan
void RunSetModuleIds(OperatorPanel& panel);       // btnID
void RunSetBaudRate(OperatorPanel& panel);        // btnBaudRate
void RunSetKeyCount(OperatorPanel& panel);        // btnKey
void RunSetModuleMode(OperatorPanel& panel);      // btnMode
void RunFactoryDefault(OperatorPanel& panel);     // btnFactory
void RunWiegandProcessing(OperatorPanel& panel);  // btnProcess (start and stop)
