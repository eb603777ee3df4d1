// One step of a soak sequence: a call of the host through an export, or
// something the world does to the driver meanwhile (time passing, the host
// pumping its messages, the cable pulled, a fault on a pipe, another
// process taking the camera). A sequence is a list of steps made from a
// seed; the same list always runs the same way, so a failing sequence can
// be shortened step by step and printed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soak {

enum class Op : uint8_t {
    // The host's calls.
    Initialize,
    Finalize,
    SetupQuiet,     // d_SetupCCD(1)
    SetupDialog,    // d_SetupCCD(0), the person picks a camera, a read mode, a set point
    Subframe,       // a, b, c, d: the fractions; e: the binning code
    MoveFrame,      // a: direction
    Queries,        // the size, name, status, temperature and colour queries
    FilterWheel,    // a: operation, b: value
    StartExposure,  // a: milliseconds, b: shutter
    IsExposing,
    StartDownload,
    InterruptExposure,
    ReadImage,
    // The world.
    Advance,        // a: milliseconds, then the host pumps its messages
    Pump,
    Unplug,
    Replug,
    UnplugDuringReadout, // the cable goes while d_ReadImage waits for the frame
    ReplyFault,     // a: kind, b: command code or -1 for all, c: times, d: delay of a late one
    ImageFault,     // a: kind, b: bytes or per mille, c: times
    FrameFault,     // a: kind (lost, late, half with its rest later, half), b: per mille, c: delay
    PipeTimeout,    // a: milliseconds the reply and image pipes wait (-1: for ever)
    ClaimElsewhere, // another process creates the camera's claim event
    ReleaseElsewhere,
    RefuseOpen,     // a: the endpoint whose opens fail until the next replug
    Unload,         // the host unloads the module without d_Finalize, pumps its
                    // messages for a: milliseconds, and loads the module again
};

struct Step {
    Op op;
    int32_t a = 0;
    int32_t b = 0;
    int32_t c = 0;
    int32_t d = 0;
    int32_t e = 0;
};

// What a step does, in the host's words, for the printed sequence.
std::string Describe(const Step& step);

// A sequence of about `steps` steps from `seed`: mostly the host's usual
// order (set up, choose a frame, expose, poll, download, read), interleaved
// with calls out of order, repeated or at the wrong time, and with the
// world's events and faults.
std::vector<Step> MakeSequence(uint64_t seed, int steps);

// Whether a step injects a fault or an event of the world.
bool IsFault(const Step& step);

} // namespace soak
