#include "sim/image_fault.h"

#include <algorithm>

namespace sim {

ImageFault ImageFault::AtMost(DWORD bytes)
{
    ImageFault fault;
    fault.bytes_ = bytes;
    return fault;
}

ImageFault ImageFault::Fraction(double part)
{
    ImageFault fault;
    fault.fraction_ = true;
    fault.part_ = std::clamp(part, 0.0, 1.0);
    return fault;
}

ImageFault& ImageFault::Times(int count)
{
    remaining_ = count < 0 ? kForever : count;
    return *this;
}

DWORD ImageFault::Limit(DWORD asked)
{
    if (remaining_ > 0)
        --remaining_;
    if (fraction_)
        return (DWORD)((double)asked * part_);
    return std::min(asked, bytes_);
}

} // namespace sim
