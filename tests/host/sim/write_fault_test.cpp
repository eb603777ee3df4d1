// Requests that fail or arrive cut on the command pipe: what the write
// reports, what reaches the camera (its wire log) and whether it answers.
#include <gtest/gtest.h>

#include "sim/sim_bus.h"
#include "sim_test_support.h"

namespace {

using simtest::Bytes;

class WriteFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        camera = bus.Attach(simtest::Camera(1, 7, "KW00007"));
        DWORD error = 0;
        command = bus.Open(camera->Path() + "\\0", &error);
        ASSERT_TRUE(command);
    }

    sim::SimBus bus;
    std::shared_ptr<sim::SimCamera> camera;
    std::unique_ptr<emu::DeviceFile> command;
};

TEST_F(WriteFaultTest, EachFaultReportsDeliversAndAnswersAsItSays)
{
    const Bytes request = {13}; // CloseShutter: one byte, one status byte back
    const Bytes preflash = {24, 0xDC, 0x05, 4};
    const struct {
        const char* name;
        sim::WriteFault fault;
        Bytes written;
        bool ok;
        DWORD done;
        DWORD error;
        std::vector<Bytes> reached;
        size_t replies;
    } cases[] = {
        {"refused", sim::WriteFault::Refused(ERROR_GEN_FAILURE), preflash, false, 0, ERROR_GEN_FAILURE, {}, 0},
        {"failed after delivery", sim::WriteFault::FailsAfterDelivery(ERROR_SEM_TIMEOUT), preflash, false, 0,
         ERROR_SEM_TIMEOUT, {preflash}, 1},
        {"cut to two", sim::WriteFault::CutTo(2), preflash, true, 2, 0, {{24, 0xDC}}, 1},
        {"cut to nothing", sim::WriteFault::CutTo(0), request, true, 0, 0, {{}}, 0},
        {"other command untouched", sim::WriteFault::Refused(ERROR_GEN_FAILURE).ForCommand(11), request, true, 1, 0,
         {request}, 1},
    };
    for (const auto& c : cases) {
        camera->ClearWireLog();
        camera->ClearFaults();
        bus.Detach(camera); // forgets the replies of the case before
        bus.Attach(camera);
        DWORD error = 0;
        command = bus.Open(camera->Path() + "\\0", &error);
        camera->InjectWriteFault(c.fault);
        simtest::Transfer t = simtest::Write(*command, c.written);
        EXPECT_EQ(t.ok, c.ok) << c.name;
        EXPECT_EQ(t.done, c.done) << c.name;
        if (!c.ok) {
            EXPECT_EQ(t.error, c.error) << c.name;
        }
        EXPECT_EQ(camera->CommandWrites(), c.reached) << c.name;
        EXPECT_EQ(camera->PendingReplies(), c.replies) << c.name;
    }
}

TEST_F(WriteFaultTest, TimesCountsTheWritesTouched)
{
    camera->InjectWriteFault(sim::WriteFault::Refused(ERROR_GEN_FAILURE).ForCommand(13).Times(2));
    EXPECT_TRUE(simtest::Write(*command, {12}).ok);
    EXPECT_FALSE(simtest::Write(*command, {13}).ok);
    EXPECT_FALSE(simtest::Write(*command, {13}).ok);
    EXPECT_TRUE(simtest::Write(*command, {13}).ok);
    EXPECT_EQ(camera->CommandWrites(), (std::vector<Bytes>{{12}, {13}}));
}

} // namespace
