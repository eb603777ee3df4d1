// The simulated USB bus behind the emulated CreateFileA and SetupAPI.
//
// Cameras are attached under the interface class of their type; SetupAPI
// lists a class's cameras in the order they were attached. Attach and detach
// send the arrival and removal notifications that the system would, then
// DBT_DEVNODES_CHANGED (lParam 0) to every top-level window.
//
// Open(name) accepts a camera's device path (any letter case) for the device
// itself and the path followed by a backslash and 0, 1 or 2 for its command,
// reply and image pipe. Any number of handles may be open at once, as far as
// their share modes allow (CreateFileA checks them).
//
// Thread-safe: the bus guards its list with its own lock and never calls
// into the emulation while holding it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/emul/control.h"
#include "sim/camera_description.h"
#include "sim/endpoint.h"
#include "sim/interface_class.h"
#include "sim/sim_camera.h"

namespace sim {

class SimBus : public emu::DeviceBus {
public:
    SimBus() = default;
    // Cameras still referred to by handles stay alive but are disconnected.
    ~SimBus() override;
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    // Plugs in a new camera. Null when its type has no class or a camera
    // with the same path is attached.
    std::shared_ptr<SimCamera> Attach(const CameraDescription& description);
    // Plugs a detached camera in again: same path, same state; it takes its
    // place after the cameras attached meanwhile. False when it is attached
    // already or its path is taken.
    bool Attach(const std::shared_ptr<SimCamera>& camera);
    // Unplugs a camera. False when it is not attached here.
    bool Detach(const std::shared_ptr<SimCamera>& camera);

    // Attached cameras of one type (0: all), in attach order.
    std::vector<std::shared_ptr<SimCamera>> Cameras(int cameraType = 0) const;

    // SetupDiGetClassDevsA for the type's class fails with `error` (0: not).
    void FailClass(int cameraType, DWORD error);

    // emu::DeviceBus
    std::unique_ptr<emu::DeviceFile> Open(const std::string& name, DWORD* error) override;
    bool Interfaces(const GUID& interfaceClass, std::vector<emu::InterfaceEntry>* out,
                    DWORD* error) override;

private:
    bool Insert(const std::shared_ptr<SimCamera>& camera);
    std::shared_ptr<SimCamera> Find(const std::string& name, Endpoint* endpoint) const;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimCamera>> cameras_; // attached, in attach order
    DWORD classErrors_[kLastCameraType + 1] = {};
};

} // namespace sim
