// Attach and detach announce themselves the way the system does: a
// WM_DEVICECHANGE for the windows registered for the camera's class.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "sim/device_path.h"
#include "sim/sim_bus.h"
#include "sim_test_support.h"

namespace {

struct Notice {
    WPARAM event;
    int cameraType;
    std::string name;
};

std::vector<Notice>& Notices()
{
    static std::vector<Notice> notices;
    return notices;
}

// DBT_DEVNODES_CHANGED carries no record (lParam 0); every top-level window
// gets it, registered or not.
int treeChanges = 0;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED && lParam == 0) {
        ++treeChanges;
        return TRUE;
    }
    if (message == WM_DEVICECHANGE) {
        auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
        Notices().push_back({wParam, sim::CameraTypeOf(record->dbcc_classguid), record->dbcc_name});
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class NotificationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Notices().clear();
        treeChanges = 0;
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = RecordingProcedure;
        wc.lpszClassName = "SimNotificationTest";
        atom = RegisterClassExA(&wc);
        ASSERT_NE(0, atom);
        window = CreateWindowExA(WS_EX_TOOLWINDOW, MAKEINTATOM(atom), "", 0, -1, -1, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override
    {
        for (HDEVNOTIFY registration : registrations)
            UnregisterDeviceNotification(registration);
        DestroyWindow(window);
        UnregisterClassA(MAKEINTATOM(atom), nullptr);
    }

    void Register(int cameraType)
    {
        DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = *sim::InterfaceClass(cameraType);
        HDEVNOTIFY registration = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        ASSERT_NE(nullptr, registration);
        registrations.push_back(registration);
    }

    void Pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }

    sim::SimBus bus;
    ATOM atom = 0;
    HWND window = nullptr;
    std::vector<HDEVNOTIFY> registrations;
};

TEST_F(NotificationTest, AttachAndDetachAreAnnouncedToTheirClass)
{
    Register(1);
    auto camera = bus.Attach(simtest::Camera(1, 1, "KS00001"));
    bus.Attach(simtest::Camera(2, 2, "KM00002"));
    Pump();
    ASSERT_EQ(1u, Notices().size());
    EXPECT_EQ((WPARAM)DBT_DEVICEARRIVAL, Notices()[0].event);
    EXPECT_EQ(1, Notices()[0].cameraType);
    EXPECT_EQ(camera->Path(), Notices()[0].name);

    ASSERT_TRUE(bus.Detach(camera));
    Pump();
    ASSERT_EQ(2u, Notices().size());
    EXPECT_EQ((WPARAM)DBT_DEVICEREMOVECOMPLETE, Notices()[1].event);
    EXPECT_EQ(camera->Path(), Notices()[1].name);

    ASSERT_TRUE(bus.Attach(camera));
    Pump();
    ASSERT_EQ(3u, Notices().size());
    EXPECT_EQ((WPARAM)DBT_DEVICEARRIVAL, Notices()[2].event);
    EXPECT_EQ(camera->Path(), Notices()[2].name);
    EXPECT_EQ(4, treeChanges); // the type 2 camera's too
}

TEST_F(NotificationTest, RemovalCanNameThePathInAnotherCase)
{
    Register(3);
    auto camera = bus.Attach(simtest::Camera(3, 3, "kl00003"));
    camera->SetRemovalName(sim::UpperCasePath(camera->Path()));
    ASSERT_TRUE(bus.Detach(camera));
    Pump();
    ASSERT_EQ(2u, Notices().size());
    EXPECT_EQ(camera->Path(), Notices()[0].name);
    EXPECT_EQ("\\\\?\\USB#VID_1278&PID_0507#KL00003#{9DF858C4-1FFF-4AA8-8479-4E8CB9AC9095}",
              Notices()[1].name);
}

TEST_F(NotificationTest, RefusedAttachAndDetachAnnounceNothing)
{
    Register(1);
    auto camera = bus.Attach(simtest::Camera(1, 1, "KS00001"));
    Pump();
    Notices().clear();
    treeChanges = 0;
    EXPECT_FALSE(bus.Attach(simtest::Camera(1, 9, "KS00001")));
    EXPECT_FALSE(bus.Attach(camera));
    ASSERT_TRUE(bus.Detach(camera));
    EXPECT_FALSE(bus.Detach(camera));
    Pump();
    EXPECT_EQ(1u, Notices().size());
    EXPECT_EQ(1, treeChanges);
}

} // namespace
