// The commands a simulated camera understands. Growing the command set is
// adding an entry here: a code and its handler.
#pragma once

#include "sim/command_table.h"

namespace sim {

CommandTable StandardCommandSet();

// GetInfo: success, then the camera's 60-byte CameraInfo block.
Bytes AnswerGetInfo(CameraState& state, const Bytes& request);

} // namespace sim
