#include "wine/test_interface.h"

#include <cstdio>

#include "wine/camera_paths.h"

namespace wine_tests {
namespace {

constexpr GUID kType1Class = {0x79349DC7, 0xCF70, 0x438E, {0xBC, 0x10, 0xF4, 0x54, 0xF0, 0x2D, 0x20, 0x67}};
const char kClassKey[] =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{79349dc7-cf70-438e-bc10-f454f02d2067}";

// An interface counts as present once its reference-string key says it is
// linked: "#" for none, "#" and the string otherwise.
bool Link(const std::string& path, const char* reference)
{
    std::string link = path.substr(4);
    std::string referenceKey = "#";
    if (reference != nullptr) {
        link.resize(link.size() - 1 - std::string(reference).size());
        referenceKey += reference;
    }
    std::string control = std::string(kClassKey) + "\\##?#" + link + "\\" + referenceKey + "\\Control";
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, control.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    DWORD linked = 1;
    bool set = RegSetValueExA(key, "Linked", 0, REG_DWORD, reinterpret_cast<BYTE*>(&linked), sizeof linked) ==
               ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

} // namespace

TestInterface::TestInterface(const char* reference)
{
    set_ = SetupDiCreateDeviceInfoList(&kType1Class, nullptr);
    if (set_ == INVALID_HANDLE_VALUE)
        return;
    char tail[48];
    char instance[96];
    UniqueSerialTail(tail, sizeof tail);
    std::snprintf(instance, sizeof instance, "ROOT\\R6ODITEST\\%s", tail);
    device_.cbSize = sizeof device_;
    if (!SetupDiCreateDeviceInfoA(set_, instance, &kType1Class, nullptr, nullptr, 0, &device_) ||
        !SetupDiRegisterDeviceInfo(set_, &device_, 0, nullptr, nullptr, nullptr))
        return;
    registered_ = true;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    char detailBlock[512] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBlock);
    detail->cbSize = sizeof *detail;
    if (!SetupDiCreateDeviceInterfaceA(set_, &device_, &kType1Class, reference, 0, &data) ||
        !SetupDiGetDeviceInterfaceDetailA(set_, &data, detail, sizeof detailBlock, nullptr, nullptr))
        return;
    path_ = detail->DevicePath;
    present_ = Link(path_, reference);
}

TestInterface::~TestInterface()
{
    if (registered_)
        SetupDiRemoveDevice(set_, &device_);
    if (set_ != INVALID_HANDLE_VALUE)
        SetupDiDestroyDeviceInfoList(set_);
}

} // namespace wine_tests
