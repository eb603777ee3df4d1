// Windows: the real system, the real module and whatever camera is attached.
// The host cannot reach the module's working copy of the setup values, so
// the driver's own dialog (d_SetupCCD(0)) is the only way to change them;
// without it the driver opens the camera with the values it has
// (d_SetupCCD(1)): the first free camera after a fresh load.
#include <ctime>

#include "host_world.h"

namespace r6host {
namespace {

WorldOptions worldOptions;
ULONGLONG clockBase = 0;
double wallBase = 0.0;

double WallNowMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    // 100 ns units since 1601; 11644473600 s lie between 1601 and 1970.
    return (double)(ticks.QuadPart / 10000ULL) - 11644473600000.0;
}

} // namespace

bool StartWorld(const WorldOptions& options, DriverApi* api, std::string* error)
{
    worldOptions = options;
    clockBase = GetTickCount64();
    wallBase = WallNowMs();
    return BindDriver(api, error);
}

bool StopWorld(std::string*)
{
    UnbindDriver();
    return true;
}

#if !defined(R6HOST_LINKED_DRIVER) // else driver_setup_linked.cpp
bool SetupValuesReachable()
{
    return false;
}

void ApplySetup(const DriverApi& api, const SetupValues&)
{
    api.Initialize(nullptr);
    api.SetupCCD(worldOptions.showDialog ? 0 : 1);
}

bool ListCameras(const DriverApi&, std::vector<CameraEntry>*)
{
    return false;
}
#endif

uint64_t ClockMs()
{
    return GetTickCount64();
}

double WallMsAt(uint64_t clockMs)
{
    return wallBase + (double)(clockMs - clockBase);
}

void Idle()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Sleep(10);
}

void ExposureBegun(int, uint32_t) {}

bool SetFlatPanel(bool)
{
    return false;
}

void HoldClock(bool) {}

std::string TakeWorldNews()
{
    return std::string();
}

} // namespace r6host
