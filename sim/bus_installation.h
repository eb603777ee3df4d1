// Makes a bus the one that the emulated CreateFileA and SetupAPI use, for
// the lifetime of this object.
#pragma once

#include "platform/emul/control.h"

namespace sim {

class BusInstallation {
public:
    explicit BusInstallation(emu::DeviceBus& bus);
    ~BusInstallation();
    BusInstallation(const BusInstallation&) = delete;
    BusInstallation& operator=(const BusInstallation&) = delete;
};

} // namespace sim
