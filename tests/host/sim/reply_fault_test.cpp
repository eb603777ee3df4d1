// Faults injected into one camera: replies that go wrong, opens that are
// refused, enumeration steps that fail.
#include <gtest/gtest.h>

#include "sim/camera_info.h"
#include "sim/sim_bus.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        camera = bus.Attach(simtest::Camera(2, 0x01020304, "KM00005"));
        ASSERT_TRUE(camera);
        command = bus.Open(camera->Path() + "\\0", &error);
        reply = bus.Open(camera->Path() + "\\1", &error);
        ASSERT_TRUE(command && reply);
    }

    // One request and the read of its reply, as the driver does them.
    simtest::Transfer Exchange(const Bytes& request, DWORD replySize)
    {
        simtest::Write(*command, request);
        return simtest::Read(*reply, replySize);
    }

    bool InfoIsIntact(const simtest::Transfer& r) const
    {
        return r.ok && r.bytes.size() == 61 && r.bytes[0] == 0x80 && r.bytes[1] == 0x04 &&
               r.bytes[4] == 0x01;
    }

    sim::SimBus bus;
    std::shared_ptr<sim::SimCamera> camera;
    std::unique_ptr<emu::DeviceFile> command, reply;
    DWORD error = 0;
};

TEST_F(FaultTest, StatusReplacesTheFirstByteAndKeepsTheLength)
{
    camera->InjectReplyFault(sim::ReplyFault::Status(0x81));
    simtest::Transfer r = Exchange({0}, 61);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(61u, r.bytes.size());
    EXPECT_EQ(0x81, r.bytes[0]);
    EXPECT_EQ(0x04, r.bytes[1]);
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
}

TEST_F(FaultTest, CutToDeliversOnlyTheFirstBytes)
{
    camera->InjectReplyFault(sim::ReplyFault::CutTo(3));
    EXPECT_EQ((Bytes{0x80, 0x04, 0x03}), Exchange({0}, 61).bytes);
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
}

TEST_F(FaultTest, EmptyReplyReadsNoBytesSuccessfully)
{
    camera->InjectReplyFault(sim::ReplyFault::Empty());
    simtest::Transfer r = Exchange({0}, 61);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(0u, r.done);
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
}

// Nothing arrives: the pipe stays empty, so a ReadFile waits for ever, or
// for the pipe's time-out when it has one (Win32BusTest covers that wait).
TEST_F(FaultTest, LostReplyLeavesThePipeEmpty)
{
    camera->InjectReplyFault(sim::ReplyFault::Lost());
    simtest::Write(*command, {0});
    EXPECT_FALSE(reply->ReadReady());
    EXPECT_EQ(sim::SimCamera::kNoPipeTimeout, reply->ReadTimeout());
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
}

TEST_F(FaultTest, TimesCountsTheRepliesTouched)
{
    camera->InjectReplyFault(sim::ReplyFault::Status(0x00).Times(3));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Bytes{0x00}, Exchange({4}, 1).bytes) << i;
    EXPECT_EQ(Bytes{0x80}, Exchange({4}, 1).bytes);
}

TEST_F(FaultTest, ForeverNeverWearsOff)
{
    camera->InjectReplyFault(sim::ReplyFault::Empty().Times(sim::ReplyFault::kForever));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(0u, Exchange({0}, 61).done) << i;
}

TEST_F(FaultTest, ForCommandTouchesOnlyThatCodeAndCountsOnlyItsReplies)
{
    camera->InjectReplyFault(sim::ReplyFault::Status(0xFF).ForCommand(17).Times(2));
    EXPECT_EQ(Bytes{0x80}, Exchange({4}, 1).bytes);
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
    EXPECT_EQ((Bytes{0xFF, 0, 0, 0, 0}), Exchange({17}, 5).bytes);
    EXPECT_EQ(Bytes{0x80}, Exchange({13}, 1).bytes);
    EXPECT_EQ((Bytes{0xFF, 0, 0, 0, 0}), Exchange({17}, 5).bytes);
    EXPECT_EQ((Bytes{0x80, 0, 0, 0, 0}), Exchange({17}, 5).bytes);
}

TEST_F(FaultTest, FaultsApplyInTheOrderInjected)
{
    camera->InjectReplyFault(sim::ReplyFault::CutTo(2));
    camera->InjectReplyFault(sim::ReplyFault::Lost().ForCommand(0));
    EXPECT_EQ((Bytes{0x80, 0x04}), Exchange({0}, 61).bytes);
    simtest::Write(*command, {0});
    EXPECT_FALSE(reply->ReadReady()); // lost
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
}

TEST_F(FaultTest, ClearFaultsDropsPendingOnes)
{
    camera->InjectReplyFault(sim::ReplyFault::Lost().Times(sim::ReplyFault::kForever));
    camera->FailOpen(sim::Endpoint::Image, ERROR_ACCESS_DENIED);
    camera->ClearFaults();
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
    EXPECT_TRUE(bus.Open(camera->Path() + "\\2", &error));
}

TEST_F(FaultTest, CommandWithNoReplyConsumesNoFault)
{
    camera->DefineCommand(11, [](sim::CameraState&, const Bytes&) { return Bytes(); });
    camera->InjectReplyFault(sim::ReplyFault::Status(0x82));
    simtest::Write(*command, {11, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Bytes{0x82}, Exchange({1, 2}, 1).bytes);
}

TEST_F(FaultTest, RefusedDeviceOpenLeavesThePipesOpenable)
{
    camera->FailOpen(sim::Endpoint::Device, ERROR_ACCESS_DENIED);
    simtest::Opened device = simtest::Open(bus, camera->Path());
    EXPECT_FALSE(device.file);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, device.error);
    EXPECT_TRUE(simtest::Open(bus, camera->Path() + "\\0").file);
    camera->FailOpen(sim::Endpoint::Device, 0);
    EXPECT_TRUE(simtest::Open(bus, camera->Path()).file);
}

TEST_F(FaultTest, RefusedPipeOpenTouchesOnlyThatPipe)
{
    camera->FailOpen(sim::Endpoint::Reply, ERROR_GEN_FAILURE);
    simtest::Opened refused = simtest::Open(bus, camera->Path() + "\\1");
    EXPECT_FALSE(refused.file);
    EXPECT_EQ((DWORD)ERROR_GEN_FAILURE, refused.error);
    EXPECT_TRUE(simtest::Open(bus, camera->Path()).file);
    EXPECT_TRUE(simtest::Open(bus, camera->Path() + "\\0").file);
    EXPECT_TRUE(simtest::Open(bus, camera->Path() + "\\2").file);
    // Handles opened before the fault keep working.
    EXPECT_TRUE(InfoIsIntact(Exchange({0}, 61)));
    EXPECT_EQ(1, camera->OpenFiles(sim::Endpoint::Reply));
}

TEST_F(FaultTest, EnumerationFaultsShowInTheInterfaceEntries)
{
    auto second = bus.Attach(simtest::Camera(2, 9, "KM00006"));
    camera->FailEnumeration(ERROR_INVALID_DATA);
    second->FailDetail(true);
    std::vector<emu::InterfaceEntry> entries;
    ASSERT_TRUE(bus.Interfaces(*sim::InterfaceClass(2), &entries, &error));
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(camera->Path(), entries[0].path);
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, entries[0].enumerateError);
    EXPECT_FALSE(entries[0].detailFails);
    EXPECT_EQ(second->Path(), entries[1].path);
    EXPECT_EQ(0u, entries[1].enumerateError);
    EXPECT_TRUE(entries[1].detailFails);
}

TEST_F(FaultTest, ClassFailureRefusesOnlyItsClass)
{
    bus.Attach(simtest::Camera(1, 5, "KS00005"));
    bus.FailClass(2, ERROR_NOT_ENOUGH_MEMORY);
    std::vector<emu::InterfaceEntry> entries;
    DWORD classError = 0;
    EXPECT_FALSE(bus.Interfaces(*sim::InterfaceClass(2), &entries, &classError));
    EXPECT_EQ((DWORD)ERROR_NOT_ENOUGH_MEMORY, classError);
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(bus.Interfaces(*sim::InterfaceClass(1), &entries, &classError));
    EXPECT_EQ(1u, entries.size());
    bus.FailClass(2, 0);
    EXPECT_TRUE(bus.Interfaces(*sim::InterfaceClass(2), &entries, &classError));
    EXPECT_EQ(1u, entries.size());
}

} // namespace
