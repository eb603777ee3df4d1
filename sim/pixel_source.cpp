#include "sim/pixel_source.h"

namespace sim {
namespace {

// Keeps value + 2 below the distinctive samples.
constexpr uint32_t kValueSpan = 0xBEEC;

bool Inside(const CameraState& state, int topRow, int column)
{
    return topRow >= 0 && topRow < BinnedHeight(state) && column >= 0 &&
           column < BinnedWidth(state);
}

} // namespace

int BinnedWidth(const CameraState& state)
{
    int bin = state.settings.binX;
    return bin > 0 ? state.description.width / bin : 0;
}

int BinnedHeight(const CameraState& state)
{
    int bin = state.settings.binY;
    return bin > 0 ? state.description.height / bin : 0;
}

int PadColumns(const CameraState& state)
{
    if (state.description.type != 3)
        return 0;
    return state.settings.doubleSample ? 2 : 4;
}

int SamplesPerPixel(const CameraState& state)
{
    return state.settings.doubleSample ? 2 : 1;
}

uint16_t PixelValue(const CameraState& state, int topRow, int column)
{
    if (!Inside(state, topRow, column))
        return kOutsideSample;
    uint32_t mix = (uint32_t)topRow * 131u + (uint32_t)column * 7u +
                   (uint32_t)state.settings.binX * 3u + (uint32_t)state.settings.binY;
    return (uint16_t)(1u + mix % kValueSpan);
}

SamplePair PixelSamples(const CameraState& state, int topRow, int column)
{
    if (!Inside(state, topRow, column))
        return SamplePair{kOutsideSample, kOutsideSample};
    uint16_t value = PixelValue(state, topRow, column);
    return SamplePair{(uint16_t)(value - 1), (uint16_t)(value + 2)};
}

uint16_t ExpectedPixel(const CameraState& state, int topRow, int column)
{
    if (!state.settings.doubleSample)
        return PixelValue(state, topRow, column);
    SamplePair samples = PixelSamples(state, topRow, column);
    return (uint16_t)(((uint32_t)samples.first + samples.second) / 2);
}

std::vector<uint16_t> ExpectedFrame(const CameraState& state, int x, int y, int width, int height)
{
    std::vector<uint16_t> frame;
    if (width <= 0 || height <= 0)
        return frame;
    frame.reserve((size_t)width * (size_t)height);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            frame.push_back(ExpectedPixel(state, y + row, x + column));
    return frame;
}

} // namespace sim
