// The status byte that opens every reply on the reply pipe.
#pragma once

#include <cstdint>

namespace sim {

enum ReplyStatus : uint8_t {
    kStatusSuccess = 0x80,
    kStatusInvalidIndex = 0x81,
    kStatusInvalidParameter = 0x82,
    kStatusUnknownInstruction = 0x83,
};

} // namespace sim
