#include "exposure/aa_camera.h"

#include "state/driver_state.h"
#include "driver/module_hold.h"
#include "hostsupport/memory.h"
#include "protocol/readout_geometry.h"

CAACamera::CAACamera()
    : exposureThread(nullptr),
      exposureEvent(nullptr),
      exposureMs(0),
      frameX(0),
      frameY(0),
      frameWidth(768),
      frameHeight(512),
      readMode(0),
      preflashTime(0.0f),
      clearCount(4),
      ccdTemperature(kNoTemperature),
      smoothedUtilization(0.0f),
      targetTemperature(kNoTemperature),
      rampedSetPoint(kNoTemperature),
      exposing(false),
      shutterOpen(false),
      windowHeating(false),
      exposureNumber(0),
      exposureStart(0)
{
}

CAACamera::~CAACamera()
{
    StopExposureWorker();
    CloseExposureEvent();
}

void CAACamera::CloseExposureEvent()
{
    if (exposureEvent != nullptr) {
        CloseHandle(exposureEvent);
        exposureEvent = nullptr;
    }
}

bool CAACamera::Open(int32_t id)
{
    // Opening again (the setup sequence re-opens the camera) replaces the
    // event: a worker still waiting on the old one is collected first, and
    // its shutter closed, so that neither the worker nor the event is lost.
    if (exposureThread != nullptr || exposing)
        EndExposure();
    CloseExposureEvent();
    exposureEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!CCamera::Open(id))
        return false;
    // The whole of what the host may read: the crop of the file just read,
    // or the whole sensor.
    const r6odi::ReadoutRegion region = r6odi::HostRegion(*this);
    frameX = static_cast<int32_t>(region.left);
    frameY = static_cast<int32_t>(region.top);
    frameWidth = static_cast<int32_t>(region.width);
    frameHeight = static_cast<int32_t>(region.height);
    return true;
}

void CAACamera::Connect()
{
    CCamera::Connect();
    // Also while the camera waits for its device: the tick then keeps the
    // readings marked as missing.
    if (peerWindow != nullptr)
        SetTimer(peerWindow, kRegulationTimer, r6odi::kTimerPeriodMs, nullptr);
}

void CAACamera::Disconnect()
{
    CCamera::Disconnect();
}

void CAACamera::Release()
{
    // A camera taken down in the middle of an exposure (d_Finalize, a new
    // d_Initialize, a failed setup) closes the shutter it opened: nobody
    // else will, and the camera would be left exposing to the light.
    EndExposure();
    CloseExposureEvent();
    CCamera::Release();
}

bool CAACamera::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == kEndOfExposureMessage) {
        HandleEndOfExposure(wParam);
        *result = 0;
        return true;
    }
    if (message == WM_TIMER && wParam == kRegulationTimer) {
        RegulationTick();
        *result = 0;
        return true;
    }
    return CCamera::HandleMessage(message, wParam, lParam, result);
}

CAACamera* CreateDriverCamera()
{
    CAACamera* camera = hostsupport::New<CAACamera>();
    // From here on the module's code may run outside any export (messages,
    // timers, the worker): it must stay mapped whatever the host unloads.
    if (camera != nullptr)
        HoldModule();
    return camera;
}

void DestroyDriverCamera(CAACamera* camera)
{
    if (camera == nullptr)
        return;
    camera->Release();
    hostsupport::Delete(camera);
    // Nothing of the object is left that could call into the module.
    LetGoOfModule();
}
