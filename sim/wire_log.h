// Everything written to a camera's pipes, in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct WireRecord {
    int pipe; // 0 command, 1 reply, 2 image
    std::vector<uint8_t> bytes;

    bool operator==(const WireRecord& other) const
    {
        return pipe == other.pipe && bytes == other.bytes;
    }
};

class WireLog {
public:
    void Record(int pipe, const uint8_t* bytes, size_t size);
    const std::vector<WireRecord>& Records() const { return records_; }
    // The writes to one pipe alone, each as it was written.
    std::vector<std::vector<uint8_t>> Writes(int pipe) const;
    void Clear() { records_.clear(); }

private:
    std::vector<WireRecord> records_;
};

} // namespace sim
