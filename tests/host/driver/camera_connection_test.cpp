// Finding, claiming and opening a camera, and what happens when its cable is
// pulled and plugged in again.
#include <cctype>
#include <cstring>

#include "camera_fixture.h"
#include "device/device_registry.h"
#include "device/interface_classes.h"

namespace {

using r6odi::CCamera;

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

class ConnectionTest : public CameraTest {};

TEST_F(ConnectionTest, OpenClaimsTheDeviceOpensThreePipesAndReadsItsDescription)
{
    auto camera = Attach(1, 17, "KS00017", "CAM-100");
    emu::Counts before = emu::Snapshot();
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    EXPECT_EQ(c->cameraType, 1);
    EXPECT_EQ(std::string(c->devicePath), Upper(camera->Path()));
    EXPECT_EQ(c->info.id, 17u);
    EXPECT_EQ(std::string(c->info.description, 7), "CAM-100");
    EXPECT_EQ(camera->CommandWrites(), (Writes{{0x00}}));
    EXPECT_EQ(camera->OpenFiles(sim::Endpoint::Device), 1);
    EXPECT_EQ(camera->OpenFiles(sim::Endpoint::Command), 1);
    EXPECT_EQ(camera->OpenFiles(sim::Endpoint::Reply), 1);
    EXPECT_EQ(camera->OpenFiles(sim::Endpoint::Image), 1);
    emu::Counts after = emu::Snapshot();
    EXPECT_EQ(after.windows, before.windows + 1);
    EXPECT_EQ(after.timers, before.timers + 1);
    EXPECT_EQ(after.registrations, before.registrations + 1);
    // Device, three pipes and the claim event.
    EXPECT_EQ(after.handles, before.handles + 5);
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 1);
    EXPECT_STREQ(c->lastError, "");
}

TEST_F(ConnectionTest, FirstFreeCameraIsSearchedInClassOrder)
{
    Attach(3, 30, "KS00030");
    auto type2 = Attach(2, 20, "KS00020");
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    EXPECT_EQ(c->cameraType, 2);
    EXPECT_EQ(std::string(c->devicePath), Upper(type2->Path()));
}

TEST_F(ConnectionTest, WantedIdInTheSecondClassIsFoundAfterTheWholeFirstClass)
{
    auto a = Attach(1, 5, "KS00005");
    auto b = Attach(1, 6, "KS00006");
    auto wanted = Attach(2, 7, "KS00007");
    auto later = Attach(3, 7, "KS00008");
    CCamera* c = OpenCamera(7);
    ASSERT_TRUE(c->IsConnected());
    EXPECT_EQ(c->cameraType, 2);
    EXPECT_EQ(a->CommandWrites(), (Writes{{0x00}}));
    EXPECT_EQ(b->CommandWrites(), (Writes{{0x00}}));
    // Identified, then GetInfo on connection.
    EXPECT_EQ(wanted->CommandWrites(), (Writes{{0x00}, {0x00}}));
    EXPECT_TRUE(later->CommandWrites().empty());
}

TEST_F(ConnectionTest, NoCameraAnywhereLeavesTheObjectSearchingWithoutRegistration)
{
    Attach(1, 5, "KS00005");
    emu::Counts before = emu::Snapshot();
    CCamera* c = OpenCamera(99);
    EXPECT_FALSE(c->IsConnected());
    EXPECT_EQ(c->cameraType, 0);
    EXPECT_STREQ(c->lastError, "");
    EXPECT_NE(c->peerWindow, nullptr);
    EXPECT_EQ(emu::Snapshot().registrations, before.registrations);
    EXPECT_EQ(emu::Snapshot().timers, before.timers);
}

// A search that found nothing must not leave another camera's path behind:
// the searcher's next CloseDevice (or the one that starts its next search)
// would release that camera's claim, and a third object could then open
// the same device.
TEST_F(ConnectionTest, SearchThatFindsNothingNeverReleasesAnotherCamerasClaim)
{
    auto camera = Attach(1, 5, "KS00005");
    CCamera* holder = OpenCamera(-1);
    ASSERT_TRUE(holder->IsConnected());
    struct Search {
        const char* name;
        int32_t wantedId;
    } searches[] = {
        {"the first free camera", -1},
        {"the held camera's own id", 5},
        {"an id nobody has", 99},
    };
    for (const Search& search : searches) {
        CCamera* searcher = OpenCamera(search.wantedId);
        EXPECT_FALSE(searcher->IsConnected()) << search.name;
        EXPECT_STREQ(searcher->devicePath, "") << search.name;
        searcher->OpenDevice();
        searcher->CloseDevice();
        CCamera* third = OpenCamera(-1);
        EXPECT_FALSE(third->IsConnected()) << search.name << ": the device was opened twice";
        EXPECT_TRUE(holder->IsConnected());
        EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 1) << search.name;
    }
    // The holder's own claim is still there to be given back.
    holder->CloseDevice();
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 0);
    EXPECT_TRUE(OpenCamera(-1)->IsConnected());
}

TEST_F(ConnectionTest, CameraClaimedByAnotherProcessIsSkipped)
{
    auto taken = Attach(1, 5, "KS00005");
    auto free = Attach(1, 6, "KS00006");
    std::string name = "K6_" + taken->Path();
    for (char& ch : name)
        if (ch == '\\' || ch == '?' || ch == ':')
            ch = '_';
    HANDLE elsewhere = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    EXPECT_EQ(std::string(c->devicePath), Upper(free->Path()));
    EXPECT_TRUE(taken->WireRecords().empty());
    CloseHandle(elsewhere);
}

TEST_F(ConnectionTest, EachPipeThatCannotBeOpenedHasItsOwnMessageAndReleasesTheClaim)
{
    struct Case {
        sim::Endpoint pipe;
        const char* message;
    } cases[] = {
        {sim::Endpoint::Command, "CameraInit failed, cannot open camera command pipe"},
        {sim::Endpoint::Reply, "CameraInit failed, cannot open camera reply pipe"},
        {sim::Endpoint::Image, "CameraInit failed, cannot open camera image pipe"},
    };
    auto camera = Attach(1, 5, "KS00005");
    for (const Case& test : cases) {
        camera->ClearFaults();
        camera->FailOpen(test.pipe, ERROR_ACCESS_DENIED);
        CCamera* c = OpenCamera();
        EXPECT_FALSE(c->IsConnected());
        EXPECT_STREQ(c->lastError, test.message);
        EXPECT_STREQ(c->devicePath, "");
        EXPECT_EQ(c->deviceHandle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 0);
        for (auto endpoint : {sim::Endpoint::Device, sim::Endpoint::Command, sim::Endpoint::Reply,
                              sim::Endpoint::Image})
            EXPECT_EQ(camera->OpenFiles(endpoint), 0);
        // A device was found, so the registration stays for a retry.
        EXPECT_NE(c->deviceNotification, nullptr);
        c->Release();
    }
}

TEST_F(ConnectionTest, PipeFailureRetriesOnTheNextArrival)
{
    auto camera = Attach(1, 5, "KS00005");
    camera->FailOpen(sim::Endpoint::Image, ERROR_ACCESS_DENIED);
    CCamera* c = OpenCamera();
    ASSERT_FALSE(c->IsConnected());
    camera->ClearFaults();
    camera->ClearWireLog();
    emu::BroadcastDeviceInterfaceChange(*r6odi::InterfaceClassOf(1), camera->Path(), true);
    PumpMessages();
    EXPECT_TRUE(c->IsConnected());
    EXPECT_EQ(camera->CommandWrites(), (Writes{{0x00}}));
}

TEST_F(ConnectionTest, FailedGetInfoStillConnectsAndKeepsTheOldDescription)
{
    auto camera = Attach(1, 5, "KS00005");
    camera->InjectReplyFault(sim::ReplyFault::Status(0x83).ForCommand(0));
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    EXPECT_EQ(c->info.width, 768);
    EXPECT_EQ(c->info.height, 512);
    EXPECT_STREQ(c->lastError, "Instruction failed: Unknown instruction");
}

TEST_F(ConnectionTest, GetInfoCutShortNeverReplacesTheDescription)
{
    auto camera = Attach(1, 5, "KS00005");
    CCamera* c = NewCamera();
    c->info.id = 0xA5A5A5A5;
    camera->InjectReplyFault(sim::ReplyFault::CutTo(40).ForCommand(0));
    c->Open(-1);
    ASSERT_TRUE(c->IsConnected());
    EXPECT_EQ(c->info.id, 0xA5A5A5A5u);
    EXPECT_STREQ(c->lastError, "Instruction failed: Unknown return code");
}

TEST_F(ConnectionTest, RemovalClosesTheDeviceAndAnotherObjectCanThenClaimIt)
{
    auto camera = Attach(1, 5, "KS00005");
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    emu::Counts connected = emu::Snapshot();
    bus.Detach(camera);
    PumpMessages();
    EXPECT_FALSE(c->IsConnected());
    EXPECT_STREQ(c->devicePath, "");
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 0);
    EXPECT_EQ(emu::Snapshot().handles, connected.handles - 5);
    EXPECT_EQ(emu::Snapshot().timers, connected.timers - 1);
    // The window and its registration stay, waiting for the camera.
    EXPECT_NE(c->peerWindow, nullptr);
    EXPECT_EQ(emu::Snapshot().registrations, connected.registrations);

    CCamera* second = NewCamera();
    bus.Attach(camera);
    second->Open(-1);
    EXPECT_TRUE(second->IsConnected());
    // The first object's arrival search finds the device claimed.
    PumpMessages();
    EXPECT_FALSE(c->IsConnected());
}

TEST_F(ConnectionTest, RemovalMatchesThePathInAnyLetterCase)
{
    for (bool upper : {true, false}) {
        auto camera = Attach(1, 5, upper ? "ks00005" : "KS00005");
        camera->SetRemovalName(upper ? Upper(camera->Path()) : camera->Path());
        CCamera* c = OpenCamera();
        ASSERT_TRUE(c->IsConnected());
        bus.Detach(camera);
        PumpMessages();
        EXPECT_FALSE(c->IsConnected());
        c->Release();
    }
}

TEST_F(ConnectionTest, RemovalOfAnotherDeviceIsNotHandled)
{
    auto mine = Attach(1, 5, "KS00005");
    auto other = Attach(1, 6, "KS00006");
    CCamera* c = OpenCamera(5);
    ASSERT_TRUE(c->IsConnected());
    bus.Detach(other);
    PumpMessages();
    EXPECT_TRUE(c->IsConnected());

    // Asked directly, the camera says it did not handle it.
    std::vector<char> record(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + other->Path().size());
    auto* r = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.data());
    r->dbcc_size = static_cast<DWORD>(record.size());
    r->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(r->dbcc_name, other->Path().c_str(), other->Path().size() + 1);
    LRESULT result = 0;
    EXPECT_FALSE(c->HandleMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                  reinterpret_cast<LPARAM>(r), &result));
    // A record of another device type is not examined at all.
    r->dbcc_devicetype = 2;
    std::memcpy(r->dbcc_name, mine->Path().c_str(), mine->Path().size() + 1);
    EXPECT_FALSE(c->HandleMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                  reinterpret_cast<LPARAM>(r), &result));
    EXPECT_TRUE(c->IsConnected());
}

TEST_F(ConnectionTest, RemovalNeverMatchesACameraThatHoldsNoDevice)
{
    Attach(1, 5, "KS00005");
    CCamera* c = OpenCamera(9);
    ASSERT_FALSE(c->IsConnected());
    char record[sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)] = {};
    auto* r = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record);
    r->dbcc_size = sizeof record;
    r->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    LRESULT result = 0;
    EXPECT_FALSE(c->HandleMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                                  reinterpret_cast<LPARAM>(r), &result));
}

TEST_F(ConnectionTest, PlugInAfterRemovalReconnectsByItselfSendingOnlyGetInfo)
{
    auto camera = Attach(1, 5, "KS00005");
    AcceptCommand(*camera, 1);
    AcceptCommand(*camera, 3);
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->SetBinningX(2));
    ASSERT_TRUE(c->SetReadMode(1));
    bus.Detach(camera);
    PumpMessages();
    ASSERT_FALSE(c->IsConnected());
    camera->ClearWireLog();
    bus.Attach(camera);
    PumpMessages();
    EXPECT_TRUE(c->IsConnected());
    // The search asks for the id of the camera the object is bound to, then
    // the connection reads its info.
    EXPECT_EQ(camera->CommandWrites(), (Writes{{0x00}, {0x00}}));
    EXPECT_EQ(c->hwBinX, 2);
    EXPECT_EQ(c->doubleSample, 0);
}

TEST_F(ConnectionTest, ArrivalOfAnotherDeviceLeavesAConnectedCameraAlone)
{
    auto mine = Attach(1, 5, "KS00005");
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    auto other = Attach(1, 6, "KS00006");
    mine->ClearWireLog();
    PumpMessages();
    EXPECT_EQ(std::string(c->devicePath), Upper(mine->Path()));
    EXPECT_TRUE(mine->WireRecords().empty());
    EXPECT_TRUE(other->WireRecords().empty());
}

TEST_F(ConnectionTest, ReconnectAfterCloseDeviceReplacesTheRegistration)
{
    Attach(1, 5, "KS00005");
    CCamera* c = OpenCamera();
    ASSERT_TRUE(c->IsConnected());
    emu::Counts connected = emu::Snapshot();
    for (int i = 0; i < 3; ++i) {
        c->CloseDevice();
        EXPECT_FALSE(c->IsConnected());
        c->Connect();
        EXPECT_TRUE(c->IsConnected());
    }
    emu::Counts after = emu::Snapshot();
    EXPECT_EQ(after.registrations, connected.registrations);
    EXPECT_EQ(after.windows, connected.windows);
    EXPECT_EQ(after.timers, connected.timers);
    EXPECT_EQ(after.handles, connected.handles);
}

TEST_F(ConnectionTest, ReleaseGivesEverythingBackInEveryState)
{
    auto camera = Attach(1, 5, "KS00005");
    emu::Counts start = emu::Snapshot();
    auto expectNothingHeld = [&](const char* state) {
        emu::Counts now = emu::Snapshot();
        EXPECT_EQ(now.handles, start.handles) << state;
        EXPECT_EQ(now.windows, start.windows) << state;
        EXPECT_EQ(now.timers, start.timers) << state;
        EXPECT_EQ(now.registrations, start.registrations) << state;
        EXPECT_EQ(now.heapBlocks, start.heapBlocks) << state;
        EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 0) << state;
    };

    r6odi::DestroyCamera(hostsupport::New<CCamera>());
    expectNothingHeld("never connected");

    CCamera* searching = hostsupport::New<CCamera>();
    searching->Open(42);
    r6odi::DestroyCamera(searching);
    expectNothingHeld("searching");

    CCamera* connected = hostsupport::New<CCamera>();
    connected->Open(-1);
    ASSERT_TRUE(connected->IsConnected());
    r6odi::DestroyCamera(connected);
    expectNothingHeld("connected");

    CCamera* removed = hostsupport::New<CCamera>();
    removed->Open(-1);
    bus.Detach(camera);
    PumpMessages();
    r6odi::DestroyCamera(removed);
    expectNothingHeld("after removal");

    CCamera* twice = hostsupport::New<CCamera>();
    bus.Attach(camera);
    twice->Open(-1);
    twice->Disconnect();
    twice->Disconnect();
    EXPECT_EQ(twice->peerWindow, nullptr);
    r6odi::DestroyCamera(twice);
    expectNothingHeld("disconnected twice");
    PumpMessages();
}

TEST_F(ConnectionTest, ProbeGivesAConnectedCameraOrTheNoProbeValue)
{
    Attach(1, 5, "KS00005");
    CCamera* probe = r6odi::ProbeCamera(5);
    ASSERT_NE(probe, r6odi::kNoProbe);
    EXPECT_TRUE(probe->IsConnected());
    EXPECT_EQ(r6odi::ProbeCamera(6), r6odi::kNoProbe);
    r6odi::DestroyCamera(probe);
    r6odi::DestroyCamera(r6odi::kNoProbe);
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 0);
}

TEST_F(ConnectionTest, OpenResetsBinningReadModeAndCropWithoutSendingThem)
{
    auto camera = Attach(1, 5, "KS00005");
    CCamera* c = NewCamera();
    c->hwBinX = c->hwBinY = 3;
    c->doubleSample = 0;
    c->cropX = c->cropY = c->cropWidth = c->cropHeight = 10;
    c->Open(-1);
    EXPECT_EQ(c->hwBinX, 1);
    EXPECT_EQ(c->hwBinY, 1);
    EXPECT_EQ(c->swBinX, 1);
    EXPECT_EQ(c->swBinY, 1);
    EXPECT_EQ(c->doubleSample, 1);
    EXPECT_EQ(c->cropX, -1);
    EXPECT_EQ(c->cropHeight, -1);
    EXPECT_EQ(camera->CommandWrites(), (Writes{{0x00}}));
}

} // namespace
