#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace r6odi {

// Receives one camera id per device found; -1 for a device that did not
// identify itself.
typedef void (*CameraIdCallback)(int32_t cameraId);

// Opens a device or its command pipe for synchronous reads and writes (the
// pipes the driver reads open with OpenReadPipe, pipe_reads.h).
// INVALID_HANDLE_VALUE on failure.
HANDLE OpenDeviceFile(const char* name);

// Leaves the path of one member of a SetupAPI set in pathBuffer; false (the
// buffer untouched) when it cannot be read.
bool ReadInterfacePath(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData, int capacity,
                       char* pathBuffer);

// Opens the device behind one member of a SetupAPI set and leaves its path
// in pathBuffer. INVALID_HANDLE_VALUE when the path cannot be read (the
// buffer is then untouched) or the device cannot be opened.
HANDLE OpenDeviceInterface(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData,
                           int capacity, char* pathBuffer);

// Opens the pipe `suffix` of the device at `path`: "\\0" the command pipe,
// written synchronously; "\\1" the reply and "\\2" the image pipe, which the
// driver reads within limits of its own and so opens for overlapped I/O.
// INVALID_HANDLE_VALUE on failure.
HANDLE OpenDevicePipe(int capacity, const char* path, const char* suffix);

// Asks the device at `path` for its id over its own command and reply
// pipes; the device need not be claimed. -1 when it does not answer with a
// complete, successful GetInfo reply.
int32_t IdentifyDevice(int capacity, const char* path);

// Walks the present devices of one interface class. With a callback every
// free device that opens is identified and reported (one held here or in
// another process is left out, untouched), none is accepted, and the
// result is INVALID_HANDLE_VALUE. Without one, the first device that can be
// claimed (and, unless wantedId is -1, identifies as wantedId) is accepted:
// its open handle is returned, claimed, with its path in pathBuffer; the
// caller owns both the handle and the claim.
HANDLE EnumerateInterfaceClass(const GUID* interfaceClass, char* pathBuffer,
                               CameraIdCallback callback, int32_t wantedId, int capacity);

// Reports the ids of all free cameras: type 1 class first, then 2, then 3.
void EnumerateCameras(CameraIdCallback callback);

} // namespace r6odi
