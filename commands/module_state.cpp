// SPDX-License-Identifier: MIT
#include "module_state.h"

thread_local ModuleState Module;
