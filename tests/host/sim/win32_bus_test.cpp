// The bus installed under the emulated Win32 layer, reached the way the
// driver reaches it: CreateFileA, ReadFile, WriteFile, SetupAPI and device
// notifications on a window.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"
#include "sim/bus_installation.h"
#include "sim/camera_info.h"
#include "sim/default_cameras.h"
#include "sim/device_path.h"
#include "sim/interface_survey.h"
#include "sim/sim_bus.h"
#include "sim/survey_table.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

HANDLE OpenFile(const std::string& name)
{
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

class Win32BusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        handlesBefore = emu::Snapshot().handles;
        camera = bus.Attach(simtest::Camera(1, 0xA0B0C0D0, "KS00017"));
        ASSERT_TRUE(camera);
    }
    void TearDown() override
    {
        EXPECT_EQ(handlesBefore, emu::Snapshot().handles);
        EXPECT_EQ(0, emu::Snapshot().deviceInfoSets);
        EXPECT_TRUE(emu::TakeMisuseReports().empty());
    }

    sim::SimBus bus;
    sim::BusInstallation installation{bus};
    std::shared_ptr<sim::SimCamera> camera;
    long handlesBefore = 0;
};

TEST_F(Win32BusTest, GetInfoOverTheEmulatedPipes)
{
    HANDLE device = OpenFile(camera->Path());
    HANDLE command = OpenFile(camera->Path() + "\\0");
    HANDLE reply = OpenFile(sim::UpperCasePath(camera->Path()) + "\\1");
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    ASSERT_NE(INVALID_HANDLE_VALUE, command);
    ASSERT_NE(INVALID_HANDLE_VALUE, reply);

    BYTE request = 0;
    DWORD written = 0, read = 0;
    EXPECT_TRUE(WriteFile(command, &request, 1, &written, nullptr));
    EXPECT_EQ(1u, written);
    BYTE answer[61] = {};
    EXPECT_TRUE(ReadFile(reply, answer, sizeof answer, &read, nullptr));
    ASSERT_EQ(61u, read);
    EXPECT_EQ(0x80, answer[0]);
    sim::CameraInfoBlock block = sim::CameraInfoBytes(camera->Description());
    EXPECT_EQ(0, std::memcmp(block.data(), answer + 1, block.size()));
    EXPECT_EQ((std::vector<Bytes>{{0}}), camera->CommandWrites());

    EXPECT_TRUE(CloseHandle(reply));
    EXPECT_TRUE(CloseHandle(command));
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_EQ(0, camera->OpenFiles(sim::Endpoint::Command));
}

TEST_F(Win32BusTest, OpenRefusalsReachGetLastError)
{
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(camera->Path() + "\\7"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    camera->FailOpen(sim::Endpoint::Image, ERROR_ACCESS_DENIED);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(camera->Path() + "\\2"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
}

TEST_F(Win32BusTest, LostReplyFailsReadFileWithTimeOut)
{
    camera->SetPipeTimeout(5000);
    camera->InjectReplyFault(sim::ReplyFault::Lost());
    HANDLE command = OpenFile(camera->Path() + "\\0");
    HANDLE reply = OpenFile(camera->Path() + "\\1");
    BYTE request = 13, answer[1] = {0x55};
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(command, &request, 1, &done, nullptr));
    EXPECT_FALSE(ReadFile(reply, answer, 1, &done, nullptr));
    EXPECT_EQ((DWORD)ERROR_SEM_TIMEOUT, GetLastError());
    EXPECT_EQ(0u, done);
    CloseHandle(reply);
    CloseHandle(command);
}

TEST_F(Win32BusTest, UnpluggedCameraFailsItsHandlesUntilClosed)
{
    HANDLE command = OpenFile(camera->Path() + "\\0");
    ASSERT_NE(INVALID_HANDLE_VALUE, command);
    ASSERT_TRUE(bus.Detach(camera));
    BYTE request = 0;
    DWORD written = 5;
    EXPECT_FALSE(WriteFile(command, &request, 1, &written, nullptr));
    EXPECT_EQ((DWORD)ERROR_DEVICE_NOT_CONNECTED, GetLastError());
    EXPECT_EQ(0u, written);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(camera->Path() + "\\0"));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_TRUE(CloseHandle(command));
}

TEST_F(Win32BusTest, SetupApiListsTheClassInAttachOrder)
{
    auto second = bus.Attach(simtest::Camera(1, 2, "KS00002"));
    bus.Attach(simtest::Camera(2, 3, "KM00003"));
    sim::ClassSurvey survey = sim::SurveyClass(1);
    ASSERT_TRUE(survey.listed);
    ASSERT_EQ(2u, survey.interfaces.size());
    EXPECT_EQ(camera->Path(), survey.interfaces[0].path);
    EXPECT_EQ((int32_t)0xA0B0C0D0, survey.interfaces[0].id);
    EXPECT_EQ(0u, survey.interfaces[0].error);
    EXPECT_EQ(second->Path(), survey.interfaces[1].path);
    EXPECT_EQ(2, survey.interfaces[1].id);
    EXPECT_TRUE(sim::SurveyClass(3).interfaces.empty());
}

TEST_F(Win32BusTest, ClassFailureFailsSetupDiGetClassDevs)
{
    bus.FailClass(1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsA(sim::InterfaceClass(1), nullptr, nullptr,
                                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    EXPECT_EQ((DWORD)ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    sim::ClassSurvey survey = sim::SurveyClass(1);
    EXPECT_FALSE(survey.listed);
    EXPECT_EQ((DWORD)ERROR_NOT_ENOUGH_MEMORY, survey.error);
}

TEST_F(Win32BusTest, MemberFaultsSkipOneIndexEach)
{
    auto second = bus.Attach(simtest::Camera(1, 2, "KS00002"));
    auto third = bus.Attach(simtest::Camera(1, 3, "KS00003"));
    auto fourth = bus.Attach(simtest::Camera(1, 4, "KS00004"));
    camera->FailEnumeration(ERROR_INVALID_DATA);
    second->FailDetail(true);
    third->FailOpen(sim::Endpoint::Device, ERROR_ACCESS_DENIED);
    fourth->InjectReplyFault(sim::ReplyFault::Status(0x81));
    sim::ClassSurvey survey = sim::SurveyClass(1);
    ASSERT_EQ(4u, survey.interfaces.size());
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, survey.interfaces[0].error);
    EXPECT_EQ("", survey.interfaces[0].path);
    EXPECT_NE(0u, survey.interfaces[1].error);
    EXPECT_EQ("", survey.interfaces[1].path);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, survey.interfaces[2].error);
    EXPECT_EQ(third->Path(), survey.interfaces[2].path);
    EXPECT_EQ(fourth->Path(), survey.interfaces[3].path);
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, survey.interfaces[3].error);
    for (const sim::SurveyedInterface& member : survey.interfaces)
        EXPECT_EQ(-1, member.id);
}

TEST_F(Win32BusTest, IdentificationFailsWhenAPipeIsRefused)
{
    camera->FailOpen(sim::Endpoint::Reply, ERROR_GEN_FAILURE);
    DWORD error = 0;
    EXPECT_EQ(-1, sim::IdentifyOverPipes(camera->Path(), &error));
    EXPECT_EQ((DWORD)ERROR_GEN_FAILURE, error);
    EXPECT_EQ(0, camera->OpenFiles(sim::Endpoint::Command));
    EXPECT_TRUE(camera->CommandWrites().empty());
}

TEST(DefaultBus, SurveyFindsEveryDefaultCamera)
{
    sim::SimBus bus;
    sim::BusInstallation installation(bus);
    std::vector<std::shared_ptr<sim::SimCamera>> cameras =
        sim::AttachCameras(bus, sim::DefaultCameras());
    ASSERT_EQ(4u, cameras.size());
    std::vector<sim::ClassSurvey> surveys = sim::SurveyAllClasses();
    ASSERT_EQ(3u, surveys.size());
    std::vector<std::pair<int, int32_t>> found;
    for (const sim::ClassSurvey& survey : surveys)
        for (const sim::SurveyedInterface& member : survey.interfaces)
            found.push_back({survey.cameraType, member.id});
    EXPECT_EQ((std::vector<std::pair<int, int32_t>>{{1, 10017}, {1, 10042}, {2, 20005}, {3, 30003}}),
              found);

    const std::string expected =
        "Type  Member  Camera id   Device path\n"
        "1     0       10017       \\\\?\\usb#vid_1278&pid_0507#KS00017#{79349dc7-cf70-438e-bc10-f454f02d2067}\n"
        "1     1       10042       \\\\?\\usb#vid_1278&pid_0507#KS00042#{79349dc7-cf70-438e-bc10-f454f02d2067}\n"
        "2     0       20005       \\\\?\\usb#vid_1278&pid_0509#KM00005#{2bcdda06-f3c9-4ae6-b257-219defa0abcb}\n"
        "3     0       30003       \\\\?\\usb#vid_1278&pid_0525#KL00003#{9df858c4-1fff-4aa8-8479-4e8cb9ac9095}\n"
        "4 cameras identified in 3 classes.\n";
    EXPECT_EQ(expected, sim::SurveyTable(surveys));
}

TEST(SurveyTable, ShowsFailuresAndEmptyClasses)
{
    sim::ClassSurvey refused;
    refused.cameraType = 1;
    refused.error = 31;
    sim::ClassSurvey empty;
    empty.cameraType = 2;
    empty.listed = true;
    sim::ClassSurvey faulty;
    faulty.cameraType = 3;
    faulty.listed = true;
    sim::SurveyedInterface unreadable;
    unreadable.index = 0;
    unreadable.error = 13;
    sim::SurveyedInterface silent;
    silent.index = 1;
    silent.path = "\\\\?\\usb#x";
    silent.error = 121;
    faulty.interfaces = {unreadable, silent};
    const std::string expected = "Type  Member  Camera id   Device path\n"
                                 "1     -       -           class not listed (error 31)\n"
                                 "2     -       -           no device\n"
                                 "3     0       -           (error 13)\n"
                                 "3     1       -           \\\\?\\usb#x (error 121)\n"
                                 "0 cameras identified in 3 classes.\n";
    EXPECT_EQ(expected, sim::SurveyTable({refused, empty, faulty}));
}

} // namespace
