// Plugs the default cameras into the simulated bus and lists what the
// system's enumeration finds in each of the three interface classes.
#include <cstdio>

#include "platform/emul/control.h"
#include "sim/bus_installation.h"
#include "sim/default_cameras.h"
#include "sim/interface_survey.h"
#include "sim/sim_bus.h"
#include "sim/survey_table.h"

int main()
{
    emu::UseRealTime(true);
    sim::SimBus bus;
    sim::BusInstallation installation(bus);
    sim::AttachCameras(bus, sim::DefaultCameras());
    std::fputs(sim::SurveyTable(sim::SurveyAllClasses()).c_str(), stdout);
    return 0;
}
