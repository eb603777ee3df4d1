// The commands of an exposure: its start, the shutter and the frame
// requests that fill the image pipe. The sensor integrates from the start
// until the frame is read, in light while the shutter is open and in the
// dark while it is closed; the frame knows how long of each.
#include "sim/command_handlers.h"
#include "sim/frame_transfer.h"
#include "sim/reply_bytes.h"

namespace sim {
namespace {

// Books the time since the last shutter change (or the start) as light or
// dark, by the shutter's state over that time.
void BookExposureTime(CameraState& state)
{
    ExposureRecord& exposure = state.exposure;
    if (!exposure.started)
        return;
    uint64_t elapsed = state.now > exposure.shutterSince ? state.now - exposure.shutterSince : 0;
    if (state.settings.shutterOpen)
        exposure.lightMs += elapsed;
    else
        exposure.darkMs += elapsed;
    exposure.shutterSince = state.now;
}

void MoveShutter(CameraState& state, bool open)
{
    BookExposureTime(state);
    state.settings.shutterOpen = open;
}

// The readout ends the integration: the frame takes what was gathered and
// the sensor starts empty.
FrameExposure ReadOutExposure(CameraState& state)
{
    BookExposureTime(state);
    FrameExposure frame;
    frame.exposed = state.exposure.started;
    frame.lightMs = state.exposure.lightMs;
    frame.darkMs = state.exposure.darkMs;
    state.exposure = ExposureRecord();
    return frame;
}

} // namespace

Bytes AnswerStartExposure(CameraState& state, const Bytes& request)
{
    ++state.activity.exposures;
    state.activity.lastExposureAt = state.now;
    // A new start clears the sensor: whatever it held is lost.
    state.exposure = ExposureRecord();
    state.exposure.started = true;
    state.exposure.startedAt = state.now;
    state.exposure.shutterSince = state.now;
    return Success(request[0]);
}

Bytes AnswerOpenShutter(CameraState& state, const Bytes& request)
{
    MoveShutter(state, true);
    ++state.activity.shutterOpens;
    return Success(request[0]);
}

Bytes AnswerCloseShutter(CameraState& state, const Bytes& request)
{
    MoveShutter(state, false);
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
    state.activity.lastFrameExposure = ReadOutExposure(state);
    // Bytes of an earlier frame that nobody read stay ahead of this one, as
    // they do in a bulk pipe.
    state.imageData.Append(FrameTransfer(state, frame));
    return Bytes();
}

} // namespace sim
