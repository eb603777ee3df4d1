// The setup dialog driven as a person would, in the emulated dialog manager.
#include <cctype>
#include <cfloat>
#include <cstdio>

#include "hostsupport/number.h"

#include "protocol/camera_info.h"
#include "setup/instance_list.h"
#include "setup/setup_dialog.h"
#include "setup_fixture.h"

namespace {

using namespace k6dlg;

INT_PTR ShowDialog() { return ShowSetupDialog(driverState.moduleInstance, nullptr); }

struct Settings {
    float preflashTime;
    int32_t clearCount;
    float maxTempStep;
    float ccdTemperature;
    float setTemperature;
    bool windowHeating;
    bool preflashSupported;
    int32_t readMode;
};

void Apply(const Settings& s)
{
    driverState.preflashTime = s.preflashTime;
    driverState.clearCount = s.clearCount;
    driverState.maxTempStep = s.maxTempStep;
    driverState.ccdTemperature = s.ccdTemperature;
    driverState.setTemperature = s.setTemperature;
    driverState.windowHeating = s.windowHeating;
    driverState.preflashSupported = s.preflashSupported;
    driverState.readMode = s.readMode;
}

const Settings kDefaults = {0.0f, 4, 0.5f, kNoTemperature, kNoTemperature, false, false, 0};
const Settings kEditable = {1.0f, 4, 0.5f, kNoTemperature, kNoTemperature, false, true, 0};

// --- What the dialog shows --------------------------------------------------

struct ShownCase {
    const char* name;
    Settings settings;
    std::vector<std::pair<int, std::string>> texts;
    bool preflashReadOnly;
    bool checked;
};

class ShownTest : public SetupTest, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(ShownTest, FieldsShowTheWorkingCopy)
{
    Apply(GetParam().settings);
    AnswerDialog({Press(IDCANCEL)});
    EXPECT_EQ(ShowDialog(), 1);
    for (const auto& text : GetParam().texts)
        EXPECT_EQ(Shown(text.first).text, text.second) << "field " << text.first;
    EXPECT_EQ(Shown(kPreflashTimeEdit).readOnly, GetParam().preflashReadOnly);
    EXPECT_EQ(Shown(kClearCountEdit).readOnly, GetParam().preflashReadOnly);
    EXPECT_TRUE(Shown(kCcdTemperatureEdit).readOnly);
    EXPECT_FALSE(Shown(kMaxStepEdit).readOnly);
    EXPECT_FALSE(Shown(kSetTemperatureEdit).readOnly);
    EXPECT_EQ(Shown(kWindowHeatingCheck).checked, GetParam().checked);
    EXPECT_EQ(Shown(kReadModeList).entries, (std::vector<std::string>{"Low Noise", "Standard"}));
    EXPECT_EQ(Shown(kReadModeList).selection, GetParam().settings.readMode);
    EXPECT_TRUE(Shown(kCameraList).focused) << "the first tab stop has the focus";
}

const ShownCase kShownCases[] = {
    {"ModuleDefaults", kDefaults,
     {{221, "0.0"}, {231, "4"}, {241, "3.0"}, {251, "N/A"}, {261, ""}, {211, "Low Noise"}},
     true, false},
    {"EveryValueSet", {1.234f, 7, 0.25f, -12.345f, -10.005f, true, true, 1},
     {{221, "1.23"}, {231, "7"}, {241, "1.5"}, {251, "-12.345"}, {261, "-10.01"}, {211, "Standard"}},
     false, true},
    {"ReadingJustAboveTheMarker", {65.535f, 20, 0.1f / 6, -273.9f, -273.0f, false, true, 0},
     {{221, "65.54"}, {231, "20"}, {241, "0.1"}, {251, "-273.9"}, {261, "-273.0"}},
     false, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, ShownTest, ::testing::ValuesIn(kShownCases),
                         [](const ::testing::TestParamInfo<ShownCase>& info) { return info.param.name; });

// --- What OK stores ---------------------------------------------------------

struct StoredCase {
    int field;
    const char* typed;
    float DriverState::*real; // null: the clear count
    double expected;
};

class StoredTest : public SetupTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredTest, OkStoresTheTypedValueWithinItsLimits)
{
    const StoredCase& c = GetParam();
    Apply(kEditable);
    AnswerDialog({Type(c.field, c.typed), Press(IDOK)});
    EXPECT_EQ(ShowDialog(), 1);
    if (c.real != nullptr)
        EXPECT_EQ(driverState.*c.real, static_cast<float>(c.expected)) << c.typed;
    else
        EXPECT_EQ(driverState.clearCount, static_cast<int32_t>(c.expected)) << c.typed;
}

const StoredCase kStoredCases[] = {
    {kClearCountEdit, "0", nullptr, 1},
    {kClearCountEdit, "25", nullptr, 20},
    {kClearCountEdit, "-3", nullptr, 20},
    {kClearCountEdit, "7", nullptr, 7},
    {kClearCountEdit, "seven", nullptr, 4},
    {kClearCountEdit, "", nullptr, 4},
    {kPreflashTimeEdit, "100", &DriverState::preflashTime, 65.535},
    {kPreflashTimeEdit, "1.5", &DriverState::preflashTime, 1.5},
    {kPreflashTimeEdit, "-1", &DriverState::preflashTime, -1.0},
    {kPreflashTimeEdit, "-1e300", &DriverState::preflashTime, -FLT_MAX},
    {kPreflashTimeEdit, "1,5", &DriverState::preflashTime, 1.0},
    {kMaxStepEdit, "1", &DriverState::maxTempStep, 1.0f / 6},
    {kMaxStepEdit, "0", &DriverState::maxTempStep, 0.1f / 6},
    {kMaxStepEdit, "-5", &DriverState::maxTempStep, 0.1f / 6},
    {kMaxStepEdit, "1e300", &DriverState::maxTempStep, FLT_MAX / 6},
    {kSetTemperatureEdit, "-300", &DriverState::setTemperature, -273.0},
    {kSetTemperatureEdit, "25", &DriverState::setTemperature, 25.0},
    {kSetTemperatureEdit, "", &DriverState::setTemperature, kNoTemperature},
    {kSetTemperatureEdit, "-10.25", &DriverState::setTemperature, -10.25},
};

// Names that stay the same from one run to the next: the field and the
// text typed, its characters spelled out where a name cannot hold them.
std::string StoredName(const ::testing::TestParamInfo<StoredCase>& info)
{
    std::string name = "Field" + std::to_string(info.param.field) + "_";
    for (const char* c = info.param.typed; *c != 0; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c)))
            name.push_back(*c);
        else
            name += *c == '-' ? "minus" : *c == '.' ? "point" : "comma";
    }
    return *info.param.typed == 0 ? name + "empty" : name;
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredTest, ::testing::ValuesIn(kStoredCases), StoredName);

// OK with nothing changed stores what was shown, rounded as shown.
TEST_F(SetupTest, OkUnchangedStoresTheValuesAsShown)
{
    Apply({1.234f, 7, 0.2f, 3.0f, -10.005f, true, false, 1});
    AnswerDialog({Press(IDOK)});
    ShowDialog();
    EXPECT_EQ(driverState.preflashTime, 1.23f);
    EXPECT_EQ(driverState.clearCount, 7);
    EXPECT_EQ(driverState.maxTempStep, 1.2f / 6);
    EXPECT_EQ(driverState.setTemperature, -10.01f);
    EXPECT_EQ(driverState.ccdTemperature, 3.0f);
    EXPECT_TRUE(driverState.windowHeating);
    EXPECT_EQ(driverState.readMode, 1);
}

TEST_F(SetupTest, ReadOnlyFieldsTakeNoTyping)
{
    Apply(kDefaults);
    AnswerDialog({[](HWND dialog) {
        for (int id : {kPreflashTimeEdit, kClearCountEdit, kCcdTemperatureEdit})
            EXPECT_FALSE(emu::TypeInto(dialog, id, "5")) << id;
        // Keys sent to a read-only field anyway change nothing.
        PostMessageA(GetDlgItem(dialog, kClearCountEdit), WM_CHAR, '9', 1);
        emu::Click(dialog, IDOK);
    }});
    ShowDialog();
    EXPECT_EQ(driverState.clearCount, 4);
    EXPECT_EQ(driverState.preflashTime, 0.0f);
}

// --- Ways out without storing --------------------------------------------------

struct LeaveCase {
    const char* name;
    DialogStep leave;
};

class LeaveTest : public SetupTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeaveTest, LeavesEveryValueAsItWas)
{
    AttachCamera(1, 5, "CAM-5");
    AttachCamera(1, 6, "CAM-6");
    BuildInstanceList();
    driverState.selectedCameraId = 5;
    Apply(kEditable);
    AnswerDialog({Type(kPreflashTimeEdit, "2"), Type(kClearCountEdit, "9"), Type(kMaxStepEdit, "6"),
                  Type(kSetTemperatureEdit, "-20"), Press(kWindowHeatingCheck), Choose(kCameraList, 1),
                  Choose(kReadModeList, 1), GetParam().leave});
    EXPECT_EQ(ShowDialog(), 1);
    EXPECT_EQ(driverState.selectedCameraId, 5);
    EXPECT_EQ(driverState.preflashTime, 1.0f);
    EXPECT_EQ(driverState.clearCount, 4);
    EXPECT_EQ(driverState.maxTempStep, 0.5f);
    EXPECT_EQ(driverState.setTemperature, kNoTemperature);
    EXPECT_FALSE(driverState.windowHeating);
    EXPECT_EQ(driverState.readMode, 0);
}

const LeaveCase kLeaveCases[] = {
    {"CancelButton", Press(IDCANCEL)},
    {"EscapeKey", Key(VK_ESCAPE)},
    {"CloseBox", [](HWND dialog) { EXPECT_TRUE(emu::CloseBox(dialog)); }},
};

INSTANTIATE_TEST_SUITE_P(Ways, LeaveTest, ::testing::ValuesIn(kLeaveCases),
                         [](const ::testing::TestParamInfo<LeaveCase>& info) { return info.param.name; });

TEST_F(SetupTest, EnterIsOk)
{
    Apply(kEditable);
    AnswerDialog({Type(kSetTemperatureEdit, "-12"), Key(VK_RETURN)});
    EXPECT_EQ(ShowDialog(), 1);
    EXPECT_EQ(driverState.setTemperature, -12.0f);
}

// --- The camera list -------------------------------------------------------------

struct ListCase {
    const char* name;
    std::vector<int32_t> ids; // the list's entries, in order
    int32_t selectedBefore;
    int shownSelection;
    int chosen; // -1: nothing chosen
    int32_t selectedAfter;
};

class CameraListTest : public SetupTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(CameraListTest, SelectsTheChosenCamerasEntry)
{
    const ListCase& c = GetParam();
    for (int32_t id : c.ids)
        AddInstance(id);
    for (int i = 0; CDriverInstanceListElem* entry = InstanceAt(i); ++i)
        snprintf(entry->text, sizeof entry->text, "%c-CAM, Id: %d", 'Z' - i, entry->cameraId);
    driverState.selectedCameraId = c.selectedBefore;
    std::vector<DialogStep> steps;
    if (c.chosen >= 0)
        steps.push_back(Choose(kCameraList, c.chosen));
    steps.push_back(Press(IDOK));
    AnswerDialog(steps);
    ShowDialog();
    EXPECT_EQ(Shown(kCameraList).entries.size(), c.ids.size());
    EXPECT_EQ(Shown(kCameraList).selection, c.shownSelection);
    EXPECT_EQ(driverState.selectedCameraId, c.selectedAfter);
}

const ListCase kListCases[] = {
    {"Empty", {}, 7, -1, -1, 7},
    {"ChosenLastTime", {3, 7, 9}, 7, 1, -1, 7},
    {"SecondChosenNotAlphabetical", {3, 7}, 3, 0, 1, 7},
    {"NotThereTakesTheFirst", {3, 7}, 12, 0, -1, 3},
    {"SeveralMatchesTakeTheLast", {4, -1, 4, 5}, 4, 2, -1, 4},
    {"FirstFreeCamera", {-1}, 17, 0, -1, -1},
};

INSTANTIATE_TEST_SUITE_P(Cases, CameraListTest, ::testing::ValuesIn(kListCases),
                         [](const ::testing::TestParamInfo<ListCase>& info) { return info.param.name; });

// --- Around the dialog -------------------------------------------------------------

TEST_F(SetupTest, NoTemplateMemoryShowsNothing)
{
    AnswerDialog({[](HWND) { ADD_FAILURE() << "a dialog was shown"; }});
    emu::FailAllocations(1);
    EXPECT_EQ(ShowDialog(), -1);
    EXPECT_EQ(waits, 0);
}

// The camera's peer window keeps its timers while the dialog is open: the
// regulation ticks find the camera closed and reset its readings, while the
// dialog shows the snapshot taken before. Once the camera is open again the
// new set point is on its way, one step per tick.
TEST_F(SetupTest, RegulationTicksGoOnWhileTheDialogIsOpen)
{
    auto camera = AttachCamera(1, 17, "CAM-100", r6odi::kFlagPreflash);
    Connect();
    driverState.camera->targetTemperature = 0.0f;
    emu::Advance(10000);
    PumpMessages();
    float measured = driverState.camera->ccdTemperature;
    ASSERT_NE(measured, kNoTemperature);
    camera->ClearWireLog();

    std::vector<float> seenDuringDialog;
    // Each step looks at what the last tick left, then acts.
    auto lookThen = [&seenDuringDialog](DialogStep act) {
        return [&seenDuringDialog, act](HWND dialog) {
            seenDuringDialog.push_back(driverState.camera->ccdTemperature);
            act(dialog);
        };
    };
    AnswerDialog({Wait(10000), lookThen(Wait(10000)), lookThen(Type(kSetTemperatureEdit, "-20")), Press(IDOK)});
    EXPECT_EQ(d_SetupCCD(0), 1);
    EXPECT_EQ(Shown(kCcdTemperatureEdit).text, [&] {
        char text[32];
        hostsupport::RealToText(measured, 1, 31, text);
        return std::string(text);
    }());
    EXPECT_EQ(seenDuringDialog, (std::vector<float>{kNoTemperature, kNoTemperature}));
    ASSERT_EQ(d_GetOK(), 1);
    EXPECT_EQ(driverState.camera->targetTemperature, -20.0f);

    camera->ClearWireLog();
    emu::Advance(10000);
    PumpMessages();
    emu::Advance(10000);
    PumpMessages();
    std::vector<std::vector<uint8_t>> setPoints;
    for (const auto& write : camera->CommandWrites())
        if (write[0] == 16)
            setPoints.push_back(write);
    EXPECT_EQ(setPoints.size(), 2u) << "one set point per tick, from the measured temperature on";
}

} // namespace
