#include "module_state.h"

ModuleState Module;
