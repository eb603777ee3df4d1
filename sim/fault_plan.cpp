#include "sim/fault_plan.h"

namespace sim {

void FaultPlan::ShapeReply(uint8_t code, PendingReply* reply)
{
    for (auto it = replyFaults_.begin(); it != replyFaults_.end(); ++it) {
        if (!it->Matches(code))
            continue;
        it->Apply(reply);
        if (it->Spent())
            replyFaults_.erase(it);
        return;
    }
}

WriteOutcome FaultPlan::ShapeWrite(uint8_t code, DWORD size)
{
    for (auto it = writeFaults_.begin(); it != writeFaults_.end(); ++it) {
        if (!it->Matches(code))
            continue;
        WriteOutcome outcome = it->Apply(size);
        if (it->Spent())
            writeFaults_.erase(it);
        return outcome;
    }
    return WriteOutcome{size, 0};
}

DWORD FaultPlan::ShapeImageRead(DWORD asked)
{
    while (!imageFaults_.empty() && imageFaults_.front().Spent())
        imageFaults_.erase(imageFaults_.begin());
    if (imageFaults_.empty())
        return asked;
    DWORD limit = imageFaults_.front().Limit(asked);
    if (imageFaults_.front().Spent())
        imageFaults_.erase(imageFaults_.begin());
    return limit;
}

FrameDelivery FaultPlan::ShapeFrame(size_t size)
{
    while (!frameFaults_.empty() && frameFaults_.front().Spent())
        frameFaults_.erase(frameFaults_.begin());
    if (frameFaults_.empty()) {
        FrameDelivery whole;
        whole.first = size;
        return whole;
    }
    FrameDelivery delivery = frameFaults_.front().Apply(size);
    if (frameFaults_.front().Spent())
        frameFaults_.erase(frameFaults_.begin());
    return delivery;
}

} // namespace sim
