// A loaded driver on a simulated bus, with the person who answers the setup
// dialog: a script of steps, one run each time the dialog waits for input.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"
#include "host/driver/driver_fixture.h"
#include "platform/emul/dialog_control.h"

typedef std::function<void(HWND dialog)> DialogStep;

class SetupTest : public DriverTest {
protected:
    void SetUp() override
    {
        globalBlocks_ = emu::Snapshot().globalBlocks;
        DriverTest::SetUp();
    }

    void TearDown() override
    {
        emu::SetDialogUser({});
        d_Finalize();
        DriverTest::TearDown();
        EXPECT_EQ(emu::Snapshot().globalBlocks, globalBlocks_) << "template memory left";
    }

    std::shared_ptr<sim::SimCamera> AttachCamera(int type, uint32_t id, const std::string& description,
                                                 uint16_t flags = 0)
    {
        sim::CameraDescription d;
        d.type = type;
        d.id = id;
        d.flags = flags;
        d.description = description;
        d.serial = "KS" + std::to_string(++serials_);
        d.vendorId = 0x1278;
        d.productId = static_cast<uint16_t>(0x0500 + type);
        return bus.Attach(d);
    }

    // The steps run one per wait of the dialog; what the dialog showed when
    // it first waited is kept in `shown`. A script that runs out leaves the
    // dialog waiting, which the emulation reports as a misuse.
    void AnswerDialog(std::vector<DialogStep> steps)
    {
        script_ = std::move(steps);
        next_ = 0;
        waits = 0;
        shown.clear();
        emu::SetDialogUser([this](HWND dialog) {
            if (waits++ == 0)
                shown = emu::ViewControls(dialog);
            if (next_ < script_.size())
                script_[next_++](dialog);
        });
    }

    // What a control showed when the dialog first waited.
    const emu::ControlView& Shown(int id) const
    {
        for (const emu::ControlView& view : shown)
            if (view.id == id)
                return view;
        static emu::ControlView none;
        ADD_FAILURE() << "no control " << id;
        return none;
    }

    // The host starts a session: a camera object, connected without a dialog.
    void Connect()
    {
        d_Initialize(nullptr);
        d_SetupCCD(1);
        ASSERT_EQ(d_GetOK(), 1);
    }

    std::vector<emu::ControlView> shown;
    int waits = 0;

private:
    std::vector<DialogStep> script_;
    size_t next_ = 0;
    long globalBlocks_ = 0;
    int serials_ = 0;
};

inline DialogStep Type(int id, const std::string& text)
{
    return [id, text](HWND dialog) { EXPECT_TRUE(emu::TypeInto(dialog, id, text)) << "field " << id; };
}

inline DialogStep Press(int id)
{
    return [id](HWND dialog) { EXPECT_TRUE(emu::Click(dialog, id)); };
}

inline DialogStep Key(int virtualKey)
{
    return [virtualKey](HWND dialog) { EXPECT_TRUE(emu::PressKey(dialog, virtualKey)); };
}

inline DialogStep Choose(int id, int position)
{
    return [id, position](HWND dialog) { EXPECT_TRUE(emu::ChooseEntry(dialog, id, position)); };
}

inline DialogStep Wait(uint64_t milliseconds)
{
    return [milliseconds](HWND) { emu::Advance(milliseconds); };
}

// The name under which another process holds a device.
inline std::string ClaimEventName(const std::string& path)
{
    std::string name = "K6_";
    for (char c : path)
        name.push_back(c == ':' || c == '\\' || c == '?' ? '_' : c);
    return name;
}
