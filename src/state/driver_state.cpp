#include "state/driver_state.h"

DriverState driverState;

HINSTANCE GetModuleInstance()
{
    return driverState.moduleInstance;
}
