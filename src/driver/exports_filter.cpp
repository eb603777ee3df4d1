// The filter wheel as the host drives it: one entry point whose first
// argument says what to do.
#include <cstdint>

#include "device/camera.h"
#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"

namespace {

enum FilterOperation {
    kFilterCount = 0,
    kWheelName = 1,
    kResetPosition = 2,
    kNoOperation = 3,
    kSelectFilter = 4,
    kCurrentFilter = 5,
};

// The property index of the camera's filter count.
constexpr uint32_t kFilterCountProperty = 8;

const char kWheelNameText[] = "Kx Camera Internal Filter Wheel";

int32_t FilterCount(CAACamera* camera)
{
    int32_t count = 0;
    if (camera == nullptr || !r6odi::CameraGetInteger(camera, kFilterCountProperty, &count))
        return 0;
    return count;
}

// `position` is the host's 1-based number. The 0-based one is formed without
// signed overflow; one that the command's byte cannot carry is refused
// before anything is sent, and the camera refuses a position it lacks.
bool SelectFilter(CAACamera* camera, int32_t position)
{
    if (camera == nullptr)
        return false;
    const int32_t zeroBased = static_cast<int32_t>(static_cast<uint32_t>(position) - 1u);
    if (!r6odi::CameraSetFilter(camera, zeroBased))
        return false;
    driverState.currentFilter = zeroBased;
    return true;
}

} // namespace

extern "C" INT_PTR WINAPI d_FilterWheel(int operation, int value)
{
    CAACamera* camera = driverState.camera;
    switch (operation) {
    case kFilterCount:
        return FilterCount(camera);
    case kWheelName:
        return reinterpret_cast<INT_PTR>(kWheelNameText);
    case kResetPosition:
        // Only the record moves: the wheel itself is not told.
        driverState.currentFilter = 1;
        return 1;
    case kNoOperation:
        return 1;
    case kSelectFilter:
        return SelectFilter(camera, value) ? 1 : 0;
    case kCurrentFilter:
        return driverState.currentFilter;
    default:
        return 0;
    }
}
