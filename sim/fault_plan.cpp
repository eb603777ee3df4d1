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

} // namespace sim
