// The camera as a protocol peer, reached through the bus's DeviceBus
// interface: requests, replies, the image pipe, state and the wire log.
#include <gtest/gtest.h>

#include <set>

#include "sim/camera_info.h"
#include "sim/sim_bus.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

class SimCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        description = simtest::Camera(1, 0x00BC614E, "KS00017");
        description.description = "KX-814 Mono";
        camera = bus.Attach(description);
        ASSERT_TRUE(camera);
        command = bus.Open(camera->Path() + "\\0", &error);
        reply = bus.Open(camera->Path() + "\\1", &error);
        image = bus.Open(camera->Path() + "\\2", &error);
        ASSERT_TRUE(command && reply && image);
    }

    Bytes InfoReply() const
    {
        sim::CameraInfoBlock block = sim::CameraInfoBytes(description);
        Bytes bytes{0x80};
        bytes.insert(bytes.end(), block.begin(), block.end());
        return bytes;
    }

    sim::SimBus bus;
    sim::CameraDescription description;
    std::shared_ptr<sim::SimCamera> camera;
    std::unique_ptr<emu::DeviceFile> command, reply, image;
    DWORD error = 0;
};

TEST_F(SimCameraTest, GetInfoAnswersSuccessThenTheInfoBlock)
{
    simtest::Transfer w = simtest::Write(*command, {0});
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(1u, w.done);
    simtest::Transfer r = simtest::Read(*reply, 61);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(InfoReply(), r.bytes);
}

TEST_F(SimCameraTest, CodesOutsideTheCommandSetAnswerUnknownInstruction)
{
    const std::set<int> known = {0, 1, 2, 3, 4, 11, 12, 13, 14, 15, 16, 17, 21, 23, 24};
    for (int code = 0; code < 256; ++code) {
        if (known.count(code))
            continue;
        ASSERT_TRUE(simtest::Write(*command, {(uint8_t)code, 1, 2}).ok);
        simtest::Transfer r = simtest::Read(*reply, 8);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(Bytes{0x83}, r.bytes) << "code " << code;
    }
}

TEST_F(SimCameraTest, ReadingNothingQueuedSucceedsWithNoBytes)
{
    simtest::Transfer r = simtest::Read(*reply, 61);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(0u, r.done);
}

TEST_F(SimCameraTest, ShortReadDeliversTheStartAndDropsTheRest)
{
    simtest::Write(*command, {0});
    simtest::Transfer first = simtest::Read(*reply, 5);
    Bytes whole = InfoReply();
    EXPECT_EQ(Bytes(whole.begin(), whole.begin() + 5), first.bytes);
    simtest::Transfer second = simtest::Read(*reply, 61);
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(0u, second.done);
}

TEST_F(SimCameraTest, RepliesWaitInRequestOrder)
{
    simtest::Write(*command, {0});
    simtest::Write(*command, {7});
    EXPECT_EQ(2u, camera->PendingReplies());
    EXPECT_EQ(InfoReply(), simtest::Read(*reply, 61).bytes);
    EXPECT_EQ(Bytes{0x83}, simtest::Read(*reply, 61).bytes);
    EXPECT_EQ(0u, camera->PendingReplies());
}

TEST_F(SimCameraTest, EmptyWriteIsNoRequest)
{
    simtest::Transfer w = simtest::Write(*command, {});
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(0u, w.done);
    EXPECT_EQ(0u, camera->PendingReplies());
}

TEST_F(SimCameraTest, DefinedCommandSeesTheRequestAndTheState)
{
    Bytes seen;
    camera->DefineCommand(15, [&](sim::CameraState& state, const Bytes& request) {
        seen = request;
        return Bytes{0x80, (uint8_t)(state.description.id & 0xFF), request[1]};
    });
    simtest::Write(*command, {15, 3});
    EXPECT_EQ((Bytes{15, 3}), seen);
    EXPECT_EQ((Bytes{0x80, 0x4E, 3}), simtest::Read(*reply, 3).bytes);
}

TEST_F(SimCameraTest, CommandAnsweringOnTheImagePipeQueuesNoReply)
{
    camera->DefineCommand(11, [](sim::CameraState& state, const Bytes&) {
        state.imageData.Append({0x12, 0x34, 0x56, 0x78});
        return Bytes();
    });
    simtest::Write(*command, {11, 0, 0, 1, 0, 0, 0, 2, 0});
    EXPECT_EQ(0u, camera->PendingReplies());
    EXPECT_EQ((Bytes{0x12, 0x34, 0x56, 0x78}), simtest::Read(*image, 16).bytes);
}

TEST_F(SimCameraTest, ImagePipeServesItsQueueInPieces)
{
    camera->QueueImageData({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ((Bytes{1, 2, 3, 4}), simtest::Read(*image, 4).bytes);
    EXPECT_EQ((Bytes{5, 6, 7, 8, 9, 10}), simtest::Read(*image, 100).bytes);
    simtest::Transfer empty = simtest::Read(*image, 100);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(0u, empty.done);
}

TEST_F(SimCameraTest, ImagePipeKeepsTheOrderAcrossPartialReadsAndAppends)
{
    camera->QueueImageData({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ((Bytes{1, 2, 3, 4, 5, 6}), simtest::Read(*image, 6).bytes);
    camera->QueueImageData({11, 12});
    EXPECT_EQ((Bytes{7, 8, 9}), simtest::Read(*image, 3).bytes);
    camera->QueueImageData({13});
    EXPECT_EQ(4u, camera->PendingImageBytes());
    EXPECT_EQ((Bytes{10, 11, 12, 13}), simtest::Read(*image, 100).bytes);
    EXPECT_EQ(0u, camera->PendingImageBytes());
}

TEST_F(SimCameraTest, PipesRefuseTheWrongDirection)
{
    simtest::Transfer r = simtest::Read(*command, 4);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, r.error);
    EXPECT_EQ(0u, r.done);
    for (emu::DeviceFile* in : {reply.get(), image.get()}) {
        simtest::Transfer w = simtest::Write(*in, {0});
        EXPECT_FALSE(w.ok);
        EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, w.error);
        EXPECT_EQ(0u, w.done);
    }
    EXPECT_EQ(0u, camera->PendingReplies());
}

TEST_F(SimCameraTest, DeviceHandleCarriesNoData)
{
    std::unique_ptr<emu::DeviceFile> device = bus.Open(camera->Path(), &error);
    ASSERT_TRUE(device);
    simtest::Transfer r = simtest::Read(*device, 4);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, r.error);
    simtest::Transfer w = simtest::Write(*device, {0});
    EXPECT_FALSE(w.ok);
    EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, w.error);
    EXPECT_EQ(0u, camera->PendingReplies());
    EXPECT_TRUE(camera->WireRecords().empty());
}

TEST_F(SimCameraTest, NullBufferIsRefused)
{
    DWORD done = 7, err = 0;
    EXPECT_FALSE(command->Write(nullptr, 3, &done, &err));
    EXPECT_EQ((DWORD)ERROR_INVALID_USER_BUFFER, err);
    EXPECT_EQ(0u, done);
    EXPECT_FALSE(reply->Read(nullptr, 3, &done, &err));
    EXPECT_EQ((DWORD)ERROR_INVALID_USER_BUFFER, err);
}

TEST_F(SimCameraTest, WireLogHoldsEveryPipeWriteInOrder)
{
    simtest::Write(*command, {0});
    simtest::Write(*reply, {9, 9});
    simtest::Write(*command, {16, 0xC4, 0x04});
    simtest::Write(*image, {1});
    simtest::Write(*command, {});
    const std::vector<sim::WireRecord> expected = {
        {0, {0}}, {1, {9, 9}}, {0, {16, 0xC4, 0x04}}, {2, {1}}, {0, {}},
    };
    EXPECT_EQ(expected, camera->WireRecords());
    EXPECT_EQ((std::vector<Bytes>{{0}, {16, 0xC4, 0x04}, {}}), camera->CommandWrites());
    camera->ClearWireLog();
    EXPECT_TRUE(camera->WireRecords().empty());
    simtest::Write(*command, {4});
    EXPECT_EQ((std::vector<Bytes>{{4}}), camera->CommandWrites());
}

TEST_F(SimCameraTest, StateAndLogSurviveReattach)
{
    simtest::Write(*command, {0});
    camera->WithState([](sim::CameraState& state) { state.description.id = 77; });
    ASSERT_TRUE(bus.Detach(camera));
    ASSERT_TRUE(bus.Attach(camera));
    EXPECT_EQ(77u, camera->Description().id);
    // The reply in flight went with the unplugged device.
    EXPECT_EQ(0u, camera->PendingReplies());
    std::unique_ptr<emu::DeviceFile> command2 = bus.Open(camera->Path() + "\\0", &error);
    std::unique_ptr<emu::DeviceFile> reply2 = bus.Open(camera->Path() + "\\1", &error);
    ASSERT_TRUE(command2 && reply2);
    simtest::Write(*command2, {0});
    Bytes answer = simtest::Read(*reply2, 61).bytes;
    ASSERT_EQ(61u, answer.size());
    EXPECT_EQ((Bytes{0x80, 77, 0, 0, 0}), Bytes(answer.begin(), answer.begin() + 5));
    EXPECT_EQ(2u, camera->CommandWrites().size());
}

} // namespace
