#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace r6odi {

// Camera types: the device-interface class under which a camera was found.
enum CameraType : int32_t {
    kNoCamera = 0,
    kCameraType1 = 1,
    kCameraType2 = 2,
    kCameraType3 = 3,
};

// The interface class of a camera type 1..3, searched in that order; null
// for any other value.
const GUID* InterfaceClassOf(int32_t cameraType);

} // namespace r6odi
