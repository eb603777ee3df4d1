#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/emul/core.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"
#include "platform/emul/user_state.h"

using namespace emu;
using namespace emu::user;

namespace {

constexpr size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);

bool IsInterfaceFilter(LPVOID filter)
{
    if (filter == nullptr)
        return false;
    const DEV_BROADCAST_HDR* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
    return header->dbch_size >= sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) &&
           header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
}

// The record lParam points to, laid out as the system delivers it: the size
// counts the name and its terminator and nothing after them.
std::vector<uint64_t> InterfaceRecord(const GUID& interfaceClass, const std::string& name)
{
    size_t size = kNameOffset + name.size() + 1;
    size_t storage = std::max(size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
    std::vector<uint64_t> cells((storage + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(cells.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_reserved = 0;
    record->dbcc_classguid = interfaceClass;
    std::memcpy(reinterpret_cast<char*>(cells.data()) + kNameOffset, name.c_str(), name.size() + 1);
    return cells;
}

} // namespace

HDEVNOTIFY WINAPI RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags)
{
    if ((flags & ~static_cast<DWORD>(DEVICE_NOTIFY_ALL_INTERFACE_CLASSES)) !=
        DEVICE_NOTIFY_WINDOW_HANDLE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsInterfaceFilter(filter)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    HWND window = static_cast<HWND>(recipient);
    core::Guard g(core::Lock());
    if (LookUpWindow(window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    State& s = S();
    HDEVNOTIFY handle = reinterpret_cast<HDEVNOTIFY>(s.nextRegistration);
    s.nextRegistration += 0x10;
    Registration& r = s.registrations[handle];
    r.window = window;
    r.interfaceClass = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter)->dbcc_classguid;
    r.allClasses = (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0;
    ++core::Counters().registrations;
    return handle;
}

BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY handle)
{
    core::Guard g(core::Lock());
    if (S().registrations.erase(handle) == 0) {
        core::ReportMisuse("UnregisterDeviceNotification of " + HandleText(handle) +
                           ", which is not registered");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --core::Counters().registrations;
    return TRUE;
}

namespace emu {

void BroadcastDeviceInterfaceChange(const GUID& interfaceClass, const std::string& name,
                                    bool arrival)
{
    core::Guard g(core::Lock());
    for (const auto& entry : S().registrations) {
        const Registration& r = entry.second;
        if (!r.allClasses && r.interfaceClass != interfaceClass)
            continue;
        Window* w = LookUpWindow(r.window);
        if (w == nullptr)
            continue;
        SentMessage m;
        m.window = r.window;
        m.message = WM_DEVICECHANGE;
        m.wParam = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        m.record = InterfaceRecord(interfaceClass, name);
        QueueOf(w->ownerThread).sent.push_back(std::move(m));
    }
    core::NotifyAll();
}

void BroadcastDeviceChange(WPARAM event, const DEV_BROADCAST_HDR* record)
{
    std::vector<uint64_t> cells;
    if (record != nullptr) {
        cells.assign((record->dbch_size + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
        std::memcpy(cells.data(), record, record->dbch_size);
    }
    core::Guard g(core::Lock());
    for (const auto& entry : S().windows) {
        const Window& w = entry.second;
        if (w.parent != nullptr || w.messageOnly || w.destroying)
            continue;
        SentMessage m;
        m.window = w.handle;
        m.message = WM_DEVICECHANGE;
        m.wParam = event;
        m.record = cells; // empty: lParam 0
        QueueOf(w.ownerThread).sent.push_back(std::move(m));
    }
    core::NotifyAll();
}

} // namespace emu
