#include "sim/reply_bytes.h"

#include <algorithm>

#include "sim/camera_info.h"
#include "sim/command_code.h"
#include "sim/reply_status.h"

namespace sim {

size_t ReplyLength(uint8_t code)
{
    switch (code) {
    case command::GetInfo:
        return 1 + kCameraInfoSize;
    case command::GetValue:
        return 3;
    case command::GetPower:
        return 5;
    case command::ReadFrame:
    case command::ExposeAndReadFrame:
        return 0;
    default:
        return 1;
    }
}

std::vector<uint8_t> Refusal(uint8_t code, uint8_t status)
{
    std::vector<uint8_t> reply(ReplyLength(code), 0x00);
    if (!reply.empty())
        reply[0] = status;
    return reply;
}

std::vector<uint8_t> Success(uint8_t code, const std::vector<uint8_t>& answer)
{
    std::vector<uint8_t> reply(1 + answer.size(), 0x00);
    reply[0] = kStatusSuccess;
    std::copy(answer.begin(), answer.end(), reply.begin() + 1);
    reply.resize(ReplyLength(code), 0x00);
    return reply;
}

std::vector<uint8_t> WordBytes(uint16_t value)
{
    return {(uint8_t)(value & 0xFF), (uint8_t)(value >> 8)};
}

} // namespace sim
