// The bus through its DeviceBus interface: names, opens, hot-plug and the
// order in which SetupAPI sees the cameras.
#include <gtest/gtest.h>

#include "sim/device_path.h"
#include "sim/sim_bus.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

std::vector<std::string> Paths(sim::SimBus& bus, int type)
{
    std::vector<emu::InterfaceEntry> entries;
    DWORD error = 0;
    EXPECT_TRUE(bus.Interfaces(*sim::InterfaceClass(type), &entries, &error));
    std::vector<std::string> paths;
    for (const emu::InterfaceEntry& entry : entries)
        paths.push_back(entry.path);
    return paths;
}

class SimBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        camera = bus.Attach(simtest::Camera(1, 17, "KS00017"));
        ASSERT_TRUE(camera);
        path = camera->Path();
    }

    sim::SimBus bus;
    std::shared_ptr<sim::SimCamera> camera;
    std::string path;
};

TEST_F(SimBusTest, CameraTakesTheDevicePathOfItsDescription)
{
    EXPECT_EQ("\\\\?\\usb#vid_1278&pid_0507#KS00017#{79349dc7-cf70-438e-bc10-f454f02d2067}", path);
    EXPECT_EQ(std::vector<std::string>{path}, Paths(bus, 1));
    EXPECT_TRUE(Paths(bus, 2).empty());
    EXPECT_TRUE(camera->Attached());
}

TEST_F(SimBusTest, DeviceAndPipesOpenInAnyLetterCase)
{
    for (const std::string& name : {path, sim::UpperCasePath(path), path + "\\0",
                                    sim::UpperCasePath(path) + "\\1", path + "\\2"}) {
        simtest::Opened opened = simtest::Open(bus, name);
        EXPECT_TRUE(opened.file) << name;
    }
}

TEST_F(SimBusTest, UnknownNamesAreNotFound)
{
    auto other = bus.Attach(simtest::Camera(1, 18, "KS00018"));
    std::string shorter = path.substr(0, path.size() - 1);
    const std::vector<std::string> names = {
        std::string(), path + "\\3", path + "\\", path + "\\00", path + "/0", path + "\\a",
        shorter, shorter + "\\0", path + "x", "\\\\?\\usb#vid_1278&pid_0507#KS00019#"};
    for (const std::string& name : names) {
        simtest::Opened opened = simtest::Open(bus, name);
        EXPECT_FALSE(opened.file) << name;
        EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, opened.error) << name;
    }
    EXPECT_EQ(0, camera->OpenFiles(sim::Endpoint::Device));
}

TEST_F(SimBusTest, SeveralHandlesAtOnceAndEachCloseIsCounted)
{
    simtest::Opened device = simtest::Open(bus, path);
    simtest::Opened command = simtest::Open(bus, path + "\\0");
    simtest::Opened reply = simtest::Open(bus, path + "\\1");
    simtest::Opened secondCommand = simtest::Open(bus, path + "\\0");
    simtest::Opened secondReply = simtest::Open(bus, path + "\\1");
    ASSERT_TRUE(device.file && command.file && reply.file && secondCommand.file && secondReply.file);
    EXPECT_EQ(1, camera->OpenFiles(sim::Endpoint::Device));
    EXPECT_EQ(2, camera->OpenFiles(sim::Endpoint::Command));
    EXPECT_EQ(2, camera->OpenFiles(sim::Endpoint::Reply));
    EXPECT_EQ(0, camera->OpenFiles(sim::Endpoint::Image));

    // A second pair identifies the camera while the first pair is open: one
    // camera, one reply queue, whichever handle carries the transfer.
    simtest::Write(*secondCommand.file, {0});
    EXPECT_EQ(61u, simtest::Read(*reply.file, 61).done);
    simtest::Write(*command.file, {5});
    EXPECT_EQ(Bytes{0x83}, simtest::Read(*secondReply.file, 1).bytes);

    secondCommand.file.reset();
    secondReply.file.reset();
    EXPECT_EQ(1, camera->OpenFiles(sim::Endpoint::Command));
    EXPECT_EQ(1, camera->OpenFiles(sim::Endpoint::Reply));
    device.file.reset();
    EXPECT_EQ(0, camera->OpenFiles(sim::Endpoint::Device));
}

TEST_F(SimBusTest, DetachRefusesOpensAndDisconnectsOpenHandles)
{
    simtest::Opened command = simtest::Open(bus, path + "\\0");
    simtest::Opened image = simtest::Open(bus, path + "\\2");
    ASSERT_TRUE(command.file && image.file);
    ASSERT_TRUE(bus.Detach(camera));
    EXPECT_FALSE(camera->Attached());
    EXPECT_TRUE(Paths(bus, 1).empty());

    for (const std::string& name : {path, path + "\\0", path + "\\1"}) {
        simtest::Opened refused = simtest::Open(bus, name);
        EXPECT_FALSE(refused.file);
        EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, refused.error);
    }
    simtest::Transfer w = simtest::Write(*command.file, {0});
    EXPECT_FALSE(w.ok);
    EXPECT_EQ((DWORD)ERROR_DEVICE_NOT_CONNECTED, w.error);
    EXPECT_EQ(0u, w.done);
    simtest::Transfer r = simtest::Read(*image.file, 8);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ((DWORD)ERROR_DEVICE_NOT_CONNECTED, r.error);
    EXPECT_TRUE(camera->CommandWrites().empty());
}

TEST_F(SimBusTest, ReattachedCameraServesNewHandlesButNotOldOnes)
{
    simtest::Opened old = simtest::Open(bus, path + "\\0");
    ASSERT_TRUE(bus.Detach(camera));
    ASSERT_TRUE(bus.Attach(camera));
    EXPECT_EQ(path, camera->Path());
    EXPECT_EQ(std::vector<std::string>{path}, Paths(bus, 1));
    EXPECT_EQ((DWORD)ERROR_DEVICE_NOT_CONNECTED, simtest::Write(*old.file, {0}).error);
    simtest::Opened fresh = simtest::Open(bus, path + "\\0");
    ASSERT_TRUE(fresh.file);
    EXPECT_TRUE(simtest::Write(*fresh.file, {0}).ok);
}

TEST_F(SimBusTest, HandleKeepsADetachedCameraAlive)
{
    simtest::Opened reply = simtest::Open(bus, path + "\\1");
    std::weak_ptr<sim::SimCamera> watch = camera;
    ASSERT_TRUE(bus.Detach(camera));
    camera.reset();
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ((DWORD)ERROR_DEVICE_NOT_CONNECTED, simtest::Read(*reply.file, 1).error);
    reply.file.reset();
    EXPECT_TRUE(watch.expired());
}

TEST_F(SimBusTest, MembersFollowAttachOrderWithinEachClass)
{
    auto typeTwo = bus.Attach(simtest::Camera(2, 20, "KM00020"));
    auto second = bus.Attach(simtest::Camera(1, 30, "KS00030"));
    auto third = bus.Attach(simtest::Camera(1, 40, "ks00040"));
    EXPECT_EQ((std::vector<std::string>{path, second->Path(), third->Path()}), Paths(bus, 1));
    EXPECT_EQ(std::vector<std::string>{typeTwo->Path()}, Paths(bus, 2));

    // Plugged in again, a camera comes after those attached meanwhile.
    ASSERT_TRUE(bus.Detach(camera));
    ASSERT_TRUE(bus.Attach(camera));
    EXPECT_EQ((std::vector<std::string>{second->Path(), third->Path(), path}), Paths(bus, 1));
    EXPECT_EQ(3u, bus.Cameras(1).size());
    EXPECT_EQ(4u, bus.Cameras().size());
    EXPECT_EQ(typeTwo, bus.Cameras(2).at(0));
}

TEST_F(SimBusTest, AttachRefusesWhatCannotBePlugged)
{
    // The same path in another letter case is the same device.
    sim::CameraDescription clash = simtest::Camera(1, 99, "ks00017");
    EXPECT_FALSE(bus.Attach(clash));
    EXPECT_FALSE(bus.Attach(simtest::Camera(0, 1, "X")));
    EXPECT_FALSE(bus.Attach(simtest::Camera(4, 1, "X")));
    EXPECT_FALSE(bus.Attach(camera));
    EXPECT_FALSE(bus.Attach(std::shared_ptr<sim::SimCamera>()));

    sim::SimBus otherBus;
    EXPECT_FALSE(otherBus.Attach(camera));
    EXPECT_TRUE(otherBus.Cameras().empty());
    EXPECT_FALSE(otherBus.Detach(camera));
    EXPECT_TRUE(camera->Attached());

    ASSERT_TRUE(bus.Detach(camera));
    EXPECT_FALSE(bus.Detach(camera));
}

TEST_F(SimBusTest, ClassesThatAreNotOursHaveNoMembers)
{
    GUID other = *sim::InterfaceClass(1);
    other.Data1 ^= 0x10;
    std::vector<emu::InterfaceEntry> entries(3);
    DWORD error = 0;
    EXPECT_TRUE(bus.Interfaces(other, &entries, &error));
    EXPECT_TRUE(entries.empty());
}

TEST(SimBusLifetime, DestroyedBusDisconnectsItsHandles)
{
    std::unique_ptr<emu::DeviceFile> command;
    std::shared_ptr<sim::SimCamera> camera;
    {
        sim::SimBus bus;
        camera = bus.Attach(simtest::Camera(3, 3, "KL00003"));
        DWORD error = 0;
        command = bus.Open(camera->Path() + "\\0", &error);
        ASSERT_TRUE(command);
    }
    EXPECT_FALSE(camera->Attached());
    EXPECT_EQ((DWORD)ERROR_DEVICE_NOT_CONNECTED, simtest::Write(*command, {0}).error);
}

} // namespace
