#include "protocol/camera_info.h"
#include "setup/setup_dialog.h"
#include "setup_fixture.h"

namespace {

using r6odi::kFlagPreflash;

// The settings commands among a camera's writes: read mode (3), window
// heating (23), preflash (24) and set point (16).
Writes SettingsWrites(sim::SimCamera& camera)
{
    Writes settings;
    for (const auto& write : camera.CommandWrites())
        if (!write.empty() && (write[0] == 3 || write[0] == 23 || write[0] == 24 || write[0] == 16))
            settings.push_back(write);
    return settings;
}

struct ResendCase {
    const char* name;
    uint16_t flags;
    int32_t readMode;
    bool windowHeating;
    float preflashTime;
    int32_t clearCount;
    Writes expected;
};

class ResendTest : public SetupTest, public ::testing::WithParamInterface<ResendCase> {};

// Setting up again without a dialog re-opens the camera it had and sends it
// the settings the camera object kept; never a set point.
TEST_P(ResendTest, SetupWithoutDialogResendsTheCamerasSettings)
{
    const ResendCase& c = GetParam();
    AttachCamera(1, 3, "OTHER", kFlagPreflash);
    auto camera = AttachCamera(2, 41, "CAM-41", c.flags);
    d_Initialize(nullptr);
    driverState.camera->requestedId = 41;
    driverState.camera->Connect();
    ASSERT_EQ(driverState.camera->info.id, 41u);
    driverState.camera->readMode = c.readMode;
    driverState.camera->windowHeating = c.windowHeating;
    driverState.camera->preflashTime = c.preflashTime;
    driverState.camera->clearCount = c.clearCount;
    driverState.camera->targetTemperature = -15.0f;
    camera->ClearWireLog();

    EXPECT_EQ(d_SetupCCD(1), 1);
    EXPECT_EQ(d_GetOK(), 1);
    EXPECT_EQ(driverState.camera->info.id, 41u);
    EXPECT_EQ(SettingsWrites(*camera), c.expected);
    EXPECT_EQ(driverState.camera->targetTemperature, -15.0f);
    EXPECT_EQ(driverState.selectedCameraId, 41);
    EXPECT_EQ(driverState.preflashSupported, (c.flags & kFlagPreflash) != 0);
}

const ResendCase kResendCases[] = {
    {"LowNoiseNoPreflash", 0, 0, false, 2.0f, 4, {{3, 1}, {23, 0}}},
    {"StandardHeating", 0, 1, true, 0.0f, 4, {{3, 0}, {23, 1}}},
    {"PreflashSupported", kFlagPreflash, 0, true, 1.5f, 7, {{3, 1}, {23, 1}, {24, 0xDC, 0x05, 7}}},
    {"LongestPreflash", kFlagPreflash, 1, false, 65.535f, 20, {{3, 0}, {23, 0}, {24, 0xFF, 0xFF, 16}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ResendTest, ::testing::ValuesIn(kResendCases),
                         [](const ::testing::TestParamInfo<ResendCase>& info) { return info.param.name; });

TEST_F(SetupTest, ACameraUnpluggedBeforeOpeningIsDestroyed)
{
    auto camera = AttachCamera(1, 17, "CAM-100");
    Connect();
    bus.Detach(camera);
    EXPECT_EQ(d_SetupCCD(1), 1);
    EXPECT_EQ(driverState.camera, nullptr);
    EXPECT_EQ(d_GetOK(), 0);
}

// After a failed setup the host sets up again without d_Initialize: a new
// camera object opens with the values the record holds.
TEST_F(SetupTest, SetupAfterAFailedOneMakesTheCameraAgain)
{
    auto camera = AttachCamera(1, 17, "CAM-100", kFlagPreflash);
    Connect();
    driverState.camera->readMode = 1;
    driverState.camera->targetTemperature = -5.0f;
    bus.Detach(camera);
    d_SetupCCD(1);
    ASSERT_EQ(driverState.camera, nullptr);
    driverState.maxTempStep = 0.25f;
    bus.Attach(camera);
    camera->ClearWireLog();

    EXPECT_EQ(d_SetupCCD(1), 1);
    ASSERT_EQ(d_GetOK(), 1);
    EXPECT_EQ(driverState.selectedCameraId, 17);
    EXPECT_EQ(driverState.readMode, 1);
    EXPECT_EQ(driverState.camera->readMode, 1);
    EXPECT_EQ(driverState.camera->targetTemperature, -5.0f);
    EXPECT_EQ(driverState.maxTempStep, 0.25f);
    EXPECT_EQ(SettingsWrites(*camera), (Writes{{3, 0}, {23, 0}, {24, 0, 0, 4}}));
}

TEST_F(SetupTest, ANeverConnectedCameraAsksForTheFirstFreeOne)
{
    AttachCamera(1, 8, "CAM-8", kFlagPreflash);
    AttachCamera(1, 9, "CAM-9", kFlagPreflash);
    d_Initialize(nullptr);
    driverState.selectedCameraId = 9;
    driverState.preflashSupported = true;
    AnswerDialog({[](HWND dialog) {
        EXPECT_EQ(driverState.selectedCameraId, -1);
        EXPECT_FALSE(driverState.preflashSupported);
        emu::Click(dialog, IDCANCEL);
    }});
    d_SetupCCD(0);
    ASSERT_EQ(d_GetOK(), 1);
    EXPECT_EQ(driverState.camera->info.id, 8u);
}

// Cancel still re-opens the camera and sends what the camera object had.
TEST_F(SetupTest, CancelReopensWithTheCamerasOwnSettings)
{
    auto camera = AttachCamera(1, 17, "CAM-100", kFlagPreflash);
    Connect();
    driverState.camera->readMode = 1;
    driverState.camera->windowHeating = true;
    driverState.camera->preflashTime = 0.25f;
    driverState.camera->clearCount = 3;
    camera->ClearWireLog();
    AnswerDialog({Type(k6dlg::kClearCountEdit, "9"), Press(k6dlg::kWindowHeatingCheck), Press(IDCANCEL)});

    EXPECT_EQ(d_SetupCCD(0), 1);
    EXPECT_EQ(d_GetOK(), 1);
    EXPECT_EQ(SettingsWrites(*camera), (Writes{{3, 0}, {23, 1}, {24, 250, 0, 3}}));
    EXPECT_EQ(driverState.clearCount, 3);
}

// A camera chosen in the dialog is the one opened; the one before is let go.
TEST_F(SetupTest, TheChosenCameraIsOpened)
{
    auto first = AttachCamera(1, 30, "ZETA");
    auto second = AttachCamera(1, 12, "ALPHA");
    Connect();
    ASSERT_EQ(driverState.camera->info.id, 30u);
    AnswerDialog({Choose(k6dlg::kCameraList, 1), Press(IDOK)});
    d_SetupCCD(0);
    ASSERT_EQ(d_GetOK(), 1);
    EXPECT_EQ(driverState.selectedCameraId, 12);
    EXPECT_EQ(driverState.camera->info.id, 12u);
    EXPECT_EQ(Shown(k6dlg::kCameraList).entries, (std::vector<std::string>{"ZETA, Id: 30", "ALPHA, Id: 12"}));
    EXPECT_EQ(Shown(k6dlg::kCameraList).selection, 0);
    // The first camera is free again for anyone.
    CAACamera* other = CreateDriverCamera();
    EXPECT_TRUE(other->Open(30));
    DestroyDriverCamera(other);
}

} // namespace

namespace {

// Setting up in the middle of an exposure closes the shutter before the
// camera is let go, and leaves no worker behind to end a later exposure.
TEST_F(SetupTest, AnExposureRunningIsEndedBeforeTheDeviceCloses)
{
    for (bool elapsed : {false, true}) {
        SCOPED_TRACE(elapsed ? "elapsed" : "exposing");
        auto camera = AttachCamera(1, 17 + elapsed, "CAM-100");
        Connect();
        d_StartExposure(60000, 1);
        if (elapsed)
            emu::Advance(60000); // the worker has posted 2024, not yet handled
        camera->ClearWireLog();
        d_SetupCCD(1);
        Writes writes = camera->CommandWrites();
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes[0], (std::vector<uint8_t>{13}));
        EXPECT_EQ(driverState.camera->exposureThread, nullptr);
        EXPECT_EQ(d_IsExposing(), 0);
        camera->ClearWireLog();
        PumpMessages();
        EXPECT_TRUE(camera->CommandWrites().empty()) << "a late end of exposure closed the shutter again";
        d_Finalize();
        bus.Detach(camera);
    }
}

} // namespace

namespace {

// A camera plugged in while the dialog is open makes the closed camera
// object search for its device again (its peer window still takes device
// events); the camera the user then chooses is still the one opened.
TEST_F(SetupTest, ADeviceArrivingDuringTheDialogDoesNotOverrideTheChoice)
{
    AttachCamera(1, 1, "CAM-A");
    AttachCamera(1, 2, "CAM-B");
    Connect();
    ASSERT_EQ(driverState.camera->info.id, 1u);
    AnswerDialog({[this](HWND dialog) {
                      AttachCamera(1, 3, "CAM-C");
                      emu::ChooseEntry(dialog, k6dlg::kCameraList, 1);
                  },
                  [](HWND dialog) {
                      EXPECT_TRUE(driverState.camera->IsConnected()) << "the arrival reopened the camera";
                      emu::Click(dialog, IDOK);
                  }});
    d_SetupCCD(0);
    ASSERT_EQ(d_GetOK(), 1);
    EXPECT_EQ(driverState.selectedCameraId, 2);
    EXPECT_EQ(driverState.camera->info.id, 2u);
    CAACamera* other = CreateDriverCamera();
    EXPECT_TRUE(other->Open(1)) << "the camera given up is free";
    DestroyDriverCamera(other);
}

} // namespace

namespace {

// The camera chosen, by its id or as the first free one, is unplugged and
// another is plugged in: neither the reconnection nor the next setup takes
// the other camera, and once the chosen one is back the setup opens it.
TEST_F(SetupTest, SetupAfterAnUnplugKeepsToTheChosenCamera)
{
    for (int32_t chosen : {17, -1}) {
        SCOPED_TRACE(chosen);
        auto mine = AttachCamera(1, 17, "CAM-17");
        driverState.selectedCameraId = chosen;
        d_SetupCCD(1);
        ASSERT_EQ(d_GetOK(), 1);
        bus.Detach(mine);
        auto other = AttachCamera(1, 19, "CAM-19");
        PumpMessages();
        EXPECT_EQ(d_GetOK(), 0) << "reconnected to another camera";

        d_SetupCCD(1);
        EXPECT_EQ(d_GetOK(), 0) << "set up another camera";
        EXPECT_EQ(driverState.selectedCameraId, 17);
        bus.Attach(mine);
        d_SetupCCD(1);
        ASSERT_EQ(d_GetOK(), 1);
        EXPECT_EQ(driverState.camera->info.id, 17u);
        d_Finalize();
        bus.Detach(mine);
        bus.Detach(other);
    }
}

} // namespace
