// One way in which a request on the command pipe goes wrong on its way to
// the camera, for the next few writes or for the writes of one command:
//
//   camera->InjectWriteFault(sim::WriteFault::Refused(ERROR_GEN_FAILURE).ForCommand(11));
//   camera->InjectWriteFault(sim::WriteFault::CutTo(1));
#pragma once

#include <cstdint>

#include "platform/emul/types.h"

namespace sim {

// What a write does once its fault has shaped it: how many of its bytes
// reach the camera, and the error it reports (0: it succeeds, reporting
// `delivered` bytes written).
struct WriteOutcome {
    DWORD delivered;
    DWORD error;
};

class WriteFault {
public:
    static constexpr int kForever = -1;

    // The write fails with `error`; nothing reaches the camera.
    static WriteFault Refused(DWORD error);
    // The camera receives and acts on the whole request, but the write
    // still fails with `error`, as a transfer whose completion was lost.
    static WriteFault FailsAfterDelivery(DWORD error);
    // Only the first `bytes` bytes reach the camera; the write succeeds and
    // reports that many.
    static WriteFault CutTo(DWORD bytes);

    // Only writes whose first byte is this code are touched (default: all).
    WriteFault& ForCommand(uint8_t code);
    // How many writes are touched (default 1; kForever for no end).
    WriteFault& Times(int count);

    bool Spent() const { return remaining_ == 0; }
    bool Matches(uint8_t code) const;
    // Shapes one write of `size` bytes and counts it.
    WriteOutcome Apply(DWORD size);

private:
    enum class Kind { Refused, FailsAfterDelivery, CutTo };
    explicit WriteFault(Kind kind) : kind_(kind) {}

    Kind kind_;
    DWORD error_ = 0;
    DWORD keep_ = 0;
    int command_ = -1; // -1: every command
    int remaining_ = 1;
};

} // namespace sim
