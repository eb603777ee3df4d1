#include "sim/command_set.h"

#include "sim/camera_info.h"
#include "sim/command_code.h"
#include "sim/reply_bytes.h"

namespace sim {

CommandTable StandardCommandSet()
{
    CommandTable table;
    table.Define(command::GetInfo, AnswerGetInfo);
    table.Define(command::SetBinningX, AnswerSetBinningX);
    table.Define(command::SetBinningY, AnswerSetBinningY);
    table.Define(command::SetReadMode, AnswerSetReadMode);
    table.Define(command::StartExposure, AnswerStartExposure);
    table.Define(command::ReadFrame, AnswerFrameRequest);
    table.Define(command::OpenShutter, AnswerOpenShutter);
    table.Define(command::CloseShutter, AnswerCloseShutter);
    table.Define(command::SetFilter, AnswerSetFilter);
    table.Define(command::GetValue, AnswerGetValue);
    table.Define(command::SetTemperature, AnswerSetTemperature);
    table.Define(command::GetPower, AnswerGetPower);
    table.Define(command::ExposeAndReadFrame, AnswerFrameRequest);
    table.Define(command::SetWindowHeating, AnswerSetWindowHeating);
    table.Define(command::SetPreflash, AnswerSetPreflash);
    return table;
}

Bytes AnswerGetInfo(CameraState& state, const Bytes& request)
{
    CameraInfoBlock block = CameraInfoBytes(state.description);
    return Success(request[0], Bytes(block.begin(), block.end()));
}

} // namespace sim
