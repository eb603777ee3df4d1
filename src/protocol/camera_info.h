#pragma once

#include <cstdint>

namespace r6odi {

// The camera's description of itself, exactly as its 60 bytes follow the
// status byte of a GetInfo reply (little endian, texts in 15-byte fields
// that need not be terminated).
#pragma pack(push, 1)
struct CameraInfo {
    uint32_t id;
    uint16_t flags;
    uint16_t width;
    uint16_t height;
    uint16_t reportedValue1;
    uint16_t reportedValue2;
    char description[15];
    char infoText2[15];
    char infoText3[15];
    uint8_t unused;
};
#pragma pack(pop)
static_assert(sizeof(CameraInfo) == 60, "CameraInfo is the 60 bytes of the wire");

// Of each 15-byte text only the first 14 characters are taken.
constexpr int kCameraTextLength = 14;

// Bits of `flags`.
constexpr uint16_t kFlagFilterWheel5 = 1u << 0;
constexpr uint16_t kFlagFilterWheel6 = 1u << 1;
constexpr uint16_t kFlagFastClock = 1u << 2;
constexpr uint16_t kFlagPreflash = 1u << 5;

// The number of filter positions the flags announce; the configuration
// reader uses the same rule.
int FilterCountOf(uint16_t flags);

} // namespace r6odi
