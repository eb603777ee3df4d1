// The readout window the host chooses: binning, subframe and its moves, and
// the sizes the host allocates its buffer from.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "device/camera.h"
#include "driver/binning_code.h"
#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"
#include "protocol/readout_geometry.h"

namespace {

// The host gives the subframe in units of 1/100000 of the binned sensor.
constexpr int64_t kSubframeScale = 100000;

// Garbage in from the host must not become an overflowed (and so undefined)
// field; anything out of range sticks at the nearest 32-bit value, and the
// readout then keeps the frame inside the sensor.
int32_t Saturated(int64_t value)
{
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// Products in 64 bits: a sensor wider than 21474 binned pixels already
// overflows 32 bits at a fraction of 100000.
int64_t Scaled(int32_t fraction, int64_t extent)
{
    return static_cast<int64_t>(fraction) * extent / kSubframeScale;
}

} // namespace

extern "C" int WINAPI d_Subframe(int x, int y, int width, int height, int binningCode)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return 1;
    const BinningCode& code = LookUpBinningCode(binningCode);
    // A refused binning leaves the factors as they were; the frame is then
    // computed with those, which is what the camera will read.
    r6odi::CameraSetBinning(camera, code.factorX, code.factorY);

    // The host's fractions are of the region it may read (the crop, or the
    // whole binned sensor), and the frame is fitted into it as the readout
    // fits it: d_GetWidth x d_GetHeight is then exactly what d_ReadImage
    // writes, row for row.
    const r6odi::ReadoutRegion region = r6odi::HostRegion(*camera);
    int64_t frameX = region.left + Scaled(x, region.width);
    int64_t frameWidth = Scaled(width, region.width);
    int64_t frameHeight = Scaled(height, region.height);
    // The host counts y from the bottom edge, the frame from the top row.
    int64_t frameY = region.top + region.height - frameHeight - Scaled(y, region.height);
    r6odi::FitIntoRegion(region, &frameX, &frameY, &frameWidth, &frameHeight);

    camera->frameX = Saturated(frameX);
    camera->frameY = Saturated(frameY);
    // A frame without a pixel is read as nothing, and says so.
    camera->frameWidth = Saturated(std::max<int64_t>(frameWidth, 0));
    camera->frameHeight = Saturated(std::max<int64_t>(frameHeight, 0));
    return 1;
}

extern "C" int WINAPI d_MoveFrame(int direction)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return 1;
    // The frame moves inside the region it was fitted into, so that the
    // readout still reads it as it stands. Sums in 64 bits.
    const r6odi::ReadoutRegion region = r6odi::HostRegion(*camera);
    const int64_t x = camera->frameX;
    const int64_t y = camera->frameY;
    switch (direction) {
    case 1:
        if (y + camera->frameHeight < region.top + region.height)
            camera->frameY = Saturated(y + 1);
        break;
    case 2:
        if (y > region.top)
            camera->frameY = Saturated(y - 1);
        break;
    case 3:
        if (x > region.left)
            camera->frameX = Saturated(x - 1);
        break;
    case 4:
        if (x + camera->frameWidth < region.left + region.width)
            camera->frameX = Saturated(x + 1);
        break;
    default:
        break;
    }
    return 1;
}

extern "C" int WINAPI d_GetWidth(int)
{
    CAACamera* camera = driverState.camera;
    return camera == nullptr ? 0 : camera->frameWidth;
}

extern "C" int WINAPI d_GetHeight(int)
{
    CAACamera* camera = driverState.camera;
    return camera == nullptr ? 0 : camera->frameHeight;
}

extern "C" int __cdecl d_BinningCount(void)
{
    return kBinningCodeCount;
}

extern "C" INT_PTR WINAPI d_BinningName(int binningCode)
{
    return reinterpret_cast<INT_PTR>(LookUpBinningCode(binningCode).name);
}
