#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "platform/emul/core.h"
#include "platform/emul/kernel.h"
#include "platform/emul/setupapi.h"
#include "platform/emul/user_state.h"

using namespace emu;

namespace {

constexpr size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

struct DeviceInfoSet {
    GUID interfaceClass{};
    std::vector<InterfaceEntry> members;
    // Members are known to interface records by firstMember + index, unique
    // over all sets, so a record of another set is recognised as foreign.
    ULONG_PTR firstMember = 0;
};

struct SetupState {
    std::map<HDEVINFO, DeviceInfoSet> sets;
    uintptr_t nextSet = 0x00E00000;
    ULONG_PTR nextMember = 1;
};

SetupState& S()
{
    static SetupState* state = new SetupState; // never destroyed, like the rest of the emulation
    return *state;
}

// Lock held. Using a set that was never made or is already destroyed is
// misuse as well as an error.
DeviceInfoSet* LookUpSet(HDEVINFO set, const char* caller)
{
    auto it = S().sets.find(set);
    if (it != S().sets.end())
        return &it->second;
    core::ReportMisuse(std::string(caller) + " on " + user::HandleText(set) +
                       ", which is not a device information set");
    return nullptr;
}

// Lock held. The member an interface record names, or null.
const InterfaceEntry* MemberOf(const DeviceInfoSet& s, const SP_DEVICE_INTERFACE_DATA& data)
{
    if (data.Reserved < s.firstMember || data.Reserved - s.firstMember >= s.members.size())
        return nullptr;
    return &s.members[data.Reserved - s.firstMember];
}

// SetupAPI reports success through the last error as well.
BOOL Finish(DWORD error)
{
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

// The interfaces the bus presents, asked without the lock held.
bool ReadInterfaces(const GUID& interfaceClass, std::vector<InterfaceEntry>* members, DWORD* error)
{
    DeviceBus* bus;
    {
        core::Guard g(core::Lock());
        bus = core::Bus();
    }
    if (bus == nullptr)
        return true;
    *error = ERROR_SUCCESS;
    if (bus->Interfaces(interfaceClass, members, error))
        return true;
    if (*error == ERROR_SUCCESS)
        *error = ERROR_GEN_FAILURE; // a refusal must never read as success
    return false;
}

} // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND, DWORD flags)
{
    if ((flags & DIGCF_DEVICEINTERFACE) == 0 ||
        (flags & ~static_cast<DWORD>(DIGCF_DEVICEINTERFACE | DIGCF_PRESENT)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return INVALID_HANDLE_VALUE;
    }
    if (classGuid == nullptr || enumerator != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<InterfaceEntry> members;
    DWORD error = ERROR_SUCCESS;
    if (!ReadInterfaces(*classGuid, &members, &error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    HDEVINFO handle;
    {
        core::Guard g(core::Lock());
        SetupState& s = S();
        handle = reinterpret_cast<HDEVINFO>(s.nextSet);
        s.nextSet += 0x10;
        DeviceInfoSet& set = s.sets[handle];
        set.interfaceClass = *classGuid;
        set.firstMember = s.nextMember;
        s.nextMember += members.size() + 1;
        set.members = std::move(members);
        ++core::Counters().deviceInfoSets;
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                        const GUID* classGuid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data)
{
    core::Guard g(core::Lock());
    DeviceInfoSet* s = LookUpSet(set, "SetupDiEnumDeviceInterfaces");
    if (s == nullptr)
        return Finish(ERROR_INVALID_HANDLE);
    if (deviceInfo != nullptr || classGuid == nullptr || data == nullptr)
        return Finish(ERROR_INVALID_PARAMETER);
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Finish(ERROR_INVALID_USER_BUFFER);
    // A set holds one class; asking it for another finds nothing.
    if (*classGuid != s->interfaceClass || index >= s->members.size())
        return Finish(ERROR_NO_MORE_ITEMS);
    const InterfaceEntry& member = s->members[index];
    if (member.enumerateError != ERROR_SUCCESS)
        return Finish(member.enumerateError);
    data->InterfaceClassGuid = s->interfaceClass;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = s->firstMember + index;
    return Finish(ERROR_SUCCESS);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detailSize, PDWORD required,
                                             PSP_DEVINFO_DATA deviceInfo)
{
    core::Guard g(core::Lock());
    DeviceInfoSet* s = LookUpSet(set, "SetupDiGetDeviceInterfaceDetailA");
    if (s == nullptr)
        return Finish(ERROR_INVALID_HANDLE);
    if (deviceInfo != nullptr || data == nullptr ||
        data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Finish(ERROR_INVALID_PARAMETER);
    const InterfaceEntry* member = MemberOf(*s, *data);
    if (member == nullptr)
        return Finish(ERROR_INVALID_PARAMETER);
    // cbSize is read only from a block that can hold it and a terminator.
    if (detail == nullptr ? detailSize != 0
                          : detailSize < kPathOffset + 1 ||
                                detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return Finish(ERROR_INVALID_USER_BUFFER);
    DWORD needed = static_cast<DWORD>(kPathOffset + member->path.size() + 1);
    if (required != nullptr)
        *required = needed;
    if (detailSize < needed)
        return Finish(ERROR_INSUFFICIENT_BUFFER);
    if (member->detailFails)
        return Finish(ERROR_NO_SUCH_DEVICE_INTERFACE);
    std::memcpy(reinterpret_cast<char*>(detail) + kPathOffset, member->path.c_str(),
                member->path.size() + 1);
    return Finish(ERROR_SUCCESS);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    core::Guard g(core::Lock());
    if (LookUpSet(set, "SetupDiDestroyDeviceInfoList") == nullptr)
        return Finish(ERROR_INVALID_HANDLE);
    S().sets.erase(set);
    --core::Counters().deviceInfoSets;
    return Finish(ERROR_SUCCESS);
}
