#include "sim/frame_transfer.h"

#include "sim/pixel_source.h"
#include "sim/sky_model.h"

namespace sim {
namespace {

// Writes samples one after another, most significant byte first, starting
// `shift` bytes into the transfer and dropping what falls beyond its end.
class SampleWriter {
public:
    SampleWriter(std::vector<uint8_t>* bytes, size_t shift) : bytes_(bytes), at_(shift) {}

    void Put(uint16_t sample)
    {
        PutByte((uint8_t)(sample >> 8));
        PutByte((uint8_t)(sample & 0xFF));
    }

private:
    void PutByte(uint8_t byte)
    {
        if (at_ < bytes_->size())
            (*bytes_)[at_] = byte;
        ++at_;
    }

    std::vector<uint8_t>* bytes_;
    size_t at_;
};

// The frame's pixels as the sky model renders them, when the camera shows
// the sky; rows counted from the top of the binned sensor.
struct SkyPicture {
    std::vector<uint16_t> pixels; // empty: the position pattern
    int topRow = 0;
    int firstColumn = 0;
    int columns = 0;

    // 0 outside the picture or outside the sensor.
    uint16_t At(int topRow, int column) const
    {
        int row = topRow - this->topRow;
        int at = column - firstColumn;
        if (pixels.empty() || row < 0 || at < 0 || at >= columns || (size_t)row * columns + at >= pixels.size())
            return 0;
        return pixels[(size_t)row * columns + at];
    }
};

SkyExposure ExposureOfFrame(const CameraState& state)
{
    const FrameExposure& integrated = state.activity.lastFrameExposure;
    SkyExposure exposure;
    exposure.seconds = (double)(integrated.lightMs + integrated.darkMs) / 1000.0;
    exposure.lightSeconds = (double)integrated.lightMs / 1000.0;
    exposure.ccdCelsius = state.thermal.ccdCelsius;
    exposure.filter = state.settings.filterPosition;
    exposure.serial = (uint32_t)state.activity.frames;
    return exposure;
}

SkyPicture RenderFrameSky(const CameraState& state, const FrameRequest& frame)
{
    SkyPicture picture;
    if (!state.description.sky.enabled || frame.rowCount == 0)
        return picture;
    int bottom = BinnedHeight(state) - 1;
    SkyWindow window;
    window.sensorWidth = state.description.width;
    window.sensorHeight = state.description.height;
    window.binX = state.settings.binX;
    window.binY = state.settings.binY;
    // Rows travel bottom first: the last one sent is the window's top row.
    window.topRow = bottom - (frame.firstRow + frame.rowCount - 1);
    window.rows = frame.rowCount;
    window.firstColumn = frame.firstColumn;
    window.columns = frame.columnCount - PadColumns(state);
    picture.pixels = RenderSky(state.description.sky, ExposureOfFrame(state), window);
    picture.topRow = window.topRow;
    picture.firstColumn = window.firstColumn;
    picture.columns = window.columns;
    return picture;
}

void PutPixel(const CameraState& state, const SkyPicture& sky, int topRow, int column, SampleWriter* out)
{
    uint16_t skyValue = sky.At(topRow, column);
    if (!state.settings.doubleSample) {
        out->Put(skyValue != 0 ? skyValue : PixelValue(state, topRow, column));
        return;
    }
    // A sky value travels in the position pattern's coding: value - 1 and
    // value + 2, whose truncated average is the value.
    SamplePair samples = skyValue != 0 ? SamplePair{(uint16_t)(skyValue - 1), (uint16_t)(skyValue + 2)}
                                       : PixelSamples(state, topRow, column);
    out->Put(samples.first);
    out->Put(samples.second);
}

void PutPad(const CameraState& state, SampleWriter* out)
{
    for (int sample = 0; sample < SamplesPerPixel(state); ++sample)
        out->Put(kPadSample);
}

void PutRow(const CameraState& state, const FrameRequest& frame, const SkyPicture& sky, int topRow,
            SampleWriter* out)
{
    int pads = PadColumns(state);
    for (int column = 0; column < frame.columnCount; ++column) {
        if (column < pads)
            PutPad(state, out);
        else
            PutPixel(state, sky, topRow, frame.firstColumn + column - pads, out);
    }
}

// The camera's one-byte lag: type 3 in double-sample mode.
size_t LeadingBytes(const CameraState& state)
{
    return state.description.type == 3 && state.settings.doubleSample ? 1 : 0;
}

} // namespace

size_t TransferSize(const CameraState& state, const FrameRequest& frame)
{
    return (size_t)frame.rowCount * frame.columnCount * 2 * (size_t)SamplesPerPixel(state);
}

std::vector<uint8_t> FrameTransfer(const CameraState& state, const FrameRequest& frame)
{
    size_t total = TransferSize(state, frame);
    if (total > kLargestTransfer)
        return std::vector<uint8_t>();
    std::vector<uint8_t> bytes(total, 0x00);
    SampleWriter out(&bytes, LeadingBytes(state));
    SkyPicture sky = RenderFrameSky(state, frame);
    int bottom = BinnedHeight(state) - 1;
    for (int row = 0; row < frame.rowCount; ++row)
        PutRow(state, frame, sky, bottom - (frame.firstRow + row), &out);
    return bytes;
}

} // namespace sim
