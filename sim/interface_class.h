// The three device-interface classes under which the cameras' USB driver
// presents them, one per camera type.
#pragma once

#include <string>

#include "platform/emul/types.h"

namespace sim {

constexpr int kFirstCameraType = 1;
constexpr int kLastCameraType = 3;

// The interface class of camera type 1, 2 or 3; null for any other type.
const GUID* InterfaceClass(int cameraType);

// The camera type whose class this is, or 0 for a class that is not ours.
int CameraTypeOf(const GUID& interfaceClass);

// The class in the registry form that device paths carry, lower case:
// "{79349dc7-cf70-438e-bc10-f454f02d2067}".
std::string GuidText(const GUID& guid);

} // namespace sim
