// The bytes that the image pipe serves next, in order. Frames are large
// (tens of megabytes for the bigger sensors), so the queue appends and
// consumes in blocks rather than byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class ImageQueue {
public:
    void Append(const uint8_t* bytes, size_t count);
    void Append(const std::vector<uint8_t>& bytes) { Append(bytes.data(), bytes.size()); }
    // Moves up to `count` bytes from the front into `out`; returns how many.
    size_t Take(uint8_t* out, size_t count);
    void Clear();

    size_t Size() const { return bytes_.size() - front_; }
    bool Empty() const { return Size() == 0; }

private:
    std::vector<uint8_t> bytes_;
    size_t front_ = 0; // bytes before this have been delivered
};

} // namespace sim
