#pragma once

#include "platform/win32.h"

namespace r6odi {

// The command codes the driver sends; no other code ever goes to a camera.
enum CommandCode : BYTE {
    kGetInfo = 0,
    kSetBinningX = 1,
    kSetBinningY = 2,
    kSetReadMode = 3,
    kStartExposure = 4,
    kReadFrame = 11,
    kOpenShutter = 12,
    kCloseShutter = 13,
    kSetFilter = 14,
    kGetValue = 15,
    kSetTemperature = 16,
    kGetPower = 17,
    kExposeAndReadFrame = 21,
    kSetWindowHeating = 23,
    kSetPreflash = 24,
};

} // namespace r6odi
