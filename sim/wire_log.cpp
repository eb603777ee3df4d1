#include "sim/wire_log.h"

namespace sim {

void WireLog::Record(int pipe, const uint8_t* bytes, size_t size)
{
    records_.push_back(WireRecord{pipe, std::vector<uint8_t>(bytes, bytes + size)});
}

std::vector<std::vector<uint8_t>> WireLog::Writes(int pipe) const
{
    std::vector<std::vector<uint8_t>> writes;
    for (const WireRecord& record : records_)
        if (record.pipe == pipe)
            writes.push_back(record.bytes);
    return writes;
}

} // namespace sim
