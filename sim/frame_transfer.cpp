#include "sim/frame_transfer.h"

#include "sim/pixel_source.h"

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

void PutPixel(const CameraState& state, int topRow, int column, SampleWriter* out)
{
    if (!state.settings.doubleSample) {
        out->Put(PixelValue(state, topRow, column));
        return;
    }
    SamplePair samples = PixelSamples(state, topRow, column);
    out->Put(samples.first);
    out->Put(samples.second);
}

void PutPad(const CameraState& state, SampleWriter* out)
{
    for (int sample = 0; sample < SamplesPerPixel(state); ++sample)
        out->Put(kPadSample);
}

void PutRow(const CameraState& state, const FrameRequest& frame, int topRow, SampleWriter* out)
{
    int pads = PadColumns(state);
    for (int column = 0; column < frame.columnCount; ++column) {
        if (column < pads)
            PutPad(state, out);
        else
            PutPixel(state, topRow, frame.firstColumn + column - pads, out);
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
    int bottom = BinnedHeight(state) - 1;
    for (int row = 0; row < frame.rowCount; ++row)
        PutRow(state, frame, bottom - (frame.firstRow + row), &out);
    return bytes;
}

} // namespace sim
