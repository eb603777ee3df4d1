#include "sim/camera_info.h"

#include <algorithm>
#include <string>

namespace sim {
namespace {

void PutWord(CameraInfoBlock& block, size_t offset, uint16_t value)
{
    block[offset] = (uint8_t)(value & 0xFF);
    block[offset + 1] = (uint8_t)(value >> 8);
}

void PutLong(CameraInfoBlock& block, size_t offset, uint32_t value)
{
    PutWord(block, offset, (uint16_t)(value & 0xFFFF));
    PutWord(block, offset + 2, (uint16_t)(value >> 16));
}

void PutText(CameraInfoBlock& block, size_t offset, const std::string& text)
{
    size_t length = std::min(text.size(), kCameraTextSize);
    std::copy(text.begin(), text.begin() + (std::ptrdiff_t)length, block.begin() + (std::ptrdiff_t)offset);
}

} // namespace

CameraInfoBlock CameraInfoBytes(const CameraDescription& camera)
{
    CameraInfoBlock block{};
    PutLong(block, 0, camera.id);
    PutWord(block, 4, camera.flags);
    PutWord(block, 6, camera.width);
    PutWord(block, 8, camera.height);
    PutWord(block, 10, camera.reportedValue1);
    PutWord(block, 12, camera.reportedValue2);
    PutText(block, 14, camera.description);
    PutText(block, 29, camera.infoText2);
    PutText(block, 44, camera.infoText3);
    block[59] = camera.lastByte;
    return block;
}

} // namespace sim
