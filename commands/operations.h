#pragma once
// The module operations, one unit each, run synchronously inside the click
// handlers of the window's buttons. Each ends with the port closed, the
// window enabled and the cursor restored, on every path.

class TfrmModule;

void RunModuleScan(TfrmModule& form);         // btnScan
void RunSetModuleIds(TfrmModule& form);       // btnID
void RunSetBaudRate(TfrmModule& form);        // btnBaudRate
void RunSetKeyCount(TfrmModule& form);        // btnKey
void RunSetModuleMode(TfrmModule& form);      // btnMode
void RunFactoryDefault(TfrmModule& form);     // btnFactory
void RunWiegandProcessing(TfrmModule& form);  // btnProcess (start and stop)
