// The command codes that open every request on the command pipe.
#pragma once

#include <cstdint>

namespace sim::command {

enum Code : uint8_t {
    GetInfo = 0,
    SetBinningX = 1,
    SetBinningY = 2,
    SetReadMode = 3,
    StartExposure = 4,
    ReadFrame = 11,
    OpenShutter = 12,
    CloseShutter = 13,
    SetFilter = 14,
    GetValue = 15,
    SetTemperature = 16,
    GetPower = 17,
    ExposeAndReadFrame = 21,
    SetWindowHeating = 23,
    SetPreflash = 24,
};

} // namespace sim::command
