#pragma once

#include "hostsupport/list.h"
#include "platform/win32.h"

namespace r6odi {

// Capacity of every device path and pipe name, without the terminator.
constexpr int kPathCapacity = 260;

// One device claimed by this process. The element owns its claim event:
// destroying an element that still holds one closes it, so that the claims
// left at process detach are given back with the registry.
class CDeviceListElem : public CListElem {
public:
    ~CDeviceListElem() override;

    char devicePath[kPathCapacity + 1] = {};
    HANDLE claimEvent = nullptr;
};

// The process-wide list of claimed device paths. The critical section keeps
// two camera objects of this process (the driver's camera and a probe of the
// setup list, say) from claiming one device at the same time.
struct DeviceRegistry {
    CRITICAL_SECTION lock;
    CList devices;
};

// Made at process attach and destroyed at detach. Null when it could not be
// allocated; every operation below then behaves as if each device were
// claimed elsewhere, so no camera is ever opened without a claim.
DeviceRegistry* CreateDeviceRegistry();
void DestroyDeviceRegistry(DeviceRegistry* registry);

// The cross-process claim: a named event whose creator holds the device.
// Null when another process holds it or the event could not be created.
HANDLE CreateClaimEvent(const char* path);

// True when the device is now claimed by the caller.
bool ClaimDevice(int capacity, const char* path);
// Drops this process's claim on the path; letter case is ignored.
void ReleaseDevice(int capacity, const char* path);

} // namespace r6odi
