#include "sim/command_table.h"

#include <utility>

#include "sim/reply_status.h"

namespace sim {

void CommandTable::Define(uint8_t code, CommandHandler handler)
{
    handlers_[code] = std::move(handler);
}

void CommandTable::Remove(uint8_t code)
{
    handlers_.erase(code);
}

bool CommandTable::Defines(uint8_t code) const
{
    return handlers_.count(code) != 0;
}

Bytes CommandTable::Answer(CameraState& state, const Bytes& request) const
{
    if (request.empty())
        return Bytes();
    auto it = handlers_.find(request[0]);
    if (it == handlers_.end())
        return Bytes{kStatusUnknownInstruction};
    return it->second(state, request);
}

} // namespace sim
