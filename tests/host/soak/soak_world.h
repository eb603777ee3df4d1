// The world one soak sequence runs in: a loaded driver module, the host
// that calls its exports, and a simulated bus with the camera the host
// works with (and sometimes a second one), on the virtual clock.
//
// After every step the world checks what must always hold: no misuse of
// the Win32 API, no more handles, windows, timers, registrations, threads
// or heap blocks than one session can hold, no write outside the host's
// buffer, a frame reported good equal to the camera's frame, every
// exposure ending and its shutter closed exactly once. Finish takes the
// driver down and checks that everything was given back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/soak/soak_step.h"
#include "platform/emul/control.h"
#include "platform/win32.h"
#include "sim/bus_installation.h"
#include "sim/sim_bus.h"

namespace soak {

// What the runs of a soak did, added up.
struct Figures {
    long sequences = 0;
    long steps = 0;
    long faults = 0;          // fault and event steps of the world
    long exposures = 0;       // exposures started
    long shutterCloses = 0;   // exposures whose single close was checked
    long framesGood = 0;      // frames reported good and compared pixel by pixel
    long framesRefused = 0;   // readouts that failed and left the buffer alone
    long afterReplug = 0;     // good frames that were the first after a replug
    // Unloads without d_Finalize, by the state the driver was in: no camera
    // object, idle, cooling (a wanted temperature set), exposing, unplugged.
    long unloads[5] = {0, 0, 0, 0, 0};

    void Add(const Figures& other);
};

class World {
public:
    explicit World(uint64_t seed);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Runs one step and the checks after it; false once an invariant broke.
    bool Run(const Step& step);
    // d_Finalize, the host's last messages and the unload; then everything
    // the driver took must be back. False when it is not.
    bool Finish();

    const std::string& Failure() const { return failure_; }
    const Figures& Counted() const { return figures_; }

private:
    struct Exposure {
        bool open = false;
        bool shutter = false;
        bool disturbed = false; // the camera was not connected at some check
        uint64_t deadline = 0;
        HWND window = nullptr;
        bool pumpedAfterDeadline = false;
        int closes = 0;
    };

    void Call(const Step& step);
    void Setup(const Step& step);
    void ReadImage();
    void UnplugDuringReadout(int32_t milliseconds);
    void InjectReplyFault(const Step& step);
    void InjectImageFault(const Step& step);
    void UnloadAndReload(int32_t milliseconds);
    void InjectFrameFault(const Step& step);
    void Unplug();
    void Replug();
    void Pump();
    void MarkHandlesStale();
    void NoteReconnection();

    void CheckAfterStep(const Step& step);
    void CheckResources();
    void CheckTexts();
    void FollowExposure(const Step& step, bool wasExposing);
    // The current exposure has ended; its shutter closes are checked.
    void EndExposureRecord(bool byNextStart);
    void CheckFrame(const std::vector<uint8_t>& bytes, size_t offset, int32_t width, int32_t height);
    std::shared_ptr<sim::SimCamera> ConnectedCamera() const;
    void Fail(const std::string& what);

    emu::Counts before_;
    sim::SimBus bus_;
    std::unique_ptr<sim::BusInstallation> installation_;
    std::shared_ptr<sim::SimCamera> camera_; // the host's camera
    std::shared_ptr<sim::SimCamera> second_; // another one, or null
    HINSTANCE module_ = nullptr;
    HANDLE claimedElsewhere_ = nullptr;
    size_t writesSeen_ = 0;
    bool startRefused_ = false; // the last d_StartExposure returned 0
    bool replugged_ = false; // no good frame since the last replug
    bool staleHandles_ = false; // unplugged, the removal not yet pumped
    Exposure exposure_;
    Figures figures_;
    std::string failure_;
};

} // namespace soak
