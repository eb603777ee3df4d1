// The bytes that the image pipe serves next, in order. Frames are large
// (tens of megabytes for the bigger sensors), so the queue appends and
// consumes in blocks rather than byte by byte.
//
// Bytes may come due later than they are queued, as the rest of a frame
// that stalled on the wire does: each stretch of bytes carries the clock
// time from which it can be read, and no byte is read before one queued
// ahead of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace sim {

class ImageQueue {
public:
    // Appends bytes that can be read from the clock time `readyAt` on (0:
    // at once).
    void Append(const uint8_t* bytes, size_t count, uint64_t readyAt = 0);
    void Append(const std::vector<uint8_t>& bytes, uint64_t readyAt = 0)
    {
        Append(bytes.data(), bytes.size(), readyAt);
    }
    // Moves up to `count` bytes that are due at `now` from the front into
    // `out`; returns how many.
    size_t Take(uint8_t* out, size_t count, uint64_t now = UINT64_MAX);
    void Clear();
    // The last `count` bytes queued come due at `readyAt` instead (never
    // before the bytes ahead of them), or are dropped.
    void DelayTail(size_t count, uint64_t readyAt);
    void DropTail(size_t count);

    size_t Size() const { return bytes_.size() - front_; }
    bool Empty() const { return Size() == 0; }
    // When the first byte can be read; UINT64_MAX when none is queued.
    uint64_t ReadyAt() const { return stretches_.empty() ? UINT64_MAX : stretches_.front().readyAt; }

private:
    struct Stretch {
        size_t count;
        uint64_t readyAt;
    };

    std::vector<uint8_t> bytes_;
    size_t front_ = 0; // bytes before this have been delivered
    std::deque<Stretch> stretches_; // the queued bytes, front first
};

} // namespace sim
