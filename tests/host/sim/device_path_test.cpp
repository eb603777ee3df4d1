#include <gtest/gtest.h>

#include "sim/device_path.h"
#include "sim/interface_class.h"

namespace {

sim::CameraDescription Usb(int type, uint16_t vid, uint16_t pid, const char* serial)
{
    sim::CameraDescription camera;
    camera.type = type;
    camera.vendorId = vid;
    camera.productId = pid;
    camera.serial = serial;
    return camera;
}

TEST(InterfaceClass, GuidsByCameraType)
{
    EXPECT_EQ("{79349dc7-cf70-438e-bc10-f454f02d2067}", sim::GuidText(*sim::InterfaceClass(1)));
    EXPECT_EQ("{2bcdda06-f3c9-4ae6-b257-219defa0abcb}", sim::GuidText(*sim::InterfaceClass(2)));
    EXPECT_EQ("{9df858c4-1fff-4aa8-8479-4e8cb9ac9095}", sim::GuidText(*sim::InterfaceClass(3)));
    EXPECT_EQ(nullptr, sim::InterfaceClass(0));
    EXPECT_EQ(nullptr, sim::InterfaceClass(4));
}

TEST(InterfaceClass, TypeOfClassRoundTrips)
{
    for (int type = 1; type <= 3; ++type)
        EXPECT_EQ(type, sim::CameraTypeOf(*sim::InterfaceClass(type)));
    GUID other = *sim::InterfaceClass(1);
    other.Data4[7] ^= 1;
    EXPECT_EQ(0, sim::CameraTypeOf(other));
}

TEST(DevicePath, HasTheFormSetupApiReports)
{
    EXPECT_EQ("\\\\?\\usb#vid_1278&pid_0507#KS00017#{79349dc7-cf70-438e-bc10-f454f02d2067}",
              sim::DevicePath(Usb(1, 0x1278, 0x0507, "KS00017")));
}

TEST(DevicePath, IdsAreFourLowerCaseHexDigitsAndSerialKeepsItsCase)
{
    EXPECT_EQ("\\\\?\\usb#vid_00ab&pid_fe0c#5&1a2B&0&3#{9df858c4-1fff-4aa8-8479-4e8cb9ac9095}",
              sim::DevicePath(Usb(3, 0xAB, 0xFE0C, "5&1a2B&0&3")));
    EXPECT_EQ("\\\\?\\usb#vid_0000&pid_0000##{2bcdda06-f3c9-4ae6-b257-219defa0abcb}",
              sim::DevicePath(Usb(2, 0, 0, "")));
}

TEST(DevicePath, NoPathWithoutClass)
{
    EXPECT_EQ("", sim::DevicePath(Usb(0, 0x1278, 0x0507, "KS00017")));
    EXPECT_EQ("", sim::DevicePath(Usb(4, 0x1278, 0x0507, "KS00017")));
}

TEST(DevicePath, CaseFolding)
{
    EXPECT_EQ("\\\\?\\USB#VID_1278&PID_0507#KS00017#{79349DC7-CF70-438E-BC10-F454F02D2067}",
              sim::UpperCasePath(sim::DevicePath(Usb(1, 0x1278, 0x0507, "KS00017"))));
    EXPECT_TRUE(sim::SamePath("\\\\?\\usb#Vid_1", "\\\\?\\USB#vID_1"));
    EXPECT_FALSE(sim::SamePath("\\\\?\\usb#vid_1", "\\\\?\\usb#vid_12"));
    EXPECT_FALSE(sim::SamePath("\\\\?\\usb#vid_1", "\\\\?\\usb#vid_2"));
}

} // namespace
