#include "sim/frame_fault.h"

#include <algorithm>

namespace sim {

FrameFault FrameFault::Lost()
{
    return StopsAfter(0);
}

FrameFault FrameFault::Late(uint64_t milliseconds)
{
    FrameFault fault = StopsAfter(0);
    fault.firstDelay_ = milliseconds;
    fault.restDelay_ = milliseconds;
    return fault;
}

FrameFault FrameFault::StopsAt(double part)
{
    FrameFault fault;
    fault.byPart_ = true;
    fault.part_ = std::clamp(part, 0.0, 1.0);
    return fault;
}

FrameFault FrameFault::StopsAfter(size_t bytes)
{
    FrameFault fault;
    fault.bytes_ = bytes;
    return fault;
}

FrameFault& FrameFault::RestAfter(uint64_t milliseconds)
{
    restDelay_ = milliseconds;
    return *this;
}

FrameFault& FrameFault::Times(int count)
{
    remaining_ = count < 0 ? kForever : count;
    return *this;
}

FrameDelivery FrameFault::Apply(size_t size)
{
    if (remaining_ > 0)
        --remaining_;
    FrameDelivery delivery;
    delivery.first = std::min(size, byPart_ ? static_cast<size_t>(static_cast<double>(size) * part_) : bytes_);
    delivery.firstDelay = firstDelay_;
    delivery.restDelay = restDelay_;
    return delivery;
}

} // namespace sim
