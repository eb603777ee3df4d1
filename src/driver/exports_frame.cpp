// The readout window the host chooses: binning, subframe and its moves, and
// the sizes the host allocates its buffer from.
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

// The binned sensor with the factors now in force; a factor below 1 (never
// set by the driver, but not impossible for a field) leaves 0, not a
// division by zero.
int64_t BinnedWidth(const CAACamera& camera)
{
    return r6odi::BinnedExtent(camera.info.width, camera.hwBinX);
}

int64_t BinnedHeight(const CAACamera& camera)
{
    return r6odi::BinnedExtent(camera.info.height, camera.hwBinY);
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

    const int64_t bw = BinnedWidth(*camera);
    const int64_t bh = BinnedHeight(*camera);
    int64_t frameX = Scaled(x, bw);
    int64_t frameWidth = Scaled(width, bw);
    int64_t frameHeight = Scaled(height, bh);
    // The host counts y from the bottom edge, the frame from the top row.
    int64_t frameY = bh - frameHeight - Scaled(y, bh);
    if (frameX >= bw)
        frameX = bw - 1;
    if (frameY >= bh)
        frameY = bh - 1;
    if (frameX + frameWidth > bw)
        frameWidth = bw - frameX;
    if (frameY + frameHeight > bh)
        frameHeight = bh - frameY;

    camera->frameX = Saturated(frameX);
    camera->frameY = Saturated(frameY);
    camera->frameWidth = Saturated(frameWidth);
    camera->frameHeight = Saturated(frameHeight);
    return 1;
}

extern "C" int WINAPI d_MoveFrame(int direction)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return 1;
    // Sums in 64 bits: a frame the host made from garbage may sit near the
    // ends of the 32-bit range.
    const int64_t x = camera->frameX;
    const int64_t y = camera->frameY;
    switch (direction) {
    case 1:
        if (y + camera->frameHeight < BinnedHeight(*camera))
            camera->frameY = Saturated(y + 1);
        break;
    case 2:
        if (y > 0)
            camera->frameY = Saturated(y - 1);
        break;
    case 3:
        if (x > 0)
            camera->frameX = Saturated(x - 1);
        break;
    case 4:
        if (x + camera->frameWidth < BinnedWidth(*camera))
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
