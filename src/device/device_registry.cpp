#include "device/device_registry.h"

#include "state/driver_state.h"
#include "hostsupport/memory.h"
#include "hostsupport/text.h"

namespace r6odi {
namespace {

// Kernel object names may not hold a backslash, and colons and question
// marks in a device path would make the name depend on the namespace rules.
char ClaimNameCharacter(char c)
{
    return (c == ':' || c == '\\' || c == '?') ? '_' : c;
}

void BuildClaimEventName(const char* path, char (&name)[kPathCapacity + 1])
{
    int length = 0;
    for (const char* prefix = "K6_"; *prefix != '\0'; ++prefix)
        name[length++] = *prefix;
    for (; *path != '\0' && length < kPathCapacity; ++path)
        name[length++] = ClaimNameCharacter(*path);
    name[length] = '\0';
}

// Lock held. The first element claimed under the path, or null.
CDeviceListElem* FindClaim(DeviceRegistry* registry, int capacity, const char* path)
{
    CListElem* element;
    for (bool more = registry->devices.First(&element); more; more = registry->devices.Next(&element)) {
        auto* device = static_cast<CDeviceListElem*>(element);
        if (hostsupport::CompareTexts(capacity, path, kPathCapacity, device->devicePath) == 0)
            return device;
    }
    return nullptr;
}

} // namespace

CDeviceListElem::~CDeviceListElem()
{
    if (claimEvent != nullptr)
        CloseHandle(claimEvent);
}

DeviceRegistry* CreateDeviceRegistry()
{
    DeviceRegistry* registry = hostsupport::New<DeviceRegistry>();
    if (registry != nullptr)
        InitializeCriticalSection(&registry->lock);
    return registry;
}

void DestroyDeviceRegistry(DeviceRegistry* registry)
{
    if (registry == nullptr)
        return;
    registry->devices.Clear();
    DeleteCriticalSection(&registry->lock);
    hostsupport::Delete(registry);
}

HANDLE CreateClaimEvent(const char* path)
{
    char name[kPathCapacity + 1];
    BuildClaimEventName(path, name);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name);
    if (event == nullptr)
        return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(event);
        return nullptr;
    }
    return event;
}

bool ClaimDevice(int capacity, const char* path)
{
    DeviceRegistry* registry = driverState.deviceRegistry;
    if (registry == nullptr)
        return false;
    EnterCriticalSection(&registry->lock);
    bool claimed = false;
    if (FindClaim(registry, capacity, path) == nullptr) {
        // The event is created under the lock, so two camera objects of this
        // process never race for one device.
        HANDLE event = CreateClaimEvent(path);
        if (event != nullptr) {
            CDeviceListElem* device = hostsupport::New<CDeviceListElem>();
            if (device != nullptr) {
                hostsupport::CopyText(kPathCapacity, device->devicePath, capacity, path);
                device->claimEvent = event;
                registry->devices.Append(device);
                claimed = true;
            } else {
                CloseHandle(event);
            }
        }
    }
    LeaveCriticalSection(&registry->lock);
    return claimed;
}

void ReleaseDevice(int capacity, const char* path)
{
    DeviceRegistry* registry = driverState.deviceRegistry;
    if (registry == nullptr)
        return;
    EnterCriticalSection(&registry->lock);
    if (CDeviceListElem* device = FindClaim(registry, capacity, path)) {
        CloseHandle(device->claimEvent);
        device->claimEvent = nullptr;
        registry->devices.RemoveCurrent();
        hostsupport::Delete(device);
    }
    LeaveCriticalSection(&registry->lock);
}

} // namespace r6odi
