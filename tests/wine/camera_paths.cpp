#include "wine/camera_paths.h"

#include <cstdio>

#include "platform/win32.h"

namespace wine_tests {

void UniqueSerialTail(char* buffer, size_t size)
{
    static unsigned counter = 0;
    std::snprintf(buffer, size, "R6%lu_%u", static_cast<unsigned long>(GetCurrentProcessId()),
                  ++counter);
}

void CameraDevicePath(char* buffer, size_t size, const char* tail)
{
    std::snprintf(buffer, size,
                  "\\\\?\\usb#vid_1278&pid_0507#KS00017_%s#{79349dc7-cf70-438e-bc10-f454f02d2067}",
                  tail);
}

void CameraClaimName(char* buffer, size_t size, const char* tail)
{
    std::snprintf(buffer, size,
                  "K6_____usb#vid_1278&pid_0507#KS00017_%s#{79349dc7-cf70-438e-bc10-f454f02d2067}",
                  tail);
}

} // namespace wine_tests
