// A frame read out for a client, cut to exactly the rectangle asked: rows
// from the top of the image down, as the driver stores them. Alpaca sends
// images column by column (the y index fastest); that order is made once,
// on the first download, and shared by every later one.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace alpaca {

class Image {
public:
    Image(int width, int height, std::vector<uint16_t> rows)
        : width_(width), height_(height), rows_(std::move(rows))
    {
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Pixel (x across, y down from the top row).
    uint16_t At(int x, int y) const { return rows_[(size_t)y * (size_t)width_ + (size_t)x]; }
    // Every column in turn, top to bottom: Alpaca's element order.
    const std::vector<uint16_t>& Columns() const;

private:
    int width_;
    int height_;
    std::vector<uint16_t> rows_;
    mutable std::once_flag transposed_;
    mutable std::vector<uint16_t> columns_;
};

// The part of `rows` (width x height, top row first) that starts at column
// x and row y and measures columns x rows; the rectangle must lie inside.
std::vector<uint16_t> CutRows(const std::vector<uint16_t>& rows, int width, int x, int y, int columns, int rowCount);

} // namespace alpaca
