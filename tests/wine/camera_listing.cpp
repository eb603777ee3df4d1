// Two copies of the driver in two processes: one exposing on a camera, the
// other building the setup's camera list meanwhile. The list must leave the
// held camera alone, and the exposing process's frames stay exact.
#include <cstdio>
#include <string>
#include <vector>

#include "contract/harness.h"
#include "driver/exports.h"
#include "driver/module_lifecycle.h"
#include "setup/instance_list.h"
#include "state/driver_state.h"
#include "wine/pipe_camera.h"
#include "wine/wine_program.h"

namespace wine_tests {
namespace {

const DWORD kProcessWait = 60000;
const uint32_t kHeldId = 41;
const uint32_t kFreeId = 42;
const int kWidth = 64;
const int kHeight = 48;
const int kListings = 5;

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

// One light frame of the whole sensor, every pixel checked.
bool ExposeOneFrame(std::vector<uint16_t>* frame)
{
    d_Subframe(0, 0, 100000, 100000, 0);
    if (d_StartExposure(1, 1) != 1)
        return false;
    DWORD start = GetTickCount();
    while (d_IsExposing() && GetTickCount() - start < 5000) {
        PumpMessages();
        Sleep(1);
    }
    PumpMessages();
    d_StartDownload();
    if (d_GetWidth(0) != kWidth || d_GetHeight(0) != kHeight)
        return false;
    frame->assign(static_cast<size_t>(kWidth) * kHeight, 0);
    if (d_ReadImage(frame->data()) != 1)
        return false;
    for (int row = 0; row < kHeight; ++row)
        for (int column = 0; column < kWidth; ++column)
            if ((*frame)[static_cast<size_t>(row) * kWidth + column] != PipeCameraPixel(kHeight - 1 - row, column))
                return false;
    return true;
}

int ExposeUntilStopped(HANDLE connected, HANDLE stop)
{
    driverState.selectedCameraId = kHeldId;
    d_SetupCCD(1);
    if (d_GetOK() != 1)
        return kChildFailed;
    SetEvent(connected);
    std::vector<uint16_t> frame;
    int result = kChildWon;
    for (int frames = 0; frames == 0 || WaitForSingleObject(stop, 0) == WAIT_TIMEOUT; ++frames) {
        if (!ExposeOneFrame(&frame)) {
            result = kChildFrameWrong;
            break;
        }
    }
    d_Finalize();
    return result;
}

// Each list holds the free camera alone, labelled with its id.
bool ListsTheFreeCameraAlone()
{
    if (k6dlg::BuildInstanceList() != 1)
        return false;
    const k6dlg::CDriverInstanceListElem* entry = k6dlg::InstanceAt(0);
    std::string label = std::string(kPipeCameraName) + ", Id: " + std::to_string(kFreeId);
    return entry != nullptr && entry->cameraId == static_cast<int32_t>(kFreeId) && label == entry->text;
}

// A child that is ended should the test stop half-way.
struct Child {
    HANDLE process = nullptr;
    ~Child()
    {
        if (process != nullptr) {
            WaitForChild(process, 0);
            CloseHandle(process);
        }
    }
};

} // namespace

int RunExposePipeCameraChild(char** arguments)
{
    HANDLE connected = OpenParentsEvent(arguments[0]);
    HANDLE stop = OpenParentsEvent(arguments[1]);
    if (!connected || !stop)
        return kChildFailed;
    OnProcessAttach(GetModuleHandleA(nullptr));
    int result = ExposeUntilStopped(connected, stop);
    OnProcessDetach();
    return result;
}

int RunListPipeCamerasChild(char**)
{
    OnProcessAttach(GetModuleHandleA(nullptr));
    bool right = true;
    for (int round = 0; round < kListings && right; ++round)
        right = ListsTheFreeCameraAlone();
    OnProcessDetach();
    return right ? kChildWon : kChildListWrong;
}

} // namespace wine_tests

using namespace wine_tests;

CONTRACT_TEST(Claims, ListingLeavesACameraExposingInAnotherProcessAlone)
{
    PipeCamera held(kHeldId, kWidth, kHeight);
    PipeCamera free(kFreeId, kWidth, kHeight);
    REQUIRE(held.Ready() && free.Ready());
    char connectedName[64], stopName[64], arguments[200];
    contract::UniqueName(connectedName, sizeof connectedName, "connected");
    contract::UniqueName(stopName, sizeof stopName, "stop");
    HANDLE connected = CreateEventA(nullptr, TRUE, FALSE, connectedName);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, stopName);
    REQUIRE(connected && stop);
    Child exposer, lister;
    std::snprintf(arguments, sizeof arguments, "expose-pipe-camera %s %s", connectedName, stopName);
    exposer.process = StartChild(arguments);
    REQUIRE(exposer.process != nullptr);
    REQUIRE(WaitForSingleObject(connected, kProcessWait) == WAIT_OBJECT_0);

    int framesBefore = held.Frames();
    lister.process = StartChild("list-pipe-cameras");
    REQUIRE(lister.process != nullptr);
    CHECK_EQ(WaitForChild(lister.process, kProcessWait), kChildWon);
    CHECK(held.Frames() > framesBefore);
    SetEvent(stop);
    CHECK_EQ(WaitForChild(exposer.process, kProcessWait), kChildWon);

    // Nobody but the exposing process opened the held camera's files.
    const DWORD exposerId = GetProcessId(exposer.process);
    for (DWORD visitor : held.Visitors())
        CHECK_EQ(visitor, exposerId);
    bool listerAskedTheFreeOne = false;
    for (DWORD visitor : free.Visitors())
        listerAskedTheFreeOne |= visitor == GetProcessId(lister.process);
    CHECK(listerAskedTheFreeOne);
    CloseHandle(connected);
    CloseHandle(stop);
}
