// The setup dialog under the real dialog manager: built from the driver's
// template, filled from the working copy, driven by a person's keys and
// clicks, and read back into the working copy on OK only.
#include <cmath>
#include <cstring>

#include "contract/harness.h"
#include "state/driver_state.h"
#include "driver/exports.h"
#include "driver/module_lifecycle.h"
#include "wine/dialog/dialog_user.h"

using namespace wine_dialog;

namespace {

// The driver attached to this program's own module, as the loader would
// attach the DLL, with a working copy that makes every field editable. No
// camera object exists, so the setup keeps these values as they are (there
// is no camera to take them from, and none to open afterwards).
void AttachWithSettings()
{
    OnProcessAttach(GetModuleHandleA(nullptr));
    driverState.preflashSupported = true;
    driverState.preflashTime = 0.5f;
    driverState.clearCount = 4;
    driverState.maxTempStep = 0.5f;
    driverState.ccdTemperature = kNoTemperature;
    driverState.setTemperature = -10.0f;
    driverState.windowHeating = false;
    driverState.readMode = 1;
}

// Runs the setup with its dialog while the person acts; true when the
// person found the dialog and the setup came back.
bool SetUpWithDialog(UserPlan* plan)
{
    HANDLE user = StartUser(plan);
    if (user == nullptr)
        return false;
    int result = d_SetupCCD(0);
    WaitForSingleObject(user, 30000);
    CloseHandle(user);
    return result == 1 && plan->found;
}

const char* TextShown(const UserPlan& plan, int id)
{
    for (const auto& entry : plan.texts)
        if (entry.first == id)
            return entry.second.c_str();
    return "(no such field)";
}

bool ShownReadOnly(const UserPlan& plan, int id)
{
    for (int readOnly : plan.readOnly)
        if (readOnly == id)
            return true;
    return false;
}

const std::vector<std::pair<int, std::string>> kTyped = {
    {221, "2.5"}, {231, "25"}, {241, "1.2"}, {261, "-20"}};

} // namespace

CONTRACT_TEST(SetupDialog, ShowsTheWorkingCopyAndOkStoresWhatWasTyped)
{
    AttachWithSettings();
    UserPlan plan;
    plan.typed = kTyped;
    plan.toggleHeating = true;
    plan.button = IDOK;
    REQUIRE(SetUpWithDialog(&plan));

    CHECK_TEXT(TextShown(plan, 221), "0.5");
    CHECK_TEXT(TextShown(plan, 231), "4");
    CHECK_TEXT(TextShown(plan, 241), "3.0");
    CHECK_TEXT(TextShown(plan, 251), "N/A");
    CHECK_TEXT(TextShown(plan, 261), "-10.0");
    CHECK(ShownReadOnly(plan, 251));
    CHECK(!ShownReadOnly(plan, 221) && !ShownReadOnly(plan, 231) && !ShownReadOnly(plan, 261));
    CHECK_EQ(plan.readModes.size(), 2u);
    if (plan.readModes.size() == 2) {
        CHECK_TEXT(plan.readModes[0].c_str(), "Low Noise");
        CHECK_TEXT(plan.readModes[1].c_str(), "Standard");
    }
    CHECK(!plan.heatingChecked);
    // 120 x 194 dialog units make a window taller than wide.
    CHECK(plan.frame.bottom - plan.frame.top > plan.frame.right - plan.frame.left);

    CHECK(driverState.preflashTime == 2.5f);
    CHECK_EQ(driverState.clearCount, 20);
    CHECK(std::fabs(driverState.maxTempStep - 0.2f) < 1e-6f);
    CHECK(driverState.setTemperature == -20.0f);
    CHECK(driverState.windowHeating);
    CHECK_EQ(driverState.readMode, 1);
    // No camera could be opened under Wine: the setup leaves none.
    CHECK(driverState.camera == nullptr);
    CHECK_EQ(d_GetOK(), 0);
    OnProcessDetach();
}

CONTRACT_TEST(SetupDialog, CancelStoresNothing)
{
    AttachWithSettings();
    UserPlan plan;
    plan.typed = kTyped;
    plan.toggleHeating = true;
    plan.button = IDCANCEL;
    REQUIRE(SetUpWithDialog(&plan));

    CHECK(driverState.preflashTime == 0.5f);
    CHECK_EQ(driverState.clearCount, 4);
    CHECK(driverState.maxTempStep == 0.5f);
    CHECK(driverState.setTemperature == -10.0f);
    CHECK(!driverState.windowHeating);
    CHECK_EQ(driverState.selectedCameraId, -1);
    OnProcessDetach();
}
