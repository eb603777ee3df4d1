#include "sim/image_queue.h"

#include <algorithm>
#include <cstring>

namespace sim {

void ImageQueue::Append(const uint8_t* bytes, size_t count, uint64_t readyAt)
{
    if (count == 0)
        return;
    // Reclaim the delivered part before growing, so that a camera read
    // frame after frame does not keep every old frame alive.
    if (front_ > 0 && front_ >= bytes_.size() / 2) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + (std::ptrdiff_t)front_);
        front_ = 0;
    }
    bytes_.insert(bytes_.end(), bytes, bytes + count);
    // A byte is never read before the bytes ahead of it.
    if (!stretches_.empty())
        readyAt = std::max(readyAt, stretches_.back().readyAt);
    if (!stretches_.empty() && stretches_.back().readyAt == readyAt)
        stretches_.back().count += count;
    else
        stretches_.push_back(Stretch{count, readyAt});
}

size_t ImageQueue::Take(uint8_t* out, size_t count, uint64_t now)
{
    size_t taken = 0;
    while (taken < count && !stretches_.empty() && stretches_.front().readyAt <= now) {
        Stretch& first = stretches_.front();
        size_t part = std::min(count - taken, first.count);
        std::memcpy(out + taken, bytes_.data() + front_, part);
        front_ += part;
        taken += part;
        first.count -= part;
        if (first.count == 0)
            stretches_.pop_front();
    }
    if (stretches_.empty())
        Clear();
    return taken;
}

void ImageQueue::Clear()
{
    bytes_.clear();
    front_ = 0;
    stretches_.clear();
}

void ImageQueue::DelayTail(size_t count, uint64_t readyAt)
{
    count = std::min(count, Size());
    size_t start = bytes_.size() - count;
    std::vector<uint8_t> tail(bytes_.begin() + (std::ptrdiff_t)start, bytes_.end());
    DropTail(count);
    Append(tail, readyAt);
}

void ImageQueue::DropTail(size_t count)
{
    count = std::min(count, Size());
    bytes_.resize(bytes_.size() - count);
    while (count > 0) {
        Stretch& last = stretches_.back();
        size_t part = std::min(count, last.count);
        last.count -= part;
        count -= part;
        if (last.count == 0)
            stretches_.pop_back();
    }
    if (stretches_.empty())
        Clear();
}

} // namespace sim
