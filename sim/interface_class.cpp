#include "sim/interface_class.h"

#include <cstdio>

namespace sim {
namespace {

const GUID kClasses[] = {
    {0x79349DC7, 0xCF70, 0x438E, {0xBC, 0x10, 0xF4, 0x54, 0xF0, 0x2D, 0x20, 0x67}},
    {0x2BCDDA06, 0xF3C9, 0x4AE6, {0xB2, 0x57, 0x21, 0x9D, 0xEF, 0xA0, 0xAB, 0xCB}},
    {0x9DF858C4, 0x1FFF, 0x4AA8, {0x84, 0x79, 0x4E, 0x8C, 0xB9, 0xAC, 0x90, 0x95}},
};

} // namespace

const GUID* InterfaceClass(int cameraType)
{
    if (cameraType < kFirstCameraType || cameraType > kLastCameraType)
        return nullptr;
    return &kClasses[cameraType - kFirstCameraType];
}

int CameraTypeOf(const GUID& interfaceClass)
{
    for (int type = kFirstCameraType; type <= kLastCameraType; ++type)
        if (*InterfaceClass(type) == interfaceClass)
            return type;
    return 0;
}

std::string GuidText(const GUID& guid)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  (unsigned)guid.Data1, (unsigned)guid.Data2, (unsigned)guid.Data3,
                  guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                  guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

} // namespace sim
