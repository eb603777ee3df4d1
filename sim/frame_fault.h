// What goes wrong with the frame a frame request asks for, on its way to
// the image pipe, for the next few frames:
//
//   camera->InjectFrameFault(sim::FrameFault::Lost());
//   camera->InjectFrameFault(sim::FrameFault::Late(9000));
//   camera->InjectFrameFault(sim::FrameFault::StopsAt(0.5).RestAfter(7000));
//
// A frame that comes late or stops half-way still comes whole in the end
// (unless its rest is lost): its bytes stay in the pipe for whoever reads
// it next, as they do on a USB bulk pipe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// How the bytes of one frame are delivered: `first` of them at once, the
// rest after `restDelay` milliseconds (kNever: the rest never comes).
struct FrameDelivery {
    static constexpr uint64_t kNever = UINT64_MAX;
    size_t first = 0;
    uint64_t firstDelay = 0;
    uint64_t restDelay = 0;
};

class FrameFault {
public:
    static constexpr int kForever = -1;

    // Nothing of the frame arrives.
    static FrameFault Lost();
    // The whole frame arrives `milliseconds` after the request.
    static FrameFault Late(uint64_t milliseconds);
    // The frame stops after this part of it (0..1, rounded down to a byte);
    // the rest is lost unless RestAfter says when it comes.
    static FrameFault StopsAt(double part);
    // Or after this many bytes.
    static FrameFault StopsAfter(size_t bytes);
    FrameFault& RestAfter(uint64_t milliseconds);

    // How many frames are touched (default 1; kForever for no end).
    FrameFault& Times(int count);

    bool Spent() const { return remaining_ == 0; }
    // How a frame of `size` bytes is delivered; counts the frame.
    FrameDelivery Apply(size_t size);

private:
    FrameFault() = default;

    bool byPart_ = false;
    double part_ = 0.0;
    size_t bytes_ = 0;
    uint64_t firstDelay_ = 0;
    uint64_t restDelay_ = FrameDelivery::kNever;
    int remaining_ = 1;
};

} // namespace sim
