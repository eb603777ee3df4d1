#include "image.h"

namespace alpaca {

const std::vector<uint16_t>& Image::Columns() const
{
    std::call_once(transposed_, [this]() {
        columns_.resize(rows_.size());
        // Blocks of rows keep both the reads and the writes within a few
        // cache lines; a plain column walk over a 16 MP frame misses on
        // every read.
        constexpr int kBlock = 64;
        for (int y0 = 0; y0 < height_; y0 += kBlock)
            for (int x = 0; x < width_; ++x) {
                int y1 = y0 + kBlock < height_ ? y0 + kBlock : height_;
                uint16_t* out = &columns_[(size_t)x * (size_t)height_];
                for (int y = y0; y < y1; ++y)
                    out[y] = rows_[(size_t)y * (size_t)width_ + (size_t)x];
            }
    });
    return columns_;
}

std::vector<uint16_t> CutRows(const std::vector<uint16_t>& rows, int width, int x, int y, int columns, int rowCount)
{
    std::vector<uint16_t> cut;
    cut.reserve((size_t)columns * (size_t)rowCount);
    for (int row = y; row < y + rowCount; ++row) {
        const uint16_t* first = rows.data() + (size_t)row * (size_t)width + (size_t)x;
        cut.insert(cut.end(), first, first + columns);
    }
    return cut;
}

} // namespace alpaca
