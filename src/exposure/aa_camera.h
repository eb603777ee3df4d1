// The camera object of the exported interface: a connected camera that also
// times exposures on a worker thread and regulates the sensor temperature on
// timer 2 of its peer window.
//
// Exposure states:
//
//   Idle --d_StartExposure--> Exposing --time out (worker posts 2024)--> Elapsed
//     ^                          |                                         |
//     +-- d_StartDownload / d_InterruptExposure / message 2024 (Elapsed) --+
//
// Everything but the worker runs on the host's thread, which owns the peer
// window; the worker only waits on exposureEvent and posts one message.
#pragma once

#include <cstdint>

#include "device/camera.h"
#include "platform/win32.h"

// The end-of-exposure message the worker posts to the peer window; wParam
// carries the number of the exposure that posted it.
constexpr UINT kEndOfExposureMessage = 2024;
// Timer 2 of the peer window: one regulation tick every 10 s.
constexpr UINT_PTR kRegulationTimer = 2;

class CAACamera : public r6odi::CCamera {
public:
    CAACamera();
    // A backstop for a free that did not come through Release: the worker
    // reads this object, so it must never outlive it.
    ~CAACamera();

    // Slot 0: message 2024 and timer 2 here, the rest to CCamera.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    // Slot 1: CCamera's Connect, then timer 2.
    void Connect() override;
    // Slot 2.
    void Disconnect() override;
    // Slot 4: the exposure event, CCamera's Open(id), the readout window.
    virtual bool Open(int32_t id);
    // Slot 5: the worker and the event, then CCamera's Release.
    virtual void Release();

    // The exposure cycle behind d_StartExposure, d_IsExposing and the end
    // of an exposure (exposure_worker.cpp). StartExposure is false, with
    // nothing exposing, when the connected camera refused to start or to
    // open the shutter.
    bool StartExposure(DWORD milliseconds, bool openShutter);
    bool IsExposing();
    void StopExposureWorker();
    void EndExposure();
    // Message 2024: ends the exposure whose number it carries, if that is
    // still the current one.
    void HandleEndOfExposure(WPARAM number);
    // One step of the cooling regulation, on timer 2 (regulation.cpp).
    void RegulationTick();

    HANDLE exposureThread;
    HANDLE exposureEvent;
    DWORD exposureMs;
    int32_t frameX;
    int32_t frameY;
    int32_t frameWidth;
    int32_t frameHeight;
    int32_t readMode;
    float preflashTime;
    int32_t clearCount;
    float ccdTemperature;
    float smoothedUtilization;
    float targetTemperature;
    float rampedSetPoint;
    bool exposing;
    bool shutterOpen;
    bool windowHeating;
    // Numbers the exposures, so that a message 2024 left over from an
    // exposure that has already ended cannot end the next one.
    WPARAM exposureNumber;
    // The performance counter when the exposure's commands had gone out:
    // the worker's wait is measured from there.
    LONGLONG exposureStart;

private:
    void CloseExposureEvent();
    void MoveSetPoint();
};

// Creates and destroys the one camera object of the module; destruction
// always runs the object's own Release first.
// How long the worker still waits for an exposure of `exposureMs` begun at
// performance count `start`, when the counter (`frequency` counts a second)
// reads `now`: never less than what is left, 0 once the time has run out.
DWORD ExposureWaitMs(DWORD exposureMs, LONGLONG start, LONGLONG now, LONGLONG frequency);

CAACamera* CreateDriverCamera();
void DestroyDriverCamera(CAACamera* camera);

namespace r6odi {
// DestroyCamera is for plain cameras: it runs CCamera's Release, which knows
// nothing of the exposure worker and its event. The driver's camera goes
// with DestroyDriverCamera; passing it here does not compile.
void DestroyCamera(CAACamera* camera) = delete;
} // namespace r6odi
