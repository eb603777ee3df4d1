#include "sim/command_set.h"

#include "sim/camera_info.h"
#include "sim/command_code.h"
#include "sim/reply_status.h"

namespace sim {

CommandTable StandardCommandSet()
{
    CommandTable table;
    table.Define(command::GetInfo, AnswerGetInfo);
    return table;
}

Bytes AnswerGetInfo(CameraState& state, const Bytes&)
{
    CameraInfoBlock block = CameraInfoBytes(state.description);
    Bytes reply{kStatusSuccess};
    reply.insert(reply.end(), block.begin(), block.end());
    return reply;
}

} // namespace sim
