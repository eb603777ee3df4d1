// The commands a simulated camera understands. Growing the command set is
// adding an entry here: a code and its handler.
#pragma once

#include "sim/command_handlers.h"
#include "sim/command_table.h"

namespace sim {

CommandTable StandardCommandSet();

} // namespace sim
