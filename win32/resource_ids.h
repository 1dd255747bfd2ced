// SPDX-License-Identifier: MIT
#pragma once
// The numbers of the program's resources, shared by the resource script and
// the code that loads them.

#define RT420_ICON_WINDOW 1
#define RT420_PICTURE_SCAN 101
#define RT420_PICTURE_ID 102
#define RT420_PICTURE_BAUDRATE 103
#define RT420_PICTURE_MODE 104
#define RT420_PICTURE_PROCESS 105
#define RT420_PICTURE_FACTORY 106
