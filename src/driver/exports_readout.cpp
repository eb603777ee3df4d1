// The frame into the host's buffer, and the end of the download.
#include <cstdint>

#include "device/camera.h"
#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"

namespace {

// The bytes the host allocated for the window it was told: width x height x
// 2, formed in 64 bits. A window that wraps 32 bits is more than any buffer
// of the host can hold, so the readout is told the largest size that does
// not claim more than the host has; a negative size is none at all, and a
// missing buffer has no room either, so the readout refuses both before
// anything is sent.
uint32_t HostBufferBytes(const CAACamera& camera, const uint16_t* buffer)
{
    if (buffer == nullptr || camera.frameWidth <= 0 || camera.frameHeight <= 0)
        return 0;
    const int64_t bytes = static_cast<int64_t>(camera.frameWidth) * camera.frameHeight * 2;
    if (bytes > UINT32_MAX)
        return UINT32_MAX;
    return static_cast<uint32_t>(bytes);
}

} // namespace

extern "C" int WINAPI d_ReadImage(uint16_t* buffer)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return 0;
    const bool read = r6odi::CameraReadImage(camera, camera->frameX, camera->frameY,
                                             camera->frameWidth, camera->frameHeight,
                                             HostBufferBytes(*camera, buffer), buffer);
    return read ? 1 : 0;
}

extern "C" int WINAPI d_EndDownload(int)
{
    // The readout leaves nothing behind to finish: the work buffers stay for
    // the next frame of the same size.
    return 1;
}
