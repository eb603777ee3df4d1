// Reads of the image pipe that deliver fewer bytes than asked, as a USB
// transfer ended early by a short packet does. The bytes not delivered stay
// queued for the next read.
//
//   camera->InjectImageFault(sim::ImageFault::AtMost(4096).Times(2));
//   camera->InjectImageFault(sim::ImageFault::Fraction(0.5));
#pragma once

#include <cstdint>

#include "platform/emul/types.h"

namespace sim {

class ImageFault {
public:
    static constexpr int kForever = -1;

    // The read delivers no more than `bytes`.
    static ImageFault AtMost(DWORD bytes);
    // The read delivers this part of what it asks for, rounded down (0..1).
    static ImageFault Fraction(double part);

    // How many reads are touched (default 1; kForever for no end).
    ImageFault& Times(int count);

    bool Spent() const { return remaining_ == 0; }
    // The most that one read of `asked` bytes delivers; counts the read.
    DWORD Limit(DWORD asked);

private:
    ImageFault() = default;

    bool fraction_ = false;
    DWORD bytes_ = 0;
    double part_ = 0.0;
    int remaining_ = 1;
};

} // namespace sim
