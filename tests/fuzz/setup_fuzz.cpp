// Fuzzes the setup dialog's edit texts: d_SetupCCD shows the dialog, and
// the person at it types any text (numbers of every form, signs, exponents,
// blanks, noise, texts far longer than a field) into the preflash time, the
// clear count, the temperature step and the set point, picks entries of the
// two lists, toggles window heating, and presses OK or Cancel.
//
// After each setup the working copy in DriverState holds only values the
// dialog allows, whatever was typed: a preflash time of at most 65.535 s,
// a clear count of 1 to 20, a step of at least 0.1 °C per minute, a set
// point of at least -273 °C or none at all, all finite; Cancel changes none of them; the
// camera is open and got exactly those values; and after d_Finalize every
// window, timer, registration, handle and block is given back.
#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "state/driver_state.h"
#include "driver/exports.h"
#include "driver/module_lifecycle.h"
#include "exposure/aa_camera.h"
#include "fuzz/fuzz_input.h"
#include "platform/emul/control.h"
#include "platform/emul/dialog_control.h"
#include "setup/setup_dialog.h"
#include "sim/sim_bus.h"

namespace {

void Check(bool holds, const char* what)
{
    if (!holds)
        fuzz::Violated("setup_fuzz", what);
}

struct Rig {
    sim::SimBus bus;
    std::shared_ptr<sim::SimCamera> plain;
    std::shared_ptr<sim::SimCamera> preflash;

    Rig()
    {
        emu::SetDeviceBus(&bus);
        plain = Attach(2, 21, 0);
        preflash = Attach(1, 22, 1u << 5);
    }

    std::shared_ptr<sim::SimCamera> Attach(int type, uint32_t id, uint16_t flags)
    {
        sim::CameraDescription d;
        d.type = type;
        d.id = id;
        d.flags = flags;
        d.description = "KX-SETUP";
        d.serial = "SETUPFUZZ" + std::to_string(id);
        d.vendorId = 0x1278;
        d.productId = static_cast<uint16_t>(0x0500 + type);
        std::shared_ptr<sim::SimCamera> camera = bus.Attach(d);
        Check(camera != nullptr, "a camera attaches");
        return camera;
    }
};

// Texts a person might type, and pieces to make more of them from.
const char* const kPieces[] = {"0",   "1",    "-",   "+",  ".",     "e",  "E",   "5",  "65.535", "65.536",
                               "20",  "21",   "-273", "-274", "1e308", "1e-308", "0x10", " ", "\t", ",",
                               "999999999999", "-2147483648", "4294967296", "nan", "inf", "0.0999", "1e"};

std::string MakeText(fuzz::Input& in)
{
    std::string text;
    const size_t parts = in.Pick(6);
    for (size_t i = 0; i < parts; ++i) {
        if (in.Chance(200)) {
            text += kPieces[in.Pick(sizeof kPieces / sizeof kPieces[0])];
        } else {
            std::vector<uint8_t> noise = in.Bytes(in.Pick(48));
            for (uint8_t byte : noise)
                text.push_back(byte == 0 ? ' ' : static_cast<char>(byte));
        }
    }
    return text;
}

struct Working {
    float preflashTime, maxTempStep, setTemperature;
    int32_t clearCount, readMode, selectedCameraId;
    bool windowHeating;
};

Working TakeWorking()
{
    return Working{driverState.preflashTime,    driverState.maxTempStep, driverState.setTemperature,
                   driverState.clearCount,      driverState.readMode,    driverState.selectedCameraId,
                   driverState.windowHeating};
}

// One person at the dialog: the steps the input asks for, one per wait,
// then OK or Cancel; should the dialog wait again, Cancel.
class Person {
public:
    explicit Person(fuzz::Input& in)
    {
        const int fields[] = {k6dlg::kPreflashTimeEdit, k6dlg::kClearCountEdit, k6dlg::kMaxStepEdit,
                              k6dlg::kSetTemperatureEdit, k6dlg::kCcdTemperatureEdit};
        const size_t count = 1 + in.Pick(6);
        for (size_t i = 0; i < count; ++i) {
            switch (in.Pick(5)) {
            case 0:
                steps_.push_back([](HWND d) { return emu::Click(d, k6dlg::kWindowHeatingCheck); });
                break;
            case 1: {
                const int list = in.Chance(128) ? k6dlg::kCameraList : k6dlg::kReadModeList;
                const int position = static_cast<int>(in.Pick(4)) - 1;
                steps_.push_back([list, position](HWND d) { return emu::ChooseEntry(d, list, position); });
                break;
            }
            default: {
                const int field = fields[in.Pick(5)];
                const std::string text = MakeText(in);
                steps_.push_back([field, text](HWND d) { return emu::TypeInto(d, field, text); });
            }
            }
        }
        ok = in.Chance(200);
        const int button = ok ? IDOK : IDCANCEL;
        steps_.push_back([button](HWND d) { return emu::Click(d, button); });
    }

    // Every wait sees something done: a step the dialog refuses (an entry
    // the list lacks, a field that is read-only) gives way to the next.
    void Act(HWND dialog)
    {
        while (next_ < steps_.size())
            if (steps_[next_++](dialog))
                return;
        emu::Click(dialog, IDCANCEL);
    }

    bool ok = false;

private:
    std::vector<std::function<bool(HWND)>> steps_;
    size_t next_ = 0;
};

void CheckWorkingCopy(const Working& before, const Working& after, bool ok)
{
    if (!ok) {
        Check(std::memcmp(&before.preflashTime, &after.preflashTime, sizeof(float)) == 0 &&
                  before.clearCount == after.clearCount && before.maxTempStep == after.maxTempStep &&
                  before.setTemperature == after.setTemperature,
              "Cancel changes no value");
        return;
    }
    Check(std::isfinite(after.preflashTime) && after.preflashTime <= 65.535f, "a preflash time within 65.535 s");
    Check(after.clearCount >= 1 && after.clearCount <= 20, "a clear count of 1 to 20");
    Check(std::isfinite(after.maxTempStep) && after.maxTempStep >= 0.1f / 6.0f - 1e-7f, "a step of 0.1 per minute or more");
    // An empty field leaves the set point unset (-274, no regulation).
    Check(after.setTemperature == -274.0f || (std::isfinite(after.setTemperature) && after.setTemperature >= -273.0f),
          "a set point of -273 or more, or none");
    Check(after.readMode == 0 || after.readMode == 1, "a read mode that exists");
}

// The camera got what the working copy holds.
void CheckApplied(Rig& rig)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr || !camera->IsConnected())
        return;
    Check(camera->targetTemperature == driverState.setTemperature, "the set point is applied");
    Check(camera->clearCount == driverState.clearCount && camera->readMode == driverState.readMode,
          "the settings are applied");
    std::shared_ptr<sim::SimCamera> peer = camera->info.id == 22 ? rig.preflash : rig.plain;
    const sim::CameraSettings settings = peer->Settings();
    Check(settings.doubleSample == (driverState.readMode == 0), "the camera reads in the mode chosen");
    if (peer == rig.preflash) {
        const double ms = std::max(0.0, std::min(65535.0, driverState.preflashTime * 1000.0));
        Check(std::fabs(settings.preflashMs - ms) <= 0.5001, "the preflash sent is the time chosen");
        Check(settings.preflashClears == std::min(driverState.clearCount, 16), "with the clears chosen");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    emu::SetDeviceBus(&rig.bus);
    fuzz::Input in(data, size);
    const emu::Counts before = emu::Snapshot();
    // A module of its own for every input, so that each starts from the
    // defaults of a fresh load and its unload is checked too.
    HINSTANCE module = emu::LoadModule(DllMain, "/opt/fuzz/d_r6odi.dll");
    Check(module != nullptr, "the module loads");

    d_Initialize(nullptr);
    if (in.Chance(128))
        d_SetupCCD(1);
    Person person(in);
    emu::SetDialogUser([&person](HWND dialog) { person.Act(dialog); });
    const Working working = TakeWorking();
    d_SetupCCD(0);
    emu::SetDialogUser({});
    CheckWorkingCopy(working, TakeWorking(), person.ok);
    CheckApplied(rig);
    Check(d_GetOK() == 1, "a camera is open after the setup");

    d_Finalize();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    emu::FreeModule(module);
    const emu::Counts after = emu::Snapshot();
    Check(after.windows == before.windows && after.timers == before.timers && after.classes == before.classes,
          "no window, timer or class is left");
    Check(after.registrations == before.registrations && after.handles == before.handles,
          "no registration or handle is left");
    Check(after.heapBlocks == before.heapBlocks && after.globalBlocks == before.globalBlocks,
          "no memory is left");
    Check(emu::TakeMisuseReports().empty(), "the emulation saw no misuse");
    rig.plain->ClearWireLog();
    rig.preflash->ClearWireLog();
    return 0;
}
