#pragma once

#include <cstdint>

#include "device/device_registry.h"
#include "device/event_handler.h"
#include "hostsupport/list.h"
#include "platform/win32.h"
#include "protocol/camera_info.h"
#include "protocol/readout_request.h"

namespace r6odi {

constexpr int kLastErrorCapacity = 128;

// Whether what a pipe delivers next answers the next request.
enum class PipeState : uint8_t {
    InStep, // every answer so far came whole and alone
    Fresh,  // just opened: the first answer is checked for more behind it
    Behind, // a read failed or came short: drained before its next use,
            // and the answer to that use is checked for more behind it
};
constexpr DWORD kDefaultSingleReadLimit = 0x3000000; // 48 MiB
constexpr UINT_PTR kUtilizationTimer = 1;
constexpr UINT kTimerPeriodMs = 10000;

// The connection object for one camera: its device and three pipes, its
// claim on the device, a hidden peer window for device events and timers,
// and the per-camera fields the protocol, readout and configuration keep.
//
// States:
//
//   Constructed --Connect--> Searching <--removal / CloseDevice-- Connected
//        |                     |   \--arrival / OpenDevice finds it-->/
//        |                     | Disconnect                          | Disconnect
//        |                     v                                     v
//        +------Connect---- Detached <-------------------------------+
//   Release, from any state: -> Detached -> Released (buffers, filters gone)
//
//   Searching: peer window, no device (deviceHandle invalid, status bit 0 clear)
//   Connected: device claimed, device and pipes open, status bit 0, timer 1
//   Detached:  no window, no registration, no device
//
// Every operation runs on the thread that owns the peer window; the object
// has no lock.
class CCamera : public CEventHandler {
public:
    CCamera();
    CCamera(const CCamera&) = delete;
    CCamera& operator=(const CCamera&) = delete;

    // Slot 0: device arrival and removal, timer 1.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    // Slot 1: peer window, device and pipes, device-event registration.
    virtual void Connect();
    // Slot 2: close the device, end the registration, destroy the window.
    virtual void Disconnect();
    // Slot 3.
    virtual void Shutdown();

    void CreatePeerWindow();
    void RegisterDeviceEvents();
    void OpenDevice();
    void CloseDevice();
    bool Open(int32_t id);
    void Release();
    bool IsConnected() const { return (status & kConnected) != 0; }

    // The command channel. Each returns false with the reason in lastError.
    bool SendCommand(BYTE code);
    bool SendCommandByte(BYTE code, uint32_t value);
    bool SendCommandWord(BYTE code, uint32_t value);
    bool ReadCameraInfo(CameraInfo* destination);
    bool SetBinningX(int32_t factor);
    bool SetBinningY(int32_t factor);
    bool SetReadMode(int32_t mode);
    bool OpenShutter();
    bool CloseShutter();
    bool SetWindowHeating(bool on);
    bool SetPreflash(double seconds, uint32_t clears);
    void ReportReplyStatus(BYTE replyStatus);

    // Sensor readings and the set point (sensor_readings.cpp).
    bool GetValue(uint32_t index, float* reading);
    bool SetTemperature(float celsius);
    bool GetPower(float* utilizationOut);

    // One frame from the image pipe into the request's buffer (readout.cpp).
    bool ReadImage(const ReadoutRequest& request);
    // Writes a message of the camera's own into lastError.
    void Fail(const char* message);

    static constexpr uint32_t kConnected = 1u << 0;

    HWND peerWindow;
    HDEVNOTIFY deviceNotification;
    uint32_t status;
    int32_t cameraType;
    CameraInfo info;
    char devicePath[kPathCapacity + 1];
    // The camera this object stands for, which every search looks for: the
    // id Open was given, or, after Open(-1), the id of the camera found.
    // -1 (the first free camera) only until a camera has identified itself.
    int32_t requestedId;
    HANDLE deviceHandle;
    HANDLE commandPipe;
    HANDLE replyPipe;
    HANDLE imagePipe;
    uint32_t singleReadLimit;
    float utilization;
    int32_t cropX;
    int32_t cropY;
    int32_t cropWidth;
    int32_t cropHeight;
    int32_t hwBinX;
    int32_t hwBinY;
    int32_t swBinX;
    int32_t swBinY;
    int32_t doubleSample;
    BYTE* rawBuffer;
    uint32_t rawBufferSize;
    BYTE* sampleBuffer;
    uint32_t sampleBufferSize;
    CList filters;
    char lastError[kLastErrorCapacity + 1];
    // How far the reply and image pipes are in step with the requests
    // (pipe_reads.h).
    PipeState replyState;
    PipeState imageState;

private:
    // One exchange on the command and reply pipes; request and reply share
    // `buffer`, which must hold the longer of the two.
    bool Exchange(BYTE* buffer, DWORD requestLength, DWORD replyLength);
    bool SetBinning(BYTE code, int32_t factor, int32_t* field);
    bool HandleDeviceChange(WPARAM event, LPARAM record);
    bool IsOwnRemoval(LPARAM record) const;
    void EndDeviceEvents();
    HANDLE OpenPipe(const char* suffix);
    bool OpenPipes();
};

// Destroys a plain camera made by ProbeCamera; kNoProbe and null do nothing.
// The driver's CAACamera goes with DestroyDriverCamera (exposure/aa_camera.h),
// whose Release also stops the exposure worker; it is refused here.
void DestroyCamera(CCamera* camera);

// What ProbeCamera returns when the camera cannot be opened.
CCamera* const kNoProbe = reinterpret_cast<CCamera*>(static_cast<intptr_t>(-1));

// A plain camera opened for `id` (-1: the first free one), or kNoProbe.
CCamera* ProbeCamera(int32_t id);

// The guarded entry points of the exported interface: each refuses a camera
// that is not connected without touching the pipes.
bool RequireConnected(CCamera* camera);
bool CameraSetBinning(CCamera* camera, int32_t factorX, int32_t factorY);
bool CameraSetFilter(CCamera* camera, int32_t position);
bool CameraStartExposure(CCamera* camera);
bool CameraGetValue(CCamera* camera, uint32_t index, float* reading);
bool CameraReadImage(CCamera* camera, int32_t x, int32_t y, int32_t width, int32_t height,
                     uint32_t bufferSize, uint16_t* buffer);

// Property queries answered from the stored CameraInfo and fixed values;
// false (output untouched) for an index that is not supported.
bool CameraGetBoolean(CCamera* camera, uint32_t index, BYTE* value);
bool CameraGetInteger(CCamera* camera, uint32_t index, int32_t* value);
bool CameraGetString(CCamera* camera, uint32_t index, int capacity, char* destination);
bool CameraReadModeName(CCamera* camera, uint32_t index, int capacity, char* destination);

} // namespace r6odi
