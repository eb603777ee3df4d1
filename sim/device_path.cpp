#include "sim/device_path.h"

#include <cctype>
#include <cstdio>

#include "sim/interface_class.h"

namespace sim {

std::string DevicePath(const CameraDescription& camera)
{
    const GUID* interfaceClass = InterfaceClass(camera.type);
    if (interfaceClass == nullptr)
        return std::string();
    char usb[32];
    std::snprintf(usb, sizeof usb, "usb#vid_%04x&pid_%04x#", (unsigned)camera.vendorId,
                  (unsigned)camera.productId);
    return std::string("\\\\?\\") + usb + camera.serial + "#" + GuidText(*interfaceClass);
}

std::string UpperCasePath(const std::string& path)
{
    std::string upper = path;
    for (char& c : upper)
        c = (char)std::toupper((unsigned char)c);
    return upper;
}

bool SamePath(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i]))
            return false;
    return true;
}

} // namespace sim
