// SPDX-License-Identifier: MIT
#pragma once

namespace catalogue {
// The message numbers of the catalogue, by name: the one place where a
// number is tied to its text. Each name follows the English text.

enum Message : int {
  kMsgCompany = 0,               // maker's name and web address (the footer)
  kMsgTitle = 1,                 // "TAVIX RT-420 Module Config V3.20-01"
  kMsgStartScan = 2,             // "Start Scan Module!"
  kMsgCancelProcess = 3,         // "Cancel Process Module"
  kMsgId = 4,                    // "ID"
  kMsgBaudRate = 5,              // "BaudRate"
  kMsgSetBaudRateButton = 6,     // "Set Module Baud Rate"
  kMsgProcess = 7,               // "Process Module"
  kMsgFactoryDefault = 8,        // "Factory Default"
  kMsgOneReader = 9,             // "One Reader"
  kMsgQuickSetting = 10,         // "Quick Setting"
  kMsgDefault = 11,              // "Default"
  kMsgSerialSet = 12,            // "S/N Set"
  kMsgExit = 13,                 // "Exit"
  kMsgOpenCom = 14,              // "Open COM"
  kMsgError = 15,                // "Error"
  kMsgScanModule = 16,           // "Scan Module"
  kMsgSerial = 17,               // "S/N"
  kMsgNo = 18,                   // "No"
  kMsgVersion = 19,              // "VER"
  kMsgScanCom = 20,              // "Scan COM"
  kMsgInfoOk = 21,               // "Get Module Info Ok. (COM"
  kMsgInfoError = 22,            // "Get Module Info Error. (COM"
  kMsgNotFound = 23,             // "Module Not Find"
  kMsgSetId = 24,                // "Set Module ID"
  kMsgSetIdOk = 25,              // "Set Module ID Ok"
  kMsgSetIdError = 26,           // "Set Module ID Error"
  kMsgSetNo = 27,                // "Set Module No"
  kMsgSetNoOk = 28,              // "Set Module No Ok"
  kMsgSetNoError = 29,           // "Set Module No Error"
  kMsgSetBaudRate = 30,          // "Set Module BaudRate"
  kMsgSetBaudRateOk = 31,        // "Set Module BaudRate Ok"
  kMsgSetBaudRateError = 32,     // "Set Module BaudRate Error"
  kMsgSetMode = 33,              // "Set Module Mode"
  kMsgSetModeOk = 34,            // "Set Module Mode Ok"
  kMsgSetModeError = 35,         // "Set Module Mode Error"
  kMsgSetFactory = 36,           // "Set Factory Default"
  kMsgSetFactoryOk = 37,         // "Set Factory Default Ok"
  kMsgSetFactoryError = 38,      // "Set Factory Default Error"
  kMsgSetKey = 39,               // "Set Reader Key"
  kMsgSetKeyOk = 40,             // "Set Reader Key Ok"
  kMsgSetKeyError = 41,          // "Set Reader Key Error"
  kMsgSetFactoryTest = 42,       // "Set Factory Test"
  kMsgSetFactoryTestOk = 43,     // "Set Factory Test Ok"
  kMsgSetFactoryTestError = 44,  // "Set Factory Test Error"
};

}  // namespace catalogue
