#include "sim/write_fault.h"

#include <algorithm>

namespace sim {

WriteFault WriteFault::Refused(DWORD error)
{
    WriteFault fault(Kind::Refused);
    fault.error_ = error;
    return fault;
}

WriteFault WriteFault::FailsAfterDelivery(DWORD error)
{
    WriteFault fault(Kind::FailsAfterDelivery);
    fault.error_ = error;
    return fault;
}

WriteFault WriteFault::CutTo(DWORD bytes)
{
    WriteFault fault(Kind::CutTo);
    fault.keep_ = bytes;
    return fault;
}

WriteFault& WriteFault::ForCommand(uint8_t code)
{
    command_ = code;
    return *this;
}

WriteFault& WriteFault::Times(int count)
{
    remaining_ = count < 0 ? kForever : count;
    return *this;
}

bool WriteFault::Matches(uint8_t code) const
{
    return !Spent() && (command_ < 0 || command_ == code);
}

WriteOutcome WriteFault::Apply(DWORD size)
{
    if (remaining_ > 0)
        --remaining_;
    switch (kind_) {
    case Kind::Refused:
        return WriteOutcome{0, error_};
    case Kind::FailsAfterDelivery:
        return WriteOutcome{size, error_};
    case Kind::CutTo:
        break;
    }
    return WriteOutcome{std::min(size, keep_), 0};
}

} // namespace sim
