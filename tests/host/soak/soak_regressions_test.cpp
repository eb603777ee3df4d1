// Sequences the soak once failed on, kept as they were shortened, each
// with the fault it found. They run on their own here, so that a fault
// that comes back is named at once, whatever the random sequences do.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "host/soak/soak_world.h"

namespace {

using soak::Op;
using soak::Step;

struct Kept {
    const char* fault;
    uint64_t seed;
    std::vector<Step> steps;
    int shutterCloses = 1; // of exposures checked
};

const Kept kKept[] = {
    // d_Finalize in the middle of a light exposure left the shutter open:
    // the camera object's Release stopped the worker without ending the
    // exposure.
    {"finalize during an exposure", 3,
     {{Op::Initialize}, {Op::SetupQuiet}, {Op::StartExposure, 60000, 1}, {Op::Finalize}}},
    // The same through a second d_Initialize, which destroys the object.
    {"initialize again during an exposure", 4,
     {{Op::Initialize}, {Op::SetupQuiet}, {Op::StartExposure, 60000, 1}, {Op::Initialize}}},
    // A setup during an exposure closed the device first and ended the
    // exposure only on re-opening, when the shutter command reached nobody.
    {"setup with the dialog during an exposure", 132,
     {{Op::SetupQuiet}, {Op::StartExposure, 14845, 1}, {Op::SetupDialog, -1, 0, 1}}},
    {"setup without the dialog during an exposure", 6,
     {{Op::Initialize}, {Op::SetupQuiet}, {Op::StartExposure, 5000, 1}, {Op::SetupQuiet}}},
    // A reply lost on a pipe without a time-out of its own kept the host's
    // thread in d_GetTemperature for ever.
    {"lost reply on a pipe without a time-out", 7,
     {{Op::Initialize}, {Op::SetupQuiet}, {Op::PipeTimeout, -1}, {Op::ReplyFault, 3, 15, 1}, {Op::Queries}},
     0},
    // The rest of a frame that stopped half-way arrived later and was read
    // as the start of the next frame, which was reported good.
    {"rest of a failed frame taken for the next", 8,
     {{Op::Initialize}, {Op::SetupQuiet}, {Op::FrameFault, 2, 500, 8000}, {Op::ReadImage}, {Op::Advance, 9000},
      {Op::ReadImage}},
     0},
};

void PrintTo(const Kept& kept, std::ostream* out) { *out << kept.fault; }

class SoakRegression : public ::testing::TestWithParam<Kept> {};

TEST_P(SoakRegression, KeptSequenceHolds)
{
    const Kept& kept = GetParam();
    soak::World world(kept.seed);
    for (const Step& step : kept.steps)
        ASSERT_TRUE(world.Run(step)) << soak::Describe(step) << ": " << world.Failure();
    EXPECT_TRUE(world.Finish()) << world.Failure();
    EXPECT_EQ(world.Counted().shutterCloses, kept.shutterCloses) << "the exposure's one close was checked";
}

INSTANTIATE_TEST_SUITE_P(Found, SoakRegression, ::testing::ValuesIn(kKept),
                         [](const ::testing::TestParamInfo<Kept>& info) {
                             std::string name;
                             for (const char* c = info.param.fault; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

} // namespace
