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

} // namespace sim
