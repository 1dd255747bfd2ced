// SPDX-License-Identifier: MIT
#include "module_state.h"

ModuleState Module;
