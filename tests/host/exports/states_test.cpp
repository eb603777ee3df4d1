// Every export in every state: the answer of the table, nothing sent that
// the table does not list, a refused readout leaves the host's buffer
// alone, and the camera object gives everything back when it goes.
#include <tuple>
#include <vector>

#include "host/exports/exports_fixture.h"

namespace {

using conformance::kCases;
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
        Connect();
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

TEST_P(StatesTest, AnswersAsTheTableSays)
{
    const State state = static_cast<State>(std::get<0>(GetParam()));
    const conformance::ExportCase& c = kCases[std::get<1>(GetParam())];
    const conformance::Answer& answer = c.answers[state];
    Plug(1, conformance::kSensorWidth, conformance::kSensorHeight);
    ASSERT_NO_FATAL_FAILURE(Enter(state));
    std::vector<uint16_t> buffer(conformance::kBufferPixels, kUntouched);
    const DriverState before = driverState;
    const emu::Counts countsBefore = emu::Snapshot();

    const INT_PTR result = c.run(Exports(), buffer.data());

    EXPECT_EQ(conformance::CheckResult(answer, result, camera->CcdCelsius() * 1000.0), "")
        << c.call << " in state " << kStateNames[state];
    EXPECT_EQ(CommandsSent(), answer.commands) << c.call << " in state " << kStateNames[state];
    EXPECT_TRUE(camera->ImageReadSizes().empty() || std::string(answer.commands) == "11");
    if (result == 0 && std::string(c.id).rfind("ReadImage", 0) == 0) {
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), kUntouched),
                  static_cast<long>(buffer.size()))
            << "a refused readout wrote into the host's buffer";
    }
    if (state == conformance::kNoObject && std::string(c.id) != "Initialize") {
        // Without a camera object an export touches nothing at all.
        const emu::Counts countsAfter = emu::Snapshot();
        EXPECT_EQ(driverState.camera, nullptr);
        EXPECT_EQ(countsAfter.handles, countsBefore.handles);
        EXPECT_EQ(countsAfter.heapAllocations, countsBefore.heapAllocations);
        EXPECT_EQ(countsAfter.windows, countsBefore.windows);
        EXPECT_EQ(std::memcmp(driverState.nameText, before.nameText, sizeof before.nameText), 0);
        EXPECT_EQ(std::memcmp(driverState.infoText, before.infoText, sizeof before.infoText), 0);
    }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, size_t>>& info)
{
    return std::string(kStateNames[std::get<0>(info.param)]) + "_" +
           kCases[std::get<1>(info.param)].id;
}

INSTANTIATE_TEST_SUITE_P(EveryExport, StatesTest,
                         ::testing::Combine(::testing::Range(0, int{conformance::kStateCount}),
                                            ::testing::Range(size_t{0}, conformance::kCaseCount)),
                         CaseName);

} // namespace
