// The kernel objects behind handles, shared by the emulated kernel32's
// files: kernel.cpp keeps the handle table, file_reads.cpp the reads in
// flight. Nothing outside src/platform/emul includes this.
#pragma once

#include <memory>
#include <string>

#include "platform/emul/control.h"
#include "platform/emul/types.h"

namespace emu::core {

struct Object {
    virtual ~Object() = default;
};

struct Event : Object {
    bool manualReset = false;
    bool signalled = false;
    std::string name;
};

struct File : Object {
    std::shared_ptr<emu::DeviceFile> device;
    std::string identity;    // files of one identity open one device
    bool reads = false;      // the access asked for includes reading
    bool writes = false;     // ... writing
    DWORD share = 0;         // FILE_SHARE_READ / FILE_SHARE_WRITE granted to later opens
    bool overlapped = false; // opened with FILE_FLAG_OVERLAPPED
};

// The object of a handle, null when the handle is unknown; lock held.
std::shared_ptr<Object> FindObject(HANDLE handle);

template <class Kind>
std::shared_ptr<Kind> FindObjectAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<Kind>(FindObject(handle));
}

// A handle as text, for misuse reports.
std::string HandleText(HANDLE handle);

// Reads (file_reads.cpp), lock held. Whether a read in flight completes
// into this event, and whether one is in flight on this file handle.
bool IoCompletesEvent(const Event* event);
bool IoPendingOn(HANDLE file);
// Cancels the reads in flight on a file handle that is being closed.
void CancelIoOf(HANDLE file);

} // namespace emu::core
