#include "sim/sim_bus.h"

#include <algorithm>

#include "sim/device_path.h"

namespace sim {
namespace {

// The endpoint a name opens on a camera with this path, if any.
bool NameOpens(const std::string& name, const std::string& path, Endpoint* endpoint)
{
    if (SamePath(name, path)) {
        *endpoint = Endpoint::Device;
        return true;
    }
    if (name.size() != path.size() + 2 || !SamePath(name.substr(0, path.size()), path))
        return false;
    if (name[path.size()] != '\\')
        return false;
    char digit = name[path.size() + 1];
    if (digit < '0' || digit > '2')
        return false;
    *endpoint = static_cast<Endpoint>(digit - '0');
    return true;
}

// As the system does: the interface event to the windows registered for the
// class, and the change of the device tree to every top-level window.
void Announce(const SimCamera& camera, bool arrival)
{
    emu::BroadcastDeviceInterfaceChange(*InterfaceClass(camera.Type()),
                                        arrival ? camera.Path() : camera.RemovalName(), arrival);
    emu::BroadcastDeviceChange(DBT_DEVNODES_CHANGED, nullptr);
}

} // namespace

SimBus::~SimBus()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::shared_ptr<SimCamera>& camera : cameras_)
            camera->MarkDetached();
    }
    // Reads waiting on the cameras' pipes now fail.
    emu::DeviceStateChanged();
}

std::shared_ptr<SimCamera> SimBus::Attach(const CameraDescription& description)
{
    if (InterfaceClass(description.type) == nullptr)
        return nullptr;
    auto camera = std::make_shared<SimCamera>(description);
    return Attach(camera) ? camera : nullptr;
}

bool SimBus::Attach(const std::shared_ptr<SimCamera>& camera)
{
    if (!camera || !Insert(camera))
        return false;
    Announce(*camera, true);
    return true;
}

bool SimBus::Insert(const std::shared_ptr<SimCamera>& camera)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::shared_ptr<SimCamera>& present : cameras_)
        if (present == camera || SamePath(present->Path(), camera->Path()))
            return false;
    if (!camera->MarkAttached()) // on another bus
        return false;
    cameras_.push_back(camera);
    return true;
}

bool SimBus::Detach(const std::shared_ptr<SimCamera>& camera)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find(cameras_.begin(), cameras_.end(), camera);
        if (it == cameras_.end())
            return false;
        cameras_.erase(it);
        camera->MarkDetached();
    }
    Announce(*camera, false);
    return true;
}

std::vector<std::shared_ptr<SimCamera>> SimBus::Cameras(int cameraType) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<SimCamera>> found;
    for (const std::shared_ptr<SimCamera>& camera : cameras_)
        if (cameraType == 0 || camera->Type() == cameraType)
            found.push_back(camera);
    return found;
}

void SimBus::FailClass(int cameraType, DWORD error)
{
    if (InterfaceClass(cameraType) == nullptr)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    classErrors_[cameraType] = error;
}

std::shared_ptr<SimCamera> SimBus::Find(const std::string& name, Endpoint* endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::shared_ptr<SimCamera>& camera : cameras_)
        if (NameOpens(name, camera->Path(), endpoint))
            return camera;
    return nullptr;
}

std::unique_ptr<emu::DeviceFile> SimBus::Open(const std::string& name, DWORD* error)
{
    Endpoint endpoint;
    std::shared_ptr<SimCamera> camera = Find(name, &endpoint);
    if (!camera) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    // A detach between the lookup and here is caught by the camera itself.
    return camera->Open(endpoint, error);
}

bool SimBus::Interfaces(const GUID& interfaceClass, std::vector<emu::InterfaceEntry>* out,
                        DWORD* error)
{
    out->clear();
    int type = CameraTypeOf(interfaceClass);
    std::lock_guard<std::mutex> lock(mutex_);
    if (type != 0 && classErrors_[type] != 0) {
        *error = classErrors_[type];
        return false;
    }
    for (const std::shared_ptr<SimCamera>& camera : cameras_)
        if (type != 0 && camera->Type() == type)
            out->push_back(camera->Entry());
    return true;
}

} // namespace sim
