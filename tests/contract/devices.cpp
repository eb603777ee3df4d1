// Device discovery and device events with no camera attached: the three
// interface classes are searched and found empty, and a hidden window can
// register for the events of one of them.
#include <cstddef>
#include <cstring>

#include "contract/test_window.h"

namespace {

const GUID kInterfaceClasses[3] = {
    {0x79349DC7, 0xCF70, 0x438E, {0xBC, 0x10, 0xF4, 0x54, 0xF0, 0x2D, 0x20, 0x67}},
    {0x2BCDDA06, 0xF3C9, 0x4AE6, {0xB2, 0x57, 0x21, 0x9D, 0xEF, 0xA0, 0xAB, 0xCB}},
    {0x9DF858C4, 0x1FFF, 0x4AA8, {0x84, 0x79, 0x4E, 0x8C, 0xB9, 0xAC, 0x90, 0x95}},
};

// The filter block as the driver builds it: 290 zeroed bytes laid out as a
// DEV_BROADCAST_DEVICEINTERFACE_A with the class and room for a path.
struct FilterBlock {
    union {
        DEV_BROADCAST_DEVICEINTERFACE_A filter;
        unsigned char bytes[290];
    };
};

FilterBlock MakeFilter(const GUID& interfaceClass)
{
    FilterBlock block;
    std::memset(block.bytes, 0, sizeof block.bytes);
    block.filter.dbcc_size = sizeof block.bytes;
    block.filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    block.filter.dbcc_reserved = 0;
    block.filter.dbcc_classguid = interfaceClass;
    return block;
}

} // namespace

CONTRACT_TEST(SetupApi, NoDeviceInAnyCameraClass)
{
    for (const GUID& interfaceClass : kInterfaceClasses) {
        HDEVINFO set =
            SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        REQUIRE(set != INVALID_HANDLE_VALUE);
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        SetLastError(ERROR_SUCCESS);
        CHECK(!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, 0, &data));
        CHECK_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
        CHECK(SetupDiDestroyDeviceInfoList(set));
    }
}

CONTRACT_TEST(DeviceEvents, HiddenWindowRegistersForAClass)
{
    contract::TestWindow test;
    REQUIRE(test.window() != nullptr);
    FilterBlock block = MakeFilter(kInterfaceClasses[0]);
    // The name area carries a device path; registration does not look at it.
    const char* path = "\\\\?\\USB#VID_0000&PID_0000#0#{79349dc7-cf70-438e-bc10-f454f02d2067}";
    std::memcpy(block.bytes + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), path,
                std::strlen(path));
    HDEVNOTIFY notification =
        RegisterDeviceNotificationA(test.window(), &block.filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    REQUIRE(notification != nullptr);
    CHECK(UnregisterDeviceNotification(notification));
}

CONTRACT_TEST(DeviceEvents, RegistrationOutlivesItsWindow)
{
    char name[64];
    ATOM atom = contract::RegisterRecordingClass(name, sizeof name);
    REQUIRE(atom != 0);
    HWND window = contract::CreateHiddenWindow(atom);
    REQUIRE(window != nullptr);
    FilterBlock block = MakeFilter(kInterfaceClasses[2]);
    HDEVNOTIFY notification =
        RegisterDeviceNotificationA(window, &block.filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    REQUIRE(notification != nullptr);
    CHECK(DestroyWindow(window));
    CHECK(UnregisterDeviceNotification(notification));
    CHECK(UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));
}

// The peer window is a top-level window: besides the events of its class it
// gets the system's broadcasts, DBT_DEVNODES_CHANGED with no record at all.
CONTRACT_TEST(DeviceEvents, TreeChangeReachesAHiddenTopLevelWindowWithoutARecord)
{
    contract::TestWindow test;
    REQUIRE(test.window() != nullptr);
    contract::BroadcastDeviceNodesChanged();
    contract::TestWindow::DispatchPending();
    int seen = 0;
    for (const contract::ReceivedMessage& m : contract::Received(WM_DEVICECHANGE)) {
        if (m.window != test.window())
            continue;
        ++seen;
        CHECK_EQ(m.wParam, DBT_DEVNODES_CHANGED);
        CHECK_EQ(m.lParam, 0);
    }
    CHECK_EQ(seen, 1);
}
