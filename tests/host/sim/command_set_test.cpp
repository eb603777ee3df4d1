// The standard command set over the pipes: the exact reply of every
// command, what it changes in the camera, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim_test_support.h"

namespace {

using simtest::Bytes;

sim::CameraDescription TypeOne(uint16_t flags = 0)
{
    sim::CameraDescription camera = simtest::Camera(1, 10017, "KS00017");
    camera.flags = flags;
    return camera;
}

class CommandSetTest : public ::testing::Test {
protected:
    void Use(const sim::CameraDescription& description)
    {
        peer = std::make_unique<simtest::Peer>(description);
        ASSERT_TRUE(peer->Ready());
    }

    void SetUp() override { Use(TypeOne()); }

    Bytes Exchange(const Bytes& request, DWORD replySize = 1)
    {
        return peer->Exchange(request, replySize);
    }

    sim::CameraSettings Settings() const { return peer->camera->Settings(); }

    std::unique_ptr<simtest::Peer> peer;
};

TEST_F(CommandSetTest, BinningTakesTheSupportedFactorsOnEachAxis)
{
    EXPECT_EQ(Bytes{0x80}, Exchange({1, 2}));
    EXPECT_EQ(Bytes{0x80}, Exchange({2, 4}));
    EXPECT_EQ(2, Settings().binX);
    EXPECT_EQ(4, Settings().binY);
    for (uint8_t refused : {0, 5, 0xFF}) {
        EXPECT_EQ(Bytes{0x82}, Exchange({1, refused})) << (int)refused;
        EXPECT_EQ(Bytes{0x82}, Exchange({2, refused})) << (int)refused;
    }
    EXPECT_EQ(Bytes{0x82}, Exchange({1}));
    EXPECT_EQ(2, Settings().binX);
    EXPECT_EQ(4, Settings().binY);
}

TEST_F(CommandSetTest, BinningFactorsAreTheCamerasOwn)
{
    sim::CameraDescription camera = TypeOne();
    camera.binningFactors = {1, 3};
    Use(camera);
    EXPECT_EQ(Bytes{0x82}, Exchange({1, 2}));
    EXPECT_EQ(Bytes{0x80}, Exchange({1, 3}));
    EXPECT_EQ(Bytes{0x82}, Exchange({2, 4}));
    EXPECT_EQ(3, Settings().binX);
    EXPECT_EQ(1, Settings().binY);
}

TEST_F(CommandSetTest, ReadModeOneIsDoubleSampleAndZeroSingle)
{
    EXPECT_TRUE(Settings().doubleSample);
    EXPECT_EQ(Bytes{0x80}, Exchange({3, 0}));
    EXPECT_FALSE(Settings().doubleSample);
    EXPECT_EQ(Bytes{0x80}, Exchange({3, 1}));
    EXPECT_TRUE(Settings().doubleSample);
    EXPECT_EQ(Bytes{0x82}, Exchange({3, 2}));
    EXPECT_EQ(Bytes{0x82}, Exchange({3}));
    EXPECT_TRUE(Settings().doubleSample);
}

TEST_F(CommandSetTest, StartExposureCountsAndStampsTheVirtualTime)
{
    emu::Advance(1234);
    uint64_t first = emu::Now();
    EXPECT_EQ(Bytes{0x80}, Exchange({4}));
    emu::Advance(500);
    EXPECT_EQ(Bytes{0x80}, Exchange({4}));
    sim::CameraActivity activity = peer->camera->Activity();
    EXPECT_EQ(2, activity.exposures);
    EXPECT_EQ(first + 500, activity.lastExposureAt);
}

TEST_F(CommandSetTest, ShutterOpensClosesAndCountsEach)
{
    EXPECT_FALSE(Settings().shutterOpen);
    EXPECT_EQ(Bytes{0x80}, Exchange({12}));
    EXPECT_TRUE(Settings().shutterOpen);
    EXPECT_EQ(Bytes{0x80}, Exchange({13}));
    EXPECT_EQ(Bytes{0x80}, Exchange({13}));
    EXPECT_FALSE(Settings().shutterOpen);
    sim::CameraActivity activity = peer->camera->Activity();
    EXPECT_EQ(1, activity.shutterOpens);
    EXPECT_EQ(2, activity.shutterCloses);
}

TEST_F(CommandSetTest, FilterPositionMustLieBelowTheCount)
{
    struct Case {
        uint16_t flags;
        int positions;
    };
    for (Case c : {Case{0x0001, 5}, Case{0x0002, 6}, Case{0x0703, 7}, Case{0x0701, 5},
                   Case{0x0003, 0}, Case{0x0000, 0}}) {
        Use(TypeOne(c.flags));
        SCOPED_TRACE(c.flags);
        if (c.positions > 0) {
            EXPECT_EQ(Bytes{0x80}, Exchange({14, (uint8_t)(c.positions - 1)}));
            EXPECT_EQ(c.positions - 1, Settings().filterPosition);
        }
        EXPECT_EQ(Bytes{0x82}, Exchange({14, (uint8_t)c.positions}));
        EXPECT_EQ(std::max(c.positions - 1, 0), Settings().filterPosition);
    }
}

TEST_F(CommandSetTest, WindowHeatingIsOnOrOff)
{
    EXPECT_EQ(Bytes{0x80}, Exchange({23, 1}));
    EXPECT_TRUE(Settings().windowHeating);
    EXPECT_EQ(Bytes{0x82}, Exchange({23, 2}));
    EXPECT_TRUE(Settings().windowHeating);
    EXPECT_EQ(Bytes{0x80}, Exchange({23, 0}));
    EXPECT_FALSE(Settings().windowHeating);
}

TEST_F(CommandSetTest, PreflashIsStoredByACameraWithFlagFive)
{
    Use(TypeOne(0x0020));
    EXPECT_EQ(Bytes{0x80}, Exchange({24, 0xDC, 0x05, 4}));
    EXPECT_EQ(1500, Settings().preflashMs);
    EXPECT_EQ(4, Settings().preflashClears);
    EXPECT_EQ(Bytes{0x82}, Exchange({24, 0xFF, 0xFF}));
    EXPECT_EQ(1500, Settings().preflashMs);
}

TEST_F(CommandSetTest, PreflashIsUnknownToACameraWithoutFlagFive)
{
    Use(TypeOne(0x00DF));
    EXPECT_EQ(Bytes{0x83}, Exchange({24, 0xDC, 0x05, 4}));
    EXPECT_EQ(0, Settings().preflashMs);
    EXPECT_EQ(0, Settings().preflashClears);
}

TEST_F(CommandSetTest, GetValueAnswersTheCountOfEachValueNumber)
{
    // Power-on: sensor and heat sink at 20 C, 12 V supply, 5 V auxiliary.
    EXPECT_EQ((Bytes{0x80, 0x05, 0x2F}), Exchange({15, 0}, 3)); // 12037
    EXPECT_EQ((Bytes{0x80, 0x05, 0x2F}), Exchange({15, 1}, 3));
    EXPECT_EQ((Bytes{0x80, 0x5F, 0x2A}), Exchange({15, 2}, 3)); // 10847
    EXPECT_EQ((Bytes{0x80, 0x88, 0x13}), Exchange({15, 3}, 3)); // 5000
}

TEST_F(CommandSetTest, TypeThreeCountsOnTheCoarseScale)
{
    Use(simtest::Camera(3, 30003, "KL00003"));
    EXPECT_EQ((Bytes{0x80, 0xE1, 0x05}), Exchange({15, 0}, 3)); // 1505
    EXPECT_EQ((Bytes{0x80, 0x4C, 0x05}), Exchange({15, 2}, 3)); // 1356
    EXPECT_EQ((Bytes{0x80, 0x88, 0x13}), Exchange({15, 3}, 3));
}

TEST_F(CommandSetTest, ElectricalValuesComeFromThePhysics)
{
    sim::CameraDescription camera = TypeOne();
    camera.physics.supplyVolts = 18.125;
    camera.physics.auxiliaryVolts = 1.5;
    Use(camera);
    EXPECT_EQ((Bytes{0x80, 0x00, 0x40}), Exchange({15, 2}, 3)); // 16384
    EXPECT_EQ((Bytes{0x80, 0xDC, 0x05}), Exchange({15, 3}, 3)); // 1500
}

TEST_F(CommandSetTest, GetValueRefusesOtherNumbersAtFullLength)
{
    for (uint8_t number : {4, 10, 20, 0xFF})
        EXPECT_EQ((Bytes{0x81, 0, 0}), Exchange({15, number}, 3)) << (int)number;
    EXPECT_EQ((Bytes{0x82, 0, 0}), Exchange({15}, 3));
}

TEST_F(CommandSetTest, SetTemperatureStoresTheCountAndStartsTheCooler)
{
    EXPECT_FALSE(peer->camera->Thermal().coolerOn);
    EXPECT_EQ(Bytes{0x80}, Exchange({16, 0x22, 0x26})); // 9762: 0 C on type 1
    EXPECT_EQ(0x2622, Settings().setPointCount);
    sim::ThermalState thermal = peer->camera->Thermal();
    EXPECT_TRUE(thermal.coolerOn);
    EXPECT_NEAR(0.0026, thermal.setPointCelsius, 0.0001);
    EXPECT_EQ(Bytes{0x82}, Exchange({16, 0x10}));
    EXPECT_EQ(0x2622, Settings().setPointCount);
}

TEST_F(CommandSetTest, TypeThreeSetPointUsesItsOwnSlope)
{
    Use(simtest::Camera(3, 30003, "KL00003"));
    EXPECT_EQ(Bytes{0x80}, Exchange({16, 0xA8, 0x03})); // 936
    EXPECT_NEAR(-20.0, peer->camera->Thermal().setPointCelsius, 0.02);
}

TEST_F(CommandSetTest, GetPowerReportsNoMeasurementBeforeTheCoolerRan)
{
    EXPECT_EQ((Bytes{0x80, 0, 0, 0, 0}), Exchange({17}, 5));
}

TEST_F(CommandSetTest, GetPowerSplitsAThousandByTheDuty)
{
    Exchange({16, 0x22, 0x26}); // 0 C
    emu::Advance(200 * 1000);   // 20 C down at 0.1 C/s
    // Held 20 C below ambient out of a reach of 35: duty 0.571.
    EXPECT_EQ((Bytes{0x80, 0x3B, 0x02, 0xAD, 0x01}), Exchange({17}, 5)); // 571, 429
}

TEST_F(CommandSetTest, FrameRequestsAnswerNothingOnTheReplyPipe)
{
    peer->Send({11, 0, 0, 1, 0, 0, 0, 1, 0});
    peer->Send({21, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0});
    EXPECT_EQ(0u, peer->camera->PendingReplies());
}

TEST_F(CommandSetTest, EveryRefusalHasItsCommandsFullLength)
{
    struct Case {
        Bytes request;
        Bytes reply;
    };
    const Case cases[] = {
        {{1}, {0x82}},          {{2, 9}, {0x82}},       {{3, 7}, {0x82}},
        {{14, 0}, {0x82}},      {{15, 9}, {0x81, 0, 0}}, {{16}, {0x82}},
        {{23, 3}, {0x82}},      {{24, 0, 0, 0}, {0x83}},
    };
    for (const Case& c : cases) {
        peer->Send(c.request);
        // Read more than the reply length: the reply itself shows its length.
        EXPECT_EQ(c.reply, peer->ReadReply(64)) << (int)c.request[0];
    }
}

} // namespace
