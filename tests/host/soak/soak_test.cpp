// The soak: seeded random sequences of host calls through the 21 exports,
// in the order imaging applications use and in the orders they misuse,
// interleaved with unplug and replug (also during an exposure and during a
// readout), pipe faults, short and empty reads, bad status bytes, lost and
// late replies, frames lost, late or stopping half-way with their rest
// coming later, pipes with and without a time-out, a claim taken by another
// process, regulation ticks and setup runs, all on the virtual clock.
//
//   R6ODI_SOAK_SEED       first seed (default 1); sequence i uses seed + i
//   R6ODI_SOAK_SEQUENCES  how many sequences (default 300)
//   R6ODI_SOAK_STEPS      steps per sequence (default 80)
//
// A failure prints its seed and the shortest sequence found that still
// fails, step by step; R6ODI_SOAK_SEED=<seed> R6ODI_SOAK_SEQUENCES=1
// repeats it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/soak/soak_world.h"

namespace {

using soak::Step;

uint64_t Setting(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

struct Outcome {
    std::string failure; // empty: every check held
    size_t failedAt = 0; // the step after which it broke
    soak::Figures figures;
};

Outcome RunSequence(uint64_t seed, const std::vector<Step>& steps)
{
    Outcome outcome;
    soak::World world(seed);
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!world.Run(steps[i])) {
            outcome.failedAt = i;
            break;
        }
    }
    if (world.Failure().empty() && !world.Finish())
        outcome.failedAt = steps.size();
    outcome.failure = world.Failure();
    outcome.figures = world.Counted();
    return outcome;
}

// The shortest sequence found that still fails the same way: halves, then
// quarters and so on of the steps are left out while the failure stays.
std::vector<Step> Shrink(uint64_t seed, std::vector<Step> steps, const std::string& failure)
{
    int runs = 0;
    for (size_t chunk = steps.size() / 2; chunk >= 1 && runs < 2000; chunk = chunk == 1 ? 0 : chunk / 2) {
        for (size_t at = 0; at + chunk <= steps.size() && runs < 2000;) {
            std::vector<Step> shorter(steps.begin(), steps.begin() + static_cast<long>(at));
            shorter.insert(shorter.end(), steps.begin() + static_cast<long>(at + chunk), steps.end());
            ++runs;
            if (RunSequence(seed, shorter).failure == failure)
                steps = shorter;
            else
                at += chunk;
        }
    }
    return steps;
}

std::string Listing(const std::vector<Step>& steps)
{
    std::string text;
    for (size_t i = 0; i < steps.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + soak::Describe(steps[i]) + "\n";
    return text;
}

TEST(Soak, RandomHostSequencesWithFaultsKeepEveryPromise)
{
    const uint64_t first = Setting("R6ODI_SOAK_SEED", 1);
    const uint64_t sequences = Setting("R6ODI_SOAK_SEQUENCES", 300);
    const int length = static_cast<int>(Setting("R6ODI_SOAK_STEPS", 80));
    soak::Figures total;
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < sequences; ++i) {
        const uint64_t seed = first + i;
        const std::vector<Step> steps = soak::MakeSequence(seed, length);
        const Outcome outcome = RunSequence(seed, steps);
        total.Add(outcome.figures);
        if (!outcome.failure.empty()) {
            const std::vector<Step> shortest = Shrink(seed, steps, outcome.failure);
            ADD_FAILURE() << "seed " << seed << ": " << outcome.failure << " (after step " << outcome.failedAt + 1
                          << " of " << steps.size() << ")\nshortest sequence that fails so, "
                          << shortest.size() << " steps:\n"
                          << Listing(shortest) << "repeat: R6ODI_SOAK_SEED=" << seed
                          << " R6ODI_SOAK_SEQUENCES=1 R6ODI_SOAK_STEPS=" << length;
            break;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("soak: %ld sequences, %ld steps, %ld faults and events injected, %ld exposures "
                "(%ld shutter closes checked), %ld good frames compared (%ld first after a replug), "
                "%ld readouts refused, unloads without d_Finalize %ld/%ld/%ld/%ld/%ld (no camera object/"
                "idle/cooling/exposing/unplugged); %.1f s\n",
                total.sequences, total.steps, total.faults, total.exposures, total.shutterCloses,
                total.framesGood, total.afterReplug, total.framesRefused, total.unloads[0], total.unloads[1],
                total.unloads[2], total.unloads[3], total.unloads[4], seconds);
}

} // namespace
