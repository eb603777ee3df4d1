// Device paths of the kind SetupAPI reports for a camera, and the claim
// event names that go with them, written out by hand so that the driver's
// own name building is checked against a literal and not against a copy of
// itself.
#pragma once

#include <cstddef>

namespace wine_tests {

// A tail that no other test of this run and no other run uses: the
// processes of concurrent runs share one wineserver's object namespace.
void UniqueSerialTail(char* buffer, size_t size);

// "\\?\usb#vid_1278&pid_0507#KS00017_<tail>#{79349dc7-...}": a camera of
// type 1 as the system reports it.
void CameraDevicePath(char* buffer, size_t size, const char* tail);

// The name under which the driver must create the claim event of that path.
void CameraClaimName(char* buffer, size_t size, const char* tail);

} // namespace wine_tests
