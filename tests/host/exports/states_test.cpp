// Every export in every state: the answer of the table, nothing sent that
// the table does not list, a refused readout leaves the host's buffer
// alone, and the camera object gives everything back when it goes.
#include <tuple>
#include <vector>

#include "host/exports/exports_fixture.h"

namespace {

using conformance::State;

constexpr uint16_t kUntouched = 0x5A5A;

class StatesTest : public ExportsTest,
                   public ::testing::WithParamInterface<std::tuple<int, size_t>> {
protected:
    void Enter(State state)
    {
        if (state == conformance::kNoObject)
            return;
        if (state == conformance::kNotConnected) {
            ASSERT_EQ(d_Initialize(nullptr), 1);
            return;
        }
        ASSERT_NO_FATAL_FAILURE(Connect());
        if (state == conformance::kExposing) {
            d_StartExposure(60000, 1);
            emu::Settle();
            emu::Advance(1000);
        } else if (state == conformance::kElapsed) {
            d_StartExposure(1000, 1);
            // The worker must be in its wait before the clock moves.
            emu::Settle();
            emu::Advance(1000);
            ASSERT_EQ(d_IsExposing(), 0);
        } else if (state == conformance::kUnplugged || state == conformance::kReplugged) {
            bus.Detach(camera);
            PumpMessages();
            ASSERT_EQ(d_GetOK(), 0);
            if (state == conformance::kReplugged) {
                bus.Attach(camera);
                PumpMessages();
            }
        }
        camera->ClearWireLog();
    }
};

const char* const kStateNames[] = {"NoObject", "NotConnected", "Idle", "Exposing",
                                   "Elapsed", "Unplugged", "Replugged"};

// Faults of other parts of the driver that the table has found, each waiting
// for its fix there. A listed case is skipped while it fails and fails once
// it passes, so that the list cannot outlive its faults.
struct KnownFault {
    State state;
    const char* id;
    const char* reason;
};

const KnownFault kKnownFaults[] = {
    {conformance::kNotConnected, "StartExposure",
     "the exposure worker waits on the event of a camera that was never opened (a null handle)"},
};

const KnownFault* KnownFaultOf(State state, const std::string& id)
{
    for (const KnownFault& fault : kKnownFaults) {
        if (fault.state == state && id == fault.id)
            return &fault;
    }
    return nullptr;
}

TEST_P(StatesTest, AnswersAsTheTableSays)
{
    const State state = static_cast<State>(std::get<0>(GetParam()));
    const conformance::ExportCall& c = conformance::kCalls[std::get<1>(GetParam())];
    const conformance::Answer& answer = conformance::kAnswers[std::get<1>(GetParam())].in[state];
    const std::string id = c.id;
    Plug(1, conformance::kSensorWidth, conformance::kSensorHeight);
    ASSERT_NO_FATAL_FAILURE(Enter(state));
    std::vector<uint16_t> buffer(conformance::kBufferPixels, kUntouched);
    const DriverState before = driverState;
    const emu::Counts countsBefore = emu::Snapshot();

    const INT_PTR result = c.run(Exports(), buffer.data());

    std::vector<std::string> problems;
    auto check = [&](bool good, const std::string& what) {
        if (!good)
            problems.push_back(what);
    };
    const std::string wrongResult =
        conformance::CheckResult(answer, result, camera->CcdCelsius() * 1000.0);
    check(wrongResult.empty(), wrongResult);
    check(CommandsSent() == answer.commands,
          "sent \"" + CommandsSent() + "\", expected \"" + answer.commands + "\"");
    check(camera->ImageReadSizes().empty() || std::string(answer.commands) == "11",
          "read the image pipe");
    if (result == 0 && id.rfind("ReadImage", 0) == 0) {
        check(std::count(buffer.begin(), buffer.end(), kUntouched) ==
                  static_cast<long>(buffer.size()),
              "a refused readout wrote into the host's buffer");
    }
    // d_Initialize makes the object, and so does d_SetupCCD after a failed
    // setup; every other export without one touches nothing at all.
    if (state == conformance::kNoObject && id != "Initialize" && id != "SetupCCD") {
        const emu::Counts after = emu::Snapshot();
        check(driverState.camera == nullptr && after.handles == countsBefore.handles &&
                  after.heapAllocations == countsBefore.heapAllocations &&
                  after.windows == countsBefore.windows &&
                  std::memcmp(driverState.nameText, before.nameText, sizeof before.nameText) == 0 &&
                  std::memcmp(driverState.infoText, before.infoText, sizeof before.infoText) == 0,
              "touched something without a camera object");
    }
    // The object's end is part of the case: whatever the call started must
    // go with it, without a misuse of the system on the way.
    d_Finalize();
    PumpMessages();
    emu::Settle();
    for (const std::string& misuse : emu::TakeMisuseReports())
        check(false, "misuse: " + misuse);

    std::string all;
    for (const std::string& problem : problems)
        all += "\n  " + problem;
    const std::string where = c.call + std::string(" in state ") + kStateNames[state];
    if (const KnownFault* fault = KnownFaultOf(state, id)) {
        if (problems.empty())
            FAIL() << where << " passes now: take it off the known faults";
        GTEST_SKIP() << where << ": known fault: " << fault->reason << all;
    }
    EXPECT_TRUE(problems.empty()) << where << all;
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, size_t>>& info)
{
    return std::string(kStateNames[std::get<0>(info.param)]) + "_" +
           conformance::kCalls[std::get<1>(info.param)].id;
}

INSTANTIATE_TEST_SUITE_P(EveryExport, StatesTest,
                         ::testing::Combine(::testing::Range(0, int{conformance::kStateCount}),
                                            ::testing::Range(size_t{0}, conformance::kCallCount)),
                         CaseName);

} // namespace
