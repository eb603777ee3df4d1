// The Windows-only test program of the setup dialog, run with Wine's X11
// graphics driver on a display of its own:
//   wine_dialog_tests [filter]          runs the tests
//   wine_dialog_tests --show SECONDS    shows the dialog for the screenshot
#include <cstdlib>
#include <cstring>

#include "contract/harness.h"
#include "state/driver_state.h"
#include "driver/exports.h"
#include "driver/module_lifecycle.h"
#include "wine/dialog/dialog_user.h"

namespace {

// Shows the dialog with a working copy as a session might leave it, until
// the person presses Cancel after `seconds`.
int ShowForScreenshot(int seconds)
{
    OnProcessAttach(GetModuleHandleA(nullptr));
    driverState.preflashSupported = true;
    driverState.preflashTime = 1.5f;
    driverState.clearCount = 4;
    driverState.ccdTemperature = -9.8f;
    driverState.setTemperature = -10.0f;
    driverState.windowHeating = true;
    wine_dialog::UserPlan plan;
    plan.holdMilliseconds = static_cast<DWORD>(seconds) * 1000;
    HANDLE user = wine_dialog::StartUser(&plan);
    d_SetupCCD(0);
    WaitForSingleObject(user, INFINITE);
    CloseHandle(user);
    OnProcessDetach();
    return plan.found ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--show") == 0)
        return ShowForScreenshot(std::atoi(argv[2]));
    return contract::RunAll(argc > 1 ? argv[1] : nullptr);
}
