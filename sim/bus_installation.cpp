#include "sim/bus_installation.h"

namespace sim {

BusInstallation::BusInstallation(emu::DeviceBus& bus)
{
    emu::SetDeviceBus(&bus);
}

BusInstallation::~BusInstallation()
{
    emu::SetDeviceBus(nullptr);
}

} // namespace sim
