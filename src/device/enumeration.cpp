#include "device/enumeration.h"

#include "device/device_registry.h"
#include "device/interface_classes.h"
#include "device/pipe_reads.h"
#include "hostsupport/memory.h"
#include "hostsupport/text.h"

namespace r6odi {
namespace {

constexpr BYTE kGetInfo = 0;
constexpr BYTE kStatusSuccess = 0x80;
constexpr DWORD kGetInfoReplyLength = 61;
// A real device set has no gaps this long: an error that repeats for every
// index would otherwise walk all 2^32 of them.
constexpr int kLongestFailingRun = 64;

int32_t ReadLittleEndian32(const BYTE* bytes)
{
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

// One GetInfo exchange. A reply cut short is not an answer: its missing
// bytes would otherwise be taken for part of the id.
int32_t AskForId(HANDLE commandPipe, HANDLE replyPipe)
{
    // Fresh handles say nothing of what an earlier user of the device left
    // unread: a late reply must not pass for this one.
    BYTE reply[kGetInfoReplyLength] = {};
    if (!DrainPipe(replyPipe, reply, kGetInfoReplyLength, kMostReplyDrainBytes))
        return -1;
    BYTE request = kGetInfo;
    DWORD written = 0;
    // A request that did not leave is never answered; the read would wait
    // on a silent pipe for good.
    if (!WriteFile(commandPipe, &request, 1, &written, nullptr) || written != 1)
        return -1;
    reply[0] = 0;
    DWORD read = 0;
    bool got = ReadPipe(replyPipe, reply, kGetInfoReplyLength, kReplyLimitMs, &read);
    if (!got || read < kGetInfoReplyLength || reply[0] != kStatusSuccess)
        return -1;
    // A second reply right behind: this one was a late one of another user.
    BYTE scratch[kGetInfoReplyLength];
    if (!PipeStaysQuiet(replyPipe, scratch, kGetInfoReplyLength))
        return -1;
    return ReadLittleEndian32(reply + 1);
}

// The device at `path`, claimed and open, when the walk of one class takes
// it; INVALID_HANDLE_VALUE otherwise. The claim comes first: a device that
// another program holds is not even opened.
HANDLE AcceptDevice(int capacity, const char* path, int32_t wantedId)
{
    if (!ClaimDevice(capacity, path))
        return INVALID_HANDLE_VALUE;
    HANDLE device = OpenDeviceFile(path);
    if (device != INVALID_HANDLE_VALUE && (wantedId == -1 || IdentifyDevice(capacity, path) == wantedId))
        return device;
    if (device != INVALID_HANDLE_VALUE)
        CloseHandle(device);
    ReleaseDevice(capacity, path);
    return INVALID_HANDLE_VALUE;
}

// Reports the id of one device of the list. A device that another program
// or another camera object holds is neither opened nor asked: a request on
// its pipes could take its holder's reply, put a reply into the holder's
// exchange, or wait on a pipe the holder reads. It is left out. A free one
// is held for the moment of its identification, so that no one else talks
// to it meanwhile.
void ReportDevice(int capacity, const char* path, CameraIdCallback callback)
{
    if (!ClaimDevice(capacity, path))
        return;
    HANDLE device = OpenDeviceFile(path);
    if (device != INVALID_HANDLE_VALUE) {
        callback(IdentifyDevice(capacity, path));
        CloseHandle(device);
    }
    ReleaseDevice(capacity, path);
}

} // namespace

HANDLE OpenDeviceFile(const char* name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

bool ReadInterfacePath(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData, int capacity,
                       char* pathBuffer)
{
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, nullptr, 0, &required, nullptr);
    // The record is never smaller than its own header, whatever size the
    // query reported.
    DWORD size = required > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                     ? required
                     : static_cast<DWORD>(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
    void* memory = nullptr;
    if (!hostsupport::Allocate(&memory, size))
        return false;
    auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(memory);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, detail, size, nullptr, nullptr)) {
        hostsupport::Free(&memory);
        return false;
    }
    // The record ends with the path's terminator inside `size` bytes only if
    // the system kept its promise; the copy is bounded by what was allocated.
    int available = static_cast<int>(size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));
    hostsupport::CopyText(capacity, pathBuffer, available, detail->DevicePath);
    hostsupport::Free(&memory);
    return true;
}

HANDLE OpenDeviceInterface(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData,
                           int capacity, char* pathBuffer)
{
    if (!ReadInterfacePath(deviceInfoSet, interfaceData, capacity, pathBuffer))
        return INVALID_HANDLE_VALUE;
    return OpenDeviceFile(pathBuffer);
}

HANDLE OpenDevicePipe(int capacity, const char* path, const char* suffix)
{
    char name[kPathCapacity + 1];
    hostsupport::JoinTexts(kPathCapacity, name, capacity, path, 0, suffix);
    // The pipes the driver reads are read within limits of its own.
    return suffix[1] == '0' ? OpenDeviceFile(name) : OpenReadPipe(name);
}

int32_t IdentifyDevice(int capacity, const char* path)
{
    HANDLE commandPipe = OpenDevicePipe(capacity, path, "\\0");
    if (commandPipe == INVALID_HANDLE_VALUE)
        return -1;
    HANDLE replyPipe = OpenDevicePipe(capacity, path, "\\1");
    if (replyPipe == INVALID_HANDLE_VALUE) {
        CloseHandle(commandPipe);
        return -1;
    }
    int32_t id = AskForId(commandPipe, replyPipe);
    CloseHandle(commandPipe);
    CloseHandle(replyPipe);
    return id;
}

HANDLE EnumerateInterfaceClass(const GUID* interfaceClass, char* pathBuffer,
                               CameraIdCallback callback, int32_t wantedId, int capacity)
{
    HDEVINFO set = SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    HANDLE accepted = INVALID_HANDLE_VALUE;
    int failingRun = 0;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, interfaceClass, index, &interfaceData)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS || ++failingRun == kLongestFailingRun)
                break;
            continue;
        }
        failingRun = 0;
        if (!ReadInterfacePath(set, &interfaceData, capacity, pathBuffer))
            continue;
        if (callback != nullptr) {
            ReportDevice(capacity, pathBuffer, callback);
            continue;
        }
        accepted = AcceptDevice(capacity, pathBuffer, wantedId);
        if (accepted != INVALID_HANDLE_VALUE)
            break;
    }
    SetupDiDestroyDeviceInfoList(set);
    return accepted;
}

void EnumerateCameras(CameraIdCallback callback)
{
    char path[kPathCapacity + 1] = {};
    for (int32_t type = kCameraType1; type <= kCameraType3; ++type)
        EnumerateInterfaceClass(InterfaceClassOf(type), path, callback, -1, kPathCapacity);
}

} // namespace r6odi
