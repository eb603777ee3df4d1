// Loading and unloading the module: the module record's defaults, the peer
// window class and its procedure, and that an unload gives everything back.
#include <gtest/gtest.h>

#include "device/device_registry.h"
#include "device/event_handler.h"
#include "state/driver_state.h"
#include "driver/module_lifecycle.h"
#include "driver/peer_window.h"
#include "platform/emul/control.h"

namespace {

class RecordingHandler : public r6odi::CEventHandler {
public:
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) override
    {
        ++calls;
        lastMessage = message;
        resultOnEntry = *result;
        if (message == WM_USER + 1) {
            *result = 1234;
            return true;
        }
        if (message == WM_USER + 2)
            return true; // handled, result cell left alone
        (void)wParam;
        return false;
    }
    int calls = 0;
    UINT lastMessage = 0;
    LRESULT resultOnEntry = 0;
};

LRESULT CALLBACK OtherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        emu::TakeMisuseReports();
        before = emu::Snapshot();
    }
    void TearDown() override
    {
        if (module != nullptr)
            emu::FreeModule(module);
        emu::Counts after = emu::Snapshot();
        EXPECT_EQ(after.handles, before.handles);
        EXPECT_EQ(after.classes, before.classes);
        EXPECT_EQ(after.windows, before.windows);
        EXPECT_EQ(after.heapBlocks, before.heapBlocks);
        EXPECT_EQ(after.criticalSections, before.criticalSections);
        EXPECT_TRUE(emu::TakeMisuseReports().empty());
    }
    void Load() { module = emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll"); }
    HWND CreatePeer()
    {
        return CreateWindowExA(WS_EX_TOOLWINDOW, MAKEINTATOM(driverState.peerClassAtom), "", 0, -1, -1,
                               0, 0, nullptr, nullptr, driverState.moduleInstance, nullptr);
    }

    emu::Counts before;
    HINSTANCE module = nullptr;
};

TEST_F(ModuleTest, AttachFillsTheRecordWithItsDefaults)
{
    Load();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(driverState.moduleInstance, module);
    EXPECT_EQ(GetModuleInstance(), module);
    EXPECT_NE(driverState.peerClassAtom, 0);
    EXPECT_NE(driverState.deviceRegistry, nullptr);
    EXPECT_EQ(driverState.camera, nullptr);
    EXPECT_EQ(driverState.hostWindow, nullptr);
    EXPECT_EQ(driverState.currentFilter, 0);
    EXPECT_STREQ(driverState.nameText, "");
    EXPECT_STREQ(driverState.infoText, "");
    EXPECT_EQ(driverState.maxTempStep, 0.5f);
    EXPECT_EQ(driverState.preflashTime, 0.0f);
    EXPECT_EQ(driverState.selectedCameraId, -1);
    EXPECT_EQ(driverState.ccdTemperature, -274.0f);
    EXPECT_EQ(driverState.setTemperature, -274.0f);
    EXPECT_EQ(driverState.clearCount, 4);
    EXPECT_EQ(driverState.readMode, 0);
    EXPECT_FALSE(driverState.windowHeating);
    EXPECT_FALSE(driverState.preflashSupported);
    ASSERT_NE(driverState.instanceList, nullptr);
    EXPECT_EQ(driverState.instanceList->Count(), 0);
    EXPECT_EQ(emu::Snapshot().classes, before.classes + 1);
}

TEST_F(ModuleTest, ClassNameIsTheTickCountInHexFollowedByTheFixedText)
{
    emu::SetNow(0xBEEF01);
    Load();
    HWND byName = CreateWindowExA(0, "beef01vellK6DriverPeerWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  module, nullptr);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(static_cast<WORD>(GetClassLongA(byName, GCW_ATOM)), driverState.peerClassAtom);
    DestroyWindow(byName);
    emu::SetNow(0);
}

TEST_F(ModuleTest, UnloadGivesEverythingBackAndTheClassIsGone)
{
    Load();
    ATOM atom = driverState.peerClassAtom;
    ASSERT_TRUE(r6odi::ClaimDevice(r6odi::kPathCapacity, "\\\\?\\usb#vid_1278&pid_0507#ks1#{guid}"));
    EXPECT_EQ(emu::Snapshot().handles, before.handles + 1);
    ASSERT_TRUE(emu::FreeModule(module));
    module = nullptr;
    EXPECT_EQ(driverState.deviceRegistry, nullptr);
    EXPECT_EQ(driverState.instanceList, nullptr);
    EXPECT_EQ(CreateWindowExA(0, MAKEINTATOM(atom), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_DOES_NOT_EXIST);
}

TEST_F(ModuleTest, RepeatedLoadsLeaveNothingBehind)
{
    for (int i = 0; i < 20; ++i) {
        emu::Advance(17);
        Load();
        ASSERT_NE(module, nullptr);
        HWND peer = CreatePeer();
        ASSERT_NE(peer, nullptr);
        DestroyWindow(peer);
        emu::FreeModule(module);
        module = nullptr;
    }
}

TEST_F(ModuleTest, ProcedureRoutesOnlyOwnedWindowsOfItsOwnClass)
{
    Load();
    RecordingHandler handler;
    HWND peer = CreatePeer();
    ASSERT_NE(peer, nullptr);
    // Creation messages came before any owner was stored.
    EXPECT_EQ(handler.calls, 0);

    // No owner yet: default processing.
    EXPECT_EQ(PeerWindowProc(peer, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(handler.calls, 0);

    SetWindowLongPtrA(peer, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler));
    EXPECT_EQ(PeerWindowProc(peer, WM_USER + 1, 0, 0), 1234);
    EXPECT_EQ(handler.resultOnEntry, reinterpret_cast<LRESULT>(peer));
    // Handled without touching the cell: the window handle's value comes back.
    EXPECT_EQ(PeerWindowProc(peer, WM_USER + 2, 0, 0), reinterpret_cast<LRESULT>(peer));
    // Not handled: default processing.
    EXPECT_EQ(PeerWindowProc(peer, WM_USER + 3, 0, 0), 0);
    EXPECT_EQ(handler.calls, 3);

    // A window of another class is never routed, even with user data set.
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OtherProc;
    wc.hInstance = module;
    wc.lpszClassName = "SomeoneElsesClass";
    ATOM other = RegisterClassExA(&wc);
    ASSERT_NE(other, 0);
    HWND foreign = CreateWindowExA(0, MAKEINTATOM(other), "", 0, 0, 0, 0, 0, nullptr, nullptr, module, nullptr);
    SetWindowLongPtrA(foreign, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler));
    EXPECT_EQ(PeerWindowProc(foreign, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(PeerWindowProc(nullptr, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(handler.calls, 3);

    // Messages dispatched through the queue reach the owner too.
    PostMessageA(peer, WM_USER + 1, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(DispatchMessageA(&msg), 1234);

    SetWindowLongPtrA(peer, GWLP_USERDATA, 0);
    SetWindowLongPtrA(foreign, GWLP_USERDATA, 0);
    DestroyWindow(foreign);
    DestroyWindow(peer);
    UnregisterClassA(MAKEINTATOM(other), module);
}

TEST_F(ModuleTest, NoRegistryMeansNoClaimRatherThanACrash)
{
    // The first heap allocation of attach is the registry.
    emu::FailAllocations(1);
    Load();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(driverState.deviceRegistry, nullptr);
    EXPECT_FALSE(r6odi::ClaimDevice(r6odi::kPathCapacity, "\\\\?\\usb#vid_1278&pid_0507#ks1#{guid}"));
    r6odi::ReleaseDevice(r6odi::kPathCapacity, "\\\\?\\usb#vid_1278&pid_0507#ks1#{guid}");
}

} // namespace
