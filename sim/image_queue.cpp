#include "sim/image_queue.h"

#include <algorithm>
#include <cstring>

namespace sim {

void ImageQueue::Append(const uint8_t* bytes, size_t count)
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
}

size_t ImageQueue::Take(uint8_t* out, size_t count)
{
    size_t taken = std::min(count, Size());
    if (taken > 0)
        std::memcpy(out, bytes_.data() + front_, taken);
    front_ += taken;
    if (front_ == bytes_.size())
        Clear();
    return taken;
}

void ImageQueue::Clear()
{
    bytes_.clear();
    front_ = 0;
}

} // namespace sim
