// The commands of an exposure: its start, the shutter and the frame
// requests that fill the image pipe.
#include "sim/command_handlers.h"
#include "sim/frame_transfer.h"
#include "sim/reply_bytes.h"

namespace sim {

Bytes AnswerStartExposure(CameraState& state, const Bytes& request)
{
    ++state.activity.exposures;
    state.activity.lastExposureAt = state.now;
    return Success(request[0]);
}

Bytes AnswerOpenShutter(CameraState& state, const Bytes& request)
{
    state.settings.shutterOpen = true;
    ++state.activity.shutterOpens;
    return Success(request[0]);
}

Bytes AnswerCloseShutter(CameraState& state, const Bytes& request)
{
    state.settings.shutterOpen = false;
    ++state.activity.shutterCloses;
    return Success(request[0]);
}

Bytes AnswerFrameRequest(CameraState& state, const Bytes& request)
{
    FrameRequest frame;
    // A camera waits for the rest of a request cut short; it never comes.
    if (!ParseFrameRequest(request, &frame))
        return Bytes();
    ++state.activity.frames;
    state.activity.lastFrame = frame;
    state.activity.lastFrameAt = state.now;
    state.imageData.Clear();
    state.imageData.Append(FrameTransfer(state, frame));
    return Bytes();
}

} // namespace sim
