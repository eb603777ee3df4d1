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
constexpr uint64_t kMostReplyDrain = 64 * 1024;
// A real device set has no gaps this long: an error that repeats for every
// index would otherwise walk all 2^32 of them.
constexpr int kLongestFailingRun = 64;

HANDLE OpenPipe(int capacity, const char* path, const char* suffix)
{
    char name[kPathCapacity + 1];
    hostsupport::JoinTexts(kPathCapacity, name, capacity, path, 0, suffix);
    // The reply pipe is read within a limit of the driver's own.
    return suffix[1] == '0' ? OpenDeviceFile(name) : OpenReadPipe(name);
}

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
    if (!DrainPipe(replyPipe, reply, kGetInfoReplyLength, kMostReplyDrain))
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

// Whether the walk of one class accepts this open, claimable device.
bool AcceptDevice(int capacity, const char* path, int32_t wantedId)
{
    if (!ClaimDevice(capacity, path))
        return false;
    if (wantedId == -1 || IdentifyDevice(capacity, path) == wantedId)
        return true;
    ReleaseDevice(capacity, path);
    return false;
}

} // namespace

HANDLE OpenDeviceFile(const char* name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE OpenDeviceInterface(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData,
                           int capacity, char* pathBuffer)
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
        return INVALID_HANDLE_VALUE;
    auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(memory);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, detail, size, nullptr, nullptr)) {
        hostsupport::Free(&memory);
        return INVALID_HANDLE_VALUE;
    }
    // The record ends with the path's terminator inside `size` bytes only if
    // the system kept its promise; the copy is bounded by what was allocated.
    int available = static_cast<int>(size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));
    hostsupport::CopyText(capacity, pathBuffer, available, detail->DevicePath);
    HANDLE device = OpenDeviceFile(pathBuffer);
    hostsupport::Free(&memory);
    return device;
}

int32_t IdentifyDevice(int capacity, const char* path)
{
    HANDLE commandPipe = OpenPipe(capacity, path, "\\0");
    if (commandPipe == INVALID_HANDLE_VALUE)
        return -1;
    HANDLE replyPipe = OpenPipe(capacity, path, "\\1");
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
        HANDLE device = OpenDeviceInterface(set, &interfaceData, capacity, pathBuffer);
        if (device == INVALID_HANDLE_VALUE)
            continue;
        if (callback != nullptr) {
            callback(IdentifyDevice(capacity, pathBuffer));
            CloseHandle(device);
            continue;
        }
        if (AcceptDevice(capacity, pathBuffer, wantedId)) {
            accepted = device;
            break;
        }
        CloseHandle(device);
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
