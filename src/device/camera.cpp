#include "device/camera.h"

#include <cstddef>

#include "device/enumeration.h"
#include "device/interface_classes.h"
#include "device/pipe_reads.h"
#include "state/driver_state.h"
#include "hostsupport/memory.h"
#include "hostsupport/text.h"

namespace r6odi {
namespace {

// The filter block handed to RegisterDeviceNotificationA: a
// DEV_BROADCAST_DEVICEINTERFACE_A with room for a whole device path.
constexpr DWORD kFilterBlockSize = 290;
constexpr size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
static_assert(kNameOffset == 28, "the name area starts at byte 28");
static_assert(kNameOffset + kPathCapacity + 1 < kFilterBlockSize, "the path fits the block");

// The longest name a removal record is read for, whatever it claims.
constexpr int kRemovalNameLimit = 1023;

void CloseIfOpen(HANDLE* handle)
{
    if (*handle != INVALID_HANDLE_VALUE) {
        CloseHandle(*handle);
        *handle = INVALID_HANDLE_VALUE;
    }
}

// A readout work buffer goes with its size, so that a later readout grows
// it from nothing again.
void FreeWorkBuffer(BYTE** buffer, uint32_t* size)
{
    void* block = *buffer;
    hostsupport::Free(&block);
    *buffer = nullptr;
    *size = 0;
}

// A broadcast record for a device interface, or null for anything else.
const DEV_BROADCAST_DEVICEINTERFACE_A* InterfaceRecord(LPARAM lParam)
{
    auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return nullptr;
    return reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header);
}

} // namespace

CCamera::CCamera()
    : peerWindow(nullptr),
      deviceNotification(nullptr),
      status(0),
      cameraType(kNoCamera),
      info(),
      devicePath(),
      requestedId(-1),
      deviceHandle(INVALID_HANDLE_VALUE),
      commandPipe(INVALID_HANDLE_VALUE),
      replyPipe(INVALID_HANDLE_VALUE),
      imagePipe(INVALID_HANDLE_VALUE),
      singleReadLimit(kDefaultSingleReadLimit),
      utilization(0.0f),
      cropX(-1),
      cropY(-1),
      cropWidth(-1),
      cropHeight(-1),
      hwBinX(1),
      hwBinY(1),
      swBinX(1),
      swBinY(1),
      doubleSample(1),
      rawBuffer(nullptr),
      rawBufferSize(0),
      sampleBuffer(nullptr),
      sampleBufferSize(0),
      lastError(),
      replyState(PipeState::InStep),
      imageState(PipeState::InStep)
{
    info.width = 768;
    info.height = 512;
}

void CCamera::CreatePeerWindow()
{
    if (peerWindow != nullptr) {
        // Let go of the old window before it is destroyed, so that none of
        // its last messages reach this object; its timers die with it.
        SetWindowLongPtrA(peerWindow, GWLP_USERDATA, 0);
        DestroyWindow(peerWindow);
        peerWindow = nullptr;
    }
    peerWindow = CreateWindowExA(WS_EX_TOOLWINDOW, MAKEINTATOM(driverState.peerClassAtom), "", 0, -1, -1,
                                 0, 0, nullptr, nullptr, driverState.moduleInstance, nullptr);
    if (peerWindow != nullptr)
        SetWindowLongPtrA(peerWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void CCamera::RegisterDeviceEvents()
{
    const GUID* interfaceClass = InterfaceClassOf(cameraType);
    if (peerWindow == nullptr || interfaceClass == nullptr)
        return;
    void* memory = nullptr;
    if (!hostsupport::Allocate(&memory, kFilterBlockSize))
        return;
    auto* filter = static_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(memory);
    filter->dbcc_size = kFilterBlockSize;
    filter->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter->dbcc_reserved = 0;
    filter->dbcc_classguid = *interfaceClass;
    hostsupport::CopyBytes(devicePath, static_cast<BYTE*>(memory) + kNameOffset, kPathCapacity + 1);
    deviceNotification = RegisterDeviceNotificationA(peerWindow, filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    hostsupport::Free(&memory);
}

void CCamera::EndDeviceEvents()
{
    if (deviceNotification != nullptr) {
        UnregisterDeviceNotification(deviceNotification);
        deviceNotification = nullptr;
    }
}

HANDLE CCamera::OpenPipe(const char* suffix)
{
    return OpenDevicePipe(kPathCapacity, devicePath, suffix);
}

bool CCamera::OpenPipes()
{
    // What an earlier user of the device left unread is no answer of ours.
    // The reply pipe is drained before the camera's description is asked
    // for; the image pipe only checked after the first frame, so that no
    // drain lengthens that frame's exposure.
    replyState = PipeState::Behind;
    imageState = PipeState::Fresh;
    commandPipe = OpenPipe("\\0");
    if (commandPipe == INVALID_HANDLE_VALUE) {
        Fail("CameraInit failed, cannot open camera command pipe");
        return false;
    }
    replyPipe = OpenPipe("\\1");
    if (replyPipe == INVALID_HANDLE_VALUE) {
        Fail("CameraInit failed, cannot open camera reply pipe");
        return false;
    }
    imagePipe = OpenPipe("\\2");
    if (imagePipe == INVALID_HANDLE_VALUE) {
        Fail("CameraInit failed, cannot open camera image pipe");
        return false;
    }
    return true;
}

void CCamera::OpenDevice()
{
    if (deviceHandle != INVALID_HANDLE_VALUE)
        return;
    CloseDevice();
    for (int32_t type = kCameraType1; type <= kCameraType3; ++type) {
        deviceHandle = EnumerateInterfaceClass(InterfaceClassOf(type), devicePath, nullptr, requestedId,
                                               kPathCapacity);
        if (deviceHandle != INVALID_HANDLE_VALUE) {
            cameraType = type;
            break;
        }
    }
    if (deviceHandle == INVALID_HANDLE_VALUE) {
        // The search leaves the path of the last device it looked at, which
        // may be another camera's: a later CloseDevice would release that
        // camera's claim. Only a claim this object took is ever released.
        devicePath[0] = '\0';
        cameraType = kNoCamera;
        status &= ~kConnected;
        return;
    }
    // Kept in upper case from here on: removal notifications name the path
    // in whatever letter case the system chooses.
    hostsupport::UpperCase(kPathCapacity, devicePath);
    if (!OpenPipes()) {
        CloseDevice();
        return;
    }
    status |= kConnected;
    // Asked for the first free camera, the object is bound to the one it
    // found: a reconnection after an unplug, and the next setup, look for
    // that camera and never take another one that happens to be free.
    if (ReadCameraInfo(&info) && requestedId == -1)
        requestedId = static_cast<int32_t>(info.id);
    if (peerWindow != nullptr)
        SetTimer(peerWindow, kUtilizationTimer, kTimerPeriodMs, nullptr);
}

void CCamera::CloseDevice()
{
    if (peerWindow != nullptr)
        KillTimer(peerWindow, kUtilizationTimer);
    status &= ~kConnected;
    if (devicePath[0] != '\0') {
        ReleaseDevice(kPathCapacity, devicePath);
        devicePath[0] = '\0';
    }
    CloseIfOpen(&deviceHandle);
    CloseIfOpen(&commandPipe);
    CloseIfOpen(&replyPipe);
    CloseIfOpen(&imagePipe);
}

void CCamera::Connect()
{
    // A registration made for an earlier peer window would otherwise be
    // overwritten, and leak, when the new one is made.
    EndDeviceEvents();
    CreatePeerWindow();
    OpenDevice();
    RegisterDeviceEvents();
}

void CCamera::Disconnect()
{
    CloseDevice();
    EndDeviceEvents();
    if (peerWindow != nullptr) {
        HWND window = peerWindow;
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        peerWindow = nullptr;
        DestroyWindow(window);
    }
}

void CCamera::Shutdown()
{
    Disconnect();
}

bool CCamera::IsOwnRemoval(LPARAM lParam) const
{
    const DEV_BROADCAST_DEVICEINTERFACE_A* record = InterfaceRecord(lParam);
    if (record == nullptr || devicePath[0] == '\0')
        return false;
    // The name is read no further than its terminator, the record's own
    // size and a fixed limit, whichever comes first.
    int limit = kRemovalNameLimit;
    if (record->dbcc_size < kNameOffset + 1)
        return false;
    if (record->dbcc_size - kNameOffset < static_cast<DWORD>(limit))
        limit = static_cast<int>(record->dbcc_size - kNameOffset);
    char name[kPathCapacity + 1];
    hostsupport::CopyText(kPathCapacity, name, limit, record->dbcc_name);
    hostsupport::UpperCase(kPathCapacity, name);
    return hostsupport::CompareTexts(kPathCapacity, name, kPathCapacity, devicePath) == 0;
}

bool CCamera::HandleDeviceChange(WPARAM event, LPARAM lParam)
{
    if (event == DBT_DEVICEARRIVAL && InterfaceRecord(lParam) != nullptr) {
        // Any arrival in the class starts a search for the wanted camera; a
        // camera that holds its device ignores it.
        OpenDevice();
        return true;
    }
    if (event == DBT_DEVICEREMOVECOMPLETE && IsOwnRemoval(lParam)) {
        CloseDevice();
        return true;
    }
    return false;
}

bool CCamera::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    if (message == WM_DEVICECHANGE)
        return HandleDeviceChange(wParam, lParam);
    if (message == WM_TIMER && wParam == kUtilizationTimer)
        GetPower(&utilization);
    return false;
}

void CCamera::Release()
{
    filters.Clear();
    CloseDevice();
    Disconnect();
    FreeWorkBuffer(&rawBuffer, &rawBufferSize);
    FreeWorkBuffer(&sampleBuffer, &sampleBufferSize);
    Disconnect();
}

void DestroyCamera(CCamera* camera)
{
    if (camera == nullptr || camera == kNoProbe)
        return;
    camera->Release();
    hostsupport::Delete(camera);
}

CCamera* ProbeCamera(int32_t id)
{
    CCamera* camera = hostsupport::New<CCamera>();
    if (camera == nullptr)
        return kNoProbe;
    if (camera->Open(id))
        return camera;
    DestroyCamera(camera);
    return kNoProbe;
}

} // namespace r6odi
