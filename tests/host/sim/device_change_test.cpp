// WM_DEVICECHANGE reaches a camera's peer window for more than its own
// interface class: DBT_DEVNODES_CHANGED without a record (lParam 0) and the
// arrival and removal of volumes and ports go to every top-level window.
// The camera object must take none of them for its device.
#include <cstring>
#include <string>
#include <vector>

#include "host/driver/camera_fixture.h"
#include "sim/interface_class.h"

namespace {

using r6odi::CCamera;

// A record of another device type, sized as the system sizes it. A port's
// name is the camera's own path: only the type tells the two apart.
std::vector<uint64_t> Record(DWORD type, const std::string& name)
{
    size_t size = type == DBT_DEVTYP_VOLUME ? sizeof(DEV_BROADCAST_VOLUME)
                                            : offsetof(DEV_BROADCAST_PORT_A, dbcp_name) + name.size() + 1;
    std::vector<uint64_t> cells((size + 7) / 8, 0);
    auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(cells.data());
    header->dbch_size = static_cast<DWORD>(size);
    header->dbch_devicetype = type;
    if (type == DBT_DEVTYP_VOLUME)
        reinterpret_cast<DEV_BROADCAST_VOLUME*>(header)->dbcv_unitmask = 1u << 4;
    else
        std::memcpy(reinterpret_cast<DEV_BROADCAST_PORT_A*>(header)->dbcp_name, name.c_str(),
                    name.size() + 1);
    return cells;
}

struct Broadcast {
    WPARAM event;
    DWORD type; // 0 with DBT_DEVNODES_CHANGED: no record
};

const Broadcast kOtherChanges[] = {
    {DBT_DEVNODES_CHANGED, 0},
    {DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME},
    {DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT},
    {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME},
    {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT},
};

void Send(const Broadcast& b, const std::string& name)
{
    std::vector<uint64_t> record = b.type ? Record(b.type, name) : std::vector<uint64_t>();
    emu::BroadcastDeviceChange(b.event, record.empty() ? nullptr
                                                       : reinterpret_cast<DEV_BROADCAST_HDR*>(record.data()));
    PumpMessages();
}

class DeviceChangeTest : public CameraTest {};

TEST_F(DeviceChangeTest, ConnectedCameraIgnoresOtherDeviceChanges)
{
    auto camera = Attach(1, 5, "KS00005");
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    camera->ClearWireLog();
    for (const Broadcast& b : kOtherChanges) {
        SCOPED_TRACE(std::to_string(b.event) + "/" + std::to_string(b.type));
        Send(b, camera->Path());
        EXPECT_TRUE(c->IsConnected());
    }
    EXPECT_TRUE(camera->WireRecords().empty());
}

TEST_F(DeviceChangeTest, SearchingCameraSearchesOnlyForAnInterfaceArrival)
{
    // A camera that lost its device and waits for it, registered for its
    // class; the device came back while another object held it.
    auto camera = Attach(1, 5, "KS00005");
    CCamera* waiting = OpenCamera();
    ASSERT_TRUE(waiting->IsConnected());
    bus.Detach(camera);
    PumpMessages();
    bus.Attach(camera);
    CCamera* holder = OpenCamera();
    ASSERT_TRUE(holder->IsConnected());
    PumpMessages();
    ASSERT_FALSE(waiting->IsConnected());
    // The device is free now, but nothing says so to the waiting camera.
    holder->Release();
    for (const Broadcast& b : kOtherChanges) {
        SCOPED_TRACE(std::to_string(b.event) + "/" + std::to_string(b.type));
        Send(b, camera->Path());
        EXPECT_FALSE(waiting->IsConnected());
    }
    emu::BroadcastDeviceInterfaceChange(*sim::InterfaceClass(1), camera->Path(), true);
    PumpMessages();
    EXPECT_TRUE(waiting->IsConnected());
}

} // namespace
