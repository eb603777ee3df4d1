#include "sim/capabilities.h"

#include <algorithm>

namespace sim {

int FilterCount(uint16_t flags)
{
    bool five = (flags & 0x0001) != 0;
    bool six = (flags & 0x0002) != 0;
    if (five && six)
        return (flags >> 8) & 0x0F;
    if (five)
        return 5;
    if (six)
        return 6;
    return 0;
}

bool AcceptsPreflash(uint16_t flags)
{
    return (flags & 0x0020) != 0;
}

bool SupportsBinning(const CameraDescription& camera, int factor)
{
    const std::vector<uint8_t>& factors = camera.binningFactors;
    return std::find(factors.begin(), factors.end(), factor) != factors.end();
}

} // namespace sim
