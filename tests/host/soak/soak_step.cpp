#include "host/soak/soak_step.h"

#include <random>

namespace soak {
namespace {

class Maker {
public:
    explicit Maker(uint64_t seed) : random_(seed) {}

    int32_t Between(int32_t low, int32_t high)
    {
        return std::uniform_int_distribution<int32_t>(low, high)(random_);
    }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }

    // The host's usual cycle: sometimes a new frame, then an exposure that
    // it polls until the time is up, the download and the readout.
    void HostCycle(std::vector<Step>* out)
    {
        if (Chance(0.4))
            out->push_back(SubframeStep());
        const int32_t ms = Chance(0.2) ? Between(0, 50) : Between(100, 30000);
        out->push_back(Step{Op::StartExposure, ms, Chance(0.8) ? 1 : 0});
        // A host that quits in the middle of the exposure, then comes back.
        if (Chance(0.05))
            out->push_back(UnloadStep());
        const int polls = Between(1, 3);
        for (int i = 0; i < polls; ++i) {
            out->push_back(Step{Op::Advance, ms / polls + Between(0, 20)});
            out->push_back(Step{Op::IsExposing});
        }
        if (Chance(0.1))
            out->push_back(Step{Op::Advance, 5});
        out->push_back(Step{Op::StartDownload});
        out->push_back(Step{Op::ReadImage});
    }

    Step SubframeStep()
    {
        // Mostly sensible fractions of the sensor, sometimes anything.
        if (Chance(0.85)) {
            const int32_t x = Between(0, 90000);
            const int32_t y = Between(0, 90000);
            return Step{Op::Subframe, x, y, Between(1000, 100000 - x), Between(1000, 100000 - y), Between(0, 15)};
        }
        return Step{Op::Subframe, Between(-200000, 200000), Between(-200000, 200000), Between(-200000, 200000),
                    Between(-200000, 200000), Between(-2, 17)};
    }

    Step UnloadStep() { return Step{Op::Unload, Chance(0.5) ? Between(0, 2000) : Between(10000, 40000)}; }

    // Any single step, in or out of order.
    Step AnyStep()
    {
        switch (Between(0, 28)) {
        case 0: return Step{Op::Initialize};
        case 1: return Step{Op::Finalize};
        case 2:
        case 3: return Step{Op::SetupQuiet};
        case 4: return Step{Op::SetupDialog, Between(-1, 2), Between(0, 1), Between(-40, 20)};
        case 5: return SubframeStep();
        case 6: return Step{Op::MoveFrame, Between(0, 5)};
        case 7: return Step{Op::Queries};
        case 8: return Step{Op::FilterWheel, Between(-1, 6), Between(-1, 8)};
        case 9: return Step{Op::StartExposure, Between(0, 60000), Between(0, 1)};
        case 10: return Step{Op::IsExposing};
        case 11: return Step{Op::StartDownload};
        case 12: return Step{Op::InterruptExposure};
        case 13: return Step{Op::ReadImage};
        case 14:
        case 15: return Step{Op::Advance, Chance(0.5) ? Between(1, 2000) : Between(9000, 25000)};
        case 16: return Step{Op::Pump};
        case 17: return Step{Op::Unplug};
        case 18:
        case 19: return Step{Op::Replug};
        case 20: return Step{Op::UnplugDuringReadout, Between(1, 4000)};
        case 21:
        case 22:
            return Step{Op::ReplyFault, Between(0, 5), Chance(0.5) ? -1 : Between(0, 24), Between(1, 3),
                        Chance(0.5) ? Between(100, 1900) : Between(2100, 9000)};
        case 23: return Step{Op::ImageFault, Between(0, 2), Between(0, 999), Between(1, 3)};
        case 24:
            return Step{Op::PipeTimeout, Chance(0.4) ? -1 : Chance(0.5) ? Between(0, 50) : Between(1000, 8000)};
        case 28: return Step{Op::FrameFault, Between(0, 3), Between(0, 999), Between(1000, 30000)};
        case 25: return Step{Op::ClaimElsewhere};
        case 26: return Step{Op::ReleaseElsewhere};
        default: return Step{Op::RefuseOpen, Between(0, 3)};
        }
    }

private:
    std::mt19937_64 random_;
};

const char* Name(Op op)
{
    switch (op) {
    case Op::Initialize: return "d_Initialize";
    case Op::Finalize: return "d_Finalize";
    case Op::SetupQuiet: return "d_SetupCCD(1)";
    case Op::SetupDialog: return "d_SetupCCD(0)";
    case Op::Subframe: return "d_Subframe";
    case Op::MoveFrame: return "d_MoveFrame";
    case Op::Queries: return "queries";
    case Op::FilterWheel: return "d_FilterWheel";
    case Op::StartExposure: return "d_StartExposure";
    case Op::IsExposing: return "d_IsExposing";
    case Op::StartDownload: return "d_StartDownload";
    case Op::InterruptExposure: return "d_InterruptExposure";
    case Op::ReadImage: return "d_ReadImage";
    case Op::Advance: return "time passes";
    case Op::Pump: return "messages pumped";
    case Op::Unplug: return "unplug";
    case Op::Replug: return "replug";
    case Op::UnplugDuringReadout: return "unplug during d_ReadImage";
    case Op::ReplyFault: return "reply fault";
    case Op::ImageFault: return "image fault";
    case Op::FrameFault: return "frame fault";
    case Op::PipeTimeout: return "pipe time-out";
    case Op::ClaimElsewhere: return "claim taken by another process";
    case Op::ReleaseElsewhere: return "claim given back by the other process";
    case Op::RefuseOpen: return "opens refused";
    case Op::Unload: return "unloaded without d_Finalize, loaded again after";
    }
    return "?";
}

} // namespace

std::string Describe(const Step& s)
{
    std::string text = Name(s.op);
    auto args = [&](int count) {
        const int32_t values[] = {s.a, s.b, s.c, s.d, s.e};
        text += "(";
        for (int i = 0; i < count; ++i)
            text += (i ? ", " : "") + std::to_string(values[i]);
        text += ")";
    };
    switch (s.op) {
    case Op::Subframe: args(5); break;
    case Op::ReplyFault: args(4); break;
    case Op::SetupDialog:
    case Op::ImageFault:
    case Op::FrameFault: args(3); break;
    case Op::FilterWheel:
    case Op::StartExposure: args(2); break;
    case Op::MoveFrame:
    case Op::Advance:
    case Op::UnplugDuringReadout:
    case Op::PipeTimeout:
    case Op::RefuseOpen:
    case Op::Unload: args(1); break;
    default: break;
    }
    return text;
}

bool IsFault(const Step& step)
{
    switch (step.op) {
    case Op::Unplug:
    case Op::UnplugDuringReadout:
    case Op::ReplyFault:
    case Op::ImageFault:
    case Op::FrameFault:
    case Op::PipeTimeout:
    case Op::ClaimElsewhere:
    case Op::RefuseOpen:
        return true;
    default:
        return false;
    }
}

std::vector<Step> MakeSequence(uint64_t seed, int steps)
{
    Maker maker(seed);
    std::vector<Step> sequence;
    if (maker.Chance(0.9)) {
        sequence.push_back(Step{Op::Initialize});
        sequence.push_back(Step{Op::SetupQuiet});
    }
    while (static_cast<int>(sequence.size()) < steps) {
        if (maker.Chance(0.35))
            maker.HostCycle(&sequence);
        else if (maker.Chance(0.03))
            sequence.push_back(maker.UnloadStep());
        else
            sequence.push_back(maker.AnyStep());
    }
    return sequence;
}

} // namespace soak
