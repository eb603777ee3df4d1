#include "sim/reply_fault.h"

namespace sim {

ReplyFault ReplyFault::Status(uint8_t status)
{
    ReplyFault fault(Kind::Status);
    fault.status_ = status;
    return fault;
}

ReplyFault ReplyFault::CutTo(size_t bytes)
{
    ReplyFault fault(Kind::CutTo);
    fault.keep_ = bytes;
    return fault;
}

ReplyFault ReplyFault::Empty()
{
    return ReplyFault(Kind::Empty);
}

ReplyFault ReplyFault::Lost()
{
    return ReplyFault(Kind::Lost);
}

ReplyFault ReplyFault::Late(uint64_t milliseconds)
{
    ReplyFault fault(Kind::Late);
    fault.delay_ = milliseconds;
    return fault;
}

ReplyFault& ReplyFault::ForCommand(uint8_t code)
{
    command_ = code;
    return *this;
}

ReplyFault& ReplyFault::Times(int count)
{
    remaining_ = count < 0 ? kForever : count;
    return *this;
}

bool ReplyFault::Matches(uint8_t code) const
{
    return !Spent() && (command_ < 0 || command_ == code);
}

void ReplyFault::Apply(PendingReply* reply)
{
    switch (kind_) {
    case Kind::Status:
        if (!reply->bytes.empty())
            reply->bytes[0] = status_;
        break;
    case Kind::CutTo:
        if (reply->bytes.size() > keep_)
            reply->bytes.resize(keep_);
        break;
    case Kind::Empty:
        reply->bytes.clear();
        break;
    case Kind::Lost:
        reply->bytes.clear();
        reply->lost = true;
        break;
    case Kind::Late:
        reply->delay = delay_;
        break;
    }
    if (remaining_ > 0)
        --remaining_;
}

} // namespace sim
