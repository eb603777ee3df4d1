// The commands that set the camera up: binning, read mode, filter, window
// heating and preflash.
#include "sim/capabilities.h"
#include "sim/command_handlers.h"
#include "sim/reply_bytes.h"
#include "sim/reply_status.h"

namespace sim {
namespace {

// An on/off parameter: 1 or 0, anything else is no answer.
bool SwitchParameter(uint8_t byte, bool* on)
{
    if (byte > 1)
        return false;
    *on = byte == 1;
    return true;
}

Bytes SetBinning(CameraState& state, const Bytes& request, int* factor)
{
    if (request.size() < 2 || !SupportsBinning(state.description, request[1]))
        return Refusal(request[0], kStatusInvalidParameter);
    *factor = request[1];
    return Success(request[0]);
}

} // namespace

Bytes AnswerSetBinningX(CameraState& state, const Bytes& request)
{
    return SetBinning(state, request, &state.settings.binX);
}

Bytes AnswerSetBinningY(CameraState& state, const Bytes& request)
{
    return SetBinning(state, request, &state.settings.binY);
}

Bytes AnswerSetReadMode(CameraState& state, const Bytes& request)
{
    if (request.size() < 2 || !SwitchParameter(request[1], &state.settings.doubleSample))
        return Refusal(request[0], kStatusInvalidParameter);
    return Success(request[0]);
}

Bytes AnswerSetFilter(CameraState& state, const Bytes& request)
{
    if (request.size() < 2 || request[1] >= FilterCount(state.description.flags))
        return Refusal(request[0], kStatusInvalidParameter);
    state.settings.filterPosition = request[1];
    return Success(request[0]);
}

Bytes AnswerSetWindowHeating(CameraState& state, const Bytes& request)
{
    if (request.size() < 2 || !SwitchParameter(request[1], &state.settings.windowHeating))
        return Refusal(request[0], kStatusInvalidParameter);
    return Success(request[0]);
}

Bytes AnswerSetPreflash(CameraState& state, const Bytes& request)
{
    if (!AcceptsPreflash(state.description.flags))
        return Refusal(request[0], kStatusUnknownInstruction);
    if (request.size() < 4)
        return Refusal(request[0], kStatusInvalidParameter);
    state.settings.preflashMs = (uint16_t)(request[1] | request[2] << 8);
    state.settings.preflashClears = request[3];
    return Success(request[0]);
}

} // namespace sim
