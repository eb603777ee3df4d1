#include <gtest/gtest.h>

#include <vector>

#include "sim/camera_info.h"

namespace {

sim::CameraDescription Described()
{
    sim::CameraDescription camera;
    camera.id = 0x12345678;
    camera.flags = 0xA521;
    camera.width = 1392;
    camera.height = 1040;
    camera.reportedValue1 = 0xBEEF;
    camera.reportedValue2 = 0x0102;
    camera.description = "KX-814 Mono";
    camera.infoText2 = "ABCDEFGHIJKLMNO";     // exactly 15: no room for a terminator
    camera.infoText3 = "0123456789abcdefXYZ"; // longer than the field
    camera.lastByte = 0x5A;
    return camera;
}

TEST(CameraInfoBytes, AreTheWireLayoutLittleEndian)
{
    const std::vector<uint8_t> expected = {
        0x78, 0x56, 0x34, 0x12,                                     // id
        0x21, 0xA5,                                                 // flags
        0x70, 0x05,                                                 // width 1392
        0x10, 0x04,                                                 // height 1040
        0xEF, 0xBE,                                                 // reportedValue1
        0x02, 0x01,                                                 // reportedValue2
        'K', 'X', '-', '8', '1', '4', ' ', 'M', 'o', 'n', 'o', 0, 0, 0, 0, // description
        'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', // infoText2
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', // infoText3
        0x5A,                                                       // last byte
    };
    sim::CameraInfoBlock block = sim::CameraInfoBytes(Described());
    ASSERT_EQ(expected.size(), block.size());
    EXPECT_EQ(expected, std::vector<uint8_t>(block.begin(), block.end()));
}

} // namespace
