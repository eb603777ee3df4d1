#include "sim/interface_survey.h"

#include "sim/camera_info.h"
#include "sim/command_code.h"
#include "sim/interface_class.h"
#include "sim/reply_status.h"

namespace sim {
namespace {

constexpr DWORD kInfoReplySize = 1 + kCameraInfoSize;
// A bound on the walk, so that a set that never reports its end cannot hold
// the survey forever.
constexpr DWORD kMemberLimit = 256;

HANDLE OpenExisting(const std::string& name)
{
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// The member's device path, or false with the Win32 error.
bool ReadDevicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* member, std::string* path, DWORD* error)
{
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, member, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        *error = GetLastError();
        return false;
    }
    std::vector<char> record(required);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(record.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, member, detail, required, nullptr, nullptr)) {
        *error = GetLastError();
        return false;
    }
    *path = detail->DevicePath;
    return true;
}

int32_t AskId(HANDLE command, HANDLE reply, DWORD* error)
{
    BYTE request = command::GetInfo;
    DWORD written = 0;
    if (!WriteFile(command, &request, 1, &written, nullptr)) {
        *error = GetLastError();
        return -1;
    }
    BYTE answer[kInfoReplySize] = {};
    DWORD read = 0;
    if (!ReadFile(reply, answer, kInfoReplySize, &read, nullptr)) {
        *error = GetLastError();
        return -1;
    }
    if (read < 5 || answer[0] != kStatusSuccess) {
        *error = ERROR_INVALID_DATA;
        return -1;
    }
    return (int32_t)((uint32_t)answer[1] | (uint32_t)answer[2] << 8 | (uint32_t)answer[3] << 16 |
                     (uint32_t)answer[4] << 24);
}

SurveyedInterface SurveyMember(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* member, DWORD index)
{
    SurveyedInterface found;
    found.index = index;
    if (!ReadDevicePath(set, member, &found.path, &found.error))
        return found;
    // Held open during identification, as the driver holds the device it probes.
    HANDLE device = OpenExisting(found.path);
    if (device == INVALID_HANDLE_VALUE) {
        found.error = GetLastError();
        return found;
    }
    found.id = IdentifyOverPipes(found.path, &found.error);
    CloseHandle(device);
    return found;
}

} // namespace

int32_t IdentifyOverPipes(const std::string& path, DWORD* error)
{
    HANDLE command = OpenExisting(path + "\\0");
    if (command == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return -1;
    }
    HANDLE reply = OpenExisting(path + "\\1");
    if (reply == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        CloseHandle(command);
        return -1;
    }
    int32_t id = AskId(command, reply, error);
    CloseHandle(reply);
    CloseHandle(command);
    return id;
}

ClassSurvey SurveyClass(int cameraType)
{
    ClassSurvey survey;
    survey.cameraType = cameraType;
    const GUID* interfaceClass = InterfaceClass(cameraType);
    HDEVINFO set = SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        survey.error = GetLastError();
        return survey;
    }
    survey.listed = true;
    for (DWORD index = 0; index < kMemberLimit; ++index) {
        SP_DEVICE_INTERFACE_DATA member = {};
        member.cbSize = sizeof member;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, interfaceClass, index, &member)) {
            DWORD error = GetLastError();
            if (error == ERROR_NO_MORE_ITEMS)
                break;
            SurveyedInterface skipped;
            skipped.index = index;
            skipped.error = error;
            survey.interfaces.push_back(skipped);
            continue;
        }
        survey.interfaces.push_back(SurveyMember(set, &member, index));
    }
    SetupDiDestroyDeviceInfoList(set);
    return survey;
}

std::vector<ClassSurvey> SurveyAllClasses()
{
    std::vector<ClassSurvey> surveys;
    for (int type = kFirstCameraType; type <= kLastCameraType; ++type)
        surveys.push_back(SurveyClass(type));
    return surveys;
}

} // namespace sim
