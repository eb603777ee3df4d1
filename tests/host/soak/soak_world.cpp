#include "host/soak/soak_world.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "state/driver_state.h"
#include "driver/exports.h"
#include "driver/module_lifecycle.h"
#include "exposure/aa_camera.h"
#include "platform/emul/dialog_control.h"
#include "protocol/command_codes.h"
#include "setup/setup_dialog.h"
#include "sim/command_handlers.h"
#include "sim/device_path.h"
#include "sim/frame_fault.h"
#include "sim/pixel_source.h"

namespace soak {
namespace {

constexpr uint8_t kGuardByte = 0xA5;
constexpr size_t kGuard = 64;
// The most one session may hold at a time beyond what it started with: the
// camera (device, three pipes, event, worker), a probe of the setup list,
// the claim events, the helper that pulls the cable.
constexpr long kMostHandles = 20;
constexpr long kMostWindows = 4;
constexpr long kMostTimers = 4;
constexpr long kMostRegistrations = 2;
constexpr long kMostThreads = 2;
constexpr long kMostHeapBlocks = 64;

std::string ClaimEventName(const std::string& path)
{
    std::string name = "K6_";
    for (char c : path)
        name.push_back(c == ':' || c == '\\' || c == '?' ? '_' : c);
    return name;
}

sim::CameraDescription Camera(int type, uint32_t id, uint16_t width, uint16_t height, const char* serial)
{
    sim::CameraDescription d;
    d.type = type;
    d.id = id;
    d.flags = 0x0001 | 0x0020; // five filters, preflash
    d.width = width;
    d.height = height;
    d.description = "KX-SOAK";
    d.serial = serial;
    d.vendorId = 0x1278;
    d.productId = static_cast<uint16_t>(0x0500 + type);
    return d;
}

// The copy of a camera's state that a frame is compared against.
sim::CameraState StateOf(sim::SimCamera& camera)
{
    sim::CameraState copy;
    camera.WithState([&](sim::CameraState& state) {
        copy.description = state.description;
        copy.settings = state.settings;
        copy.activity = state.activity;
    });
    return copy;
}

int32_t Clamp(int32_t value, int32_t size)
{
    return value < 0 ? 0 : value >= size ? size - 1 : value;
}

struct Unplugger {
    sim::SimBus* bus;
    std::shared_ptr<sim::SimCamera> camera;
    DWORD delay;
    HANDLE never;
};

// Pulls the cable after `delay` milliseconds of the clock, while the host's
// thread waits in d_ReadImage for a frame that is not coming.
DWORD WINAPI UnplugLater(LPVOID parameter)
{
    auto* job = static_cast<Unplugger*>(parameter);
    // Ticks of 1 ms, so that the cable goes at its own millisecond.
    timeBeginPeriod(1);
    WaitForSingleObject(job->never, job->delay);
    timeEndPeriod(1);
    job->bus->Detach(job->camera);
    return 0;
}

} // namespace

void Figures::Add(const Figures& o)
{
    sequences += o.sequences;
    steps += o.steps;
    faults += o.faults;
    exposures += o.exposures;
    shutterCloses += o.shutterCloses;
    framesGood += o.framesGood;
    framesRefused += o.framesRefused;
    afterReplug += o.afterReplug;
    for (int i = 0; i < 5; ++i)
        unloads[i] += o.unloads[i];
}

World::World(uint64_t seed)
{
    emu::TakeMisuseReports();
    before_ = emu::Snapshot();
    installation_ = std::make_unique<sim::BusInstallation>(bus_);
    const int type = 1 + static_cast<int>(seed % 3);
    // Sensors that few binning factors divide, small enough for fast frames.
    camera_ = bus_.Attach(Camera(type, 41, static_cast<uint16_t>(97 + seed % 61), static_cast<uint16_t>(61 + seed % 37),
                                 "KSOAK1"));
    if (seed % 4 == 1)
        second_ = bus_.Attach(Camera(1 + static_cast<int>((seed / 3) % 3), 42, 64, 48, "KSOAK2"));
    module_ = emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll");
    if (camera_ == nullptr || module_ == nullptr)
        Fail("the world could not be built");
}

World::~World()
{
    if (module_ != nullptr)
        Finish();
}

void World::Fail(const std::string& what)
{
    if (failure_.empty())
        failure_ = what;
}

std::shared_ptr<sim::SimCamera> World::ConnectedCamera() const
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr || !camera->IsConnected() || staleHandles_)
        return nullptr;
    for (const auto& candidate : {camera_, second_})
        if (candidate != nullptr && sim::SamePath(candidate->Path(), camera->devicePath))
            return candidate;
    return nullptr;
}

void World::Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

bool World::Run(const Step& step)
{
    if (!failure_.empty())
        return false;
    ++figures_.steps;
    if (IsFault(step))
        ++figures_.faults;
    const bool wasExposing = driverState.camera != nullptr && driverState.camera->exposing;
    NoteReconnection();
    // An exposure whose camera is away when a step begins may lose its
    // shutter command on the way; only the others must close exactly once.
    if (exposure_.open && (ConnectedCamera() != camera_ || !camera_->Attached()))
        exposure_.disturbed = true;
    Call(step);
    NoteReconnection();
    CheckAfterStep(step);
    FollowExposure(step, wasExposing);
    return failure_.empty();
}

void World::Call(const Step& s)
{
    switch (s.op) {
    case Op::Initialize: d_Initialize(nullptr); break;
    case Op::Finalize: d_Finalize(); break;
    case Op::SetupQuiet: d_SetupCCD(1); break;
    case Op::SetupDialog: Setup(s); break;
    case Op::Subframe: d_Subframe(s.a, s.b, s.c, s.d, s.e); break;
    case Op::MoveFrame: d_MoveFrame(s.a); break;
    case Op::Queries: CheckTexts(); break;
    case Op::FilterWheel: d_FilterWheel(s.a, s.b); break;
    case Op::StartExposure:
        startRefused_ = d_StartExposure(static_cast<DWORD>(s.a), s.b) == 0;
        // The worker starts waiting at once, as a real thread would.
        emu::Settle();
        if (driverState.camera != nullptr)
            ++figures_.exposures;
        break;
    case Op::IsExposing: d_IsExposing(); break;
    case Op::StartDownload: d_StartDownload(); break;
    case Op::InterruptExposure: d_InterruptExposure(); break;
    case Op::ReadImage: ReadImage(); break;
    case Op::Advance:
        emu::Advance(static_cast<uint64_t>(s.a));
        Pump();
        break;
    case Op::Pump: Pump(); break;
    case Op::Unplug: Unplug(); break;
    case Op::Replug: Replug(); break;
    case Op::UnplugDuringReadout: UnplugDuringReadout(s.a); break;
    case Op::ReplyFault: InjectReplyFault(s); break;
    case Op::ImageFault: InjectImageFault(s); break;
    case Op::FrameFault: InjectFrameFault(s); break;
    case Op::PipeTimeout:
        camera_->SetPipeTimeout(static_cast<DWORD>(s.a));
        break;
    case Op::ClaimElsewhere:
        if (claimedElsewhere_ == nullptr) {
            // Another copy of the driver creating the event: it holds the
            // claim only when the event was new, as the driver does.
            HANDLE event = CreateEventA(nullptr, FALSE, FALSE, ClaimEventName(camera_->Path()).c_str());
            if (event != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
                CloseHandle(event);
                event = nullptr;
            }
            claimedElsewhere_ = event;
        }
        break;
    case Op::ReleaseElsewhere:
        if (claimedElsewhere_ != nullptr) {
            CloseHandle(claimedElsewhere_);
            claimedElsewhere_ = nullptr;
        }
        break;
    case Op::RefuseOpen:
        camera_->FailOpen(static_cast<sim::Endpoint>(s.a % sim::kEndpointCount), ERROR_ACCESS_DENIED);
        break;
    case Op::Unload: UnloadAndReload(s.a); break;
    }
}

void World::UnloadAndReload(int32_t milliseconds)
{
    // A camera object keeps the module loaded: its window, timers, device
    // notification and worker go on under the host's own message loop.
    // Without one the module goes and comes back afresh.
    const CAACamera* camera = driverState.camera;
    int state = camera == nullptr                               ? 0
                : !camera->IsConnected()                        ? 4
                : camera->exposing                              ? 3
                : camera->targetTemperature != kNoTemperature   ? 2
                                                                : 1;
    ++figures_.unloads[state];
    emu::FreeModule(module_);
    emu::Advance(static_cast<uint64_t>(milliseconds));
    Pump();
    module_ = emu::LoadModule(DllMain, "/opt/host/drivers/d_r6odi.dll");
    if (module_ == nullptr)
        Fail("the module could not be loaded again");
}

void World::Setup(const Step& s)
{
    // The person picks a camera of the list (or leaves the choice), a read
    // mode and a set point, then presses OK; should the dialog wait once
    // more, Cancel.
    // Each wait of the dialog must see the person do something: an action
    // the dialog refuses (an entry the list does not have) gives way to
    // the next one.
    std::vector<std::function<bool(HWND)>> actions;
    if (s.a >= 0)
        actions.push_back([&](HWND d) { return emu::ChooseEntry(d, k6dlg::kCameraList, s.a); });
    actions.push_back([&](HWND d) { return emu::ChooseEntry(d, k6dlg::kReadModeList, s.b); });
    actions.push_back([&](HWND d) { return emu::TypeInto(d, k6dlg::kSetTemperatureEdit, std::to_string(s.c)); });
    actions.push_back([](HWND d) { return emu::Click(d, IDOK); });
    size_t next = 0;
    emu::SetDialogUser([&](HWND dialog) {
        while (next < actions.size())
            if (actions[next++](dialog))
                return;
        emu::Click(dialog, IDCANCEL);
    });
    d_SetupCCD(0);
    emu::SetDialogUser({});
}

// Until the host has pumped the removal, the driver holds handles of the
// camera's earlier attachment, which serve nothing even once it is back.
void World::MarkHandlesStale()
{
    if (ConnectedCamera() == camera_)
        staleHandles_ = true;
}

void World::NoteReconnection()
{
    if (driverState.camera == nullptr || !driverState.camera->IsConnected())
        staleHandles_ = false;
}

void World::Unplug()
{
    if (!camera_->Attached())
        return;
    MarkHandlesStale();
    bus_.Detach(camera_);
}

void World::Replug()
{
    if (camera_->Attached())
        return;
    for (int e = 0; e < sim::kEndpointCount; ++e)
        camera_->FailOpen(static_cast<sim::Endpoint>(e), 0);
    bus_.Attach(camera_);
    replugged_ = true;
}

void World::InjectReplyFault(const Step& s)
{
    sim::ReplyFault fault = sim::ReplyFault::Lost();
    switch (s.a) {
    case 0: fault = sim::ReplyFault::Status(static_cast<uint8_t>(0x81 + s.c % 3)); break;
    case 1: fault = sim::ReplyFault::CutTo(static_cast<size_t>(s.c - 1)); break;
    case 2: fault = sim::ReplyFault::Empty(); break;
    case 3: fault = sim::ReplyFault::Lost(); break;
    case 5: fault = sim::ReplyFault::Late(static_cast<uint64_t>(s.d)); break;
    default: fault = sim::ReplyFault::Status(0x00); break;
    }
    if (s.b >= 0)
        fault.ForCommand(static_cast<uint8_t>(s.b));
    camera_->InjectReplyFault(fault.Times(s.c));
}

void World::InjectImageFault(const Step& s)
{
    sim::ImageFault fault = s.a == 0   ? sim::ImageFault::AtMost(static_cast<DWORD>(s.b) * 64)
                            : s.a == 1 ? sim::ImageFault::Fraction(s.b / 1000.0)
                                       : sim::ImageFault::AtMost(0);
    camera_->InjectImageFault(fault.Times(s.c));
}

// A frame that never comes, comes late, or stops part-way with its rest
// coming later or never.
void World::InjectFrameFault(const Step& s)
{
    const uint64_t delay = static_cast<uint64_t>(s.c);
    sim::FrameFault fault = sim::FrameFault::Lost();
    switch (s.a) {
    case 0: break;
    case 1: fault = sim::FrameFault::Late(delay); break;
    case 2: fault = sim::FrameFault::StopsAt(s.b / 1000.0).RestAfter(delay); break;
    default: fault = sim::FrameFault::StopsAt(s.b / 1000.0); break;
    }
    camera_->InjectFrameFault(fault);
}

void World::UnplugDuringReadout(int32_t milliseconds)
{
    if (!camera_->Attached())
        return;
    MarkHandlesStale();
    // The camera takes the frame request and sends nothing more.
    camera_->DefineCommand(r6odi::kReadFrame, [](sim::CameraState& state, const sim::Bytes&) {
        state.imageData.Clear();
        return sim::Bytes();
    });
    Unplugger job{&bus_, camera_, static_cast<DWORD>(milliseconds), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    const uint64_t due = emu::Now() + static_cast<uint64_t>(milliseconds);
    HANDLE helper = CreateThread(nullptr, 0, UnplugLater, &job, 0, nullptr);
    emu::Settle();
    ReadImage();
    // A readout that failed at once (no camera, say) leaves the cable to
    // be pulled when its time comes.
    if (emu::Now() < due)
        emu::Advance(due - emu::Now());
    if (helper != nullptr) {
        WaitForSingleObject(helper, INFINITE);
        CloseHandle(helper);
    }
    CloseHandle(job.never);
    camera_->DefineCommand(r6odi::kReadFrame, sim::AnswerFrameRequest);
}

void World::ReadImage()
{
    CAACamera* camera = driverState.camera;
    int32_t width = d_GetWidth(0);
    int32_t height = d_GetHeight(0);
    // The host sizes its buffer from what the driver reports; a size it
    // cannot have it does not allocate, and then offers none.
    const uint64_t asked = width > 0 && height > 0 ? uint64_t(width) * uint64_t(height) * 2 : 0;
    const size_t size = asked <= (8u << 20) ? static_cast<size_t>(asked) : 0;
    std::vector<uint8_t> bytes(size + 2 * kGuard, kGuardByte);
    const int framesBefore = camera_->Activity().frames;
    const int stored = d_ReadImage(reinterpret_cast<uint16_t*>(bytes.data() + kGuard));
    if (stored == 0) {
        ++figures_.framesRefused;
        if (std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != kGuardByte; }))
            Fail("a failed readout wrote into the host's buffer or around it");
        return;
    }
    if (camera == nullptr || size == 0) {
        Fail("a readout without a camera or a buffer reported success");
        return;
    }
    std::shared_ptr<sim::SimCamera> source = ConnectedCamera();
    if (source == camera_ && camera_->Activity().frames != framesBefore + 1) {
        Fail("a frame reported good that the camera was not asked for");
        return;
    }
    if (source != nullptr)
        CheckFrame(bytes, kGuard, width, height);
}

// The frame the driver stored is the camera's frame at the place it asked
// for, the host's frame moved onto the sensor; nothing else is written.
void World::CheckFrame(const std::vector<uint8_t>& bytes, size_t offset, int32_t width, int32_t height)
{
    std::shared_ptr<sim::SimCamera> source = ConnectedCamera();
    const sim::CameraState state = StateOf(*source);
    const sim::FrameRequest& frame = state.activity.lastFrame;
    const int pad = sim::PadColumns(state);
    const int w = frame.columnCount - pad;
    const int h = frame.rowCount;
    const int x = frame.firstColumn;
    const int top = sim::BinnedHeight(state) - frame.firstRow - h;
    if (w < 1 || h < 1 || int64_t(w) * h > int64_t(width) * height) {
        Fail("a good frame larger than the host's frame");
        return;
    }
    CAACamera* camera = driverState.camera;
    const bool agree = camera->info.width == state.description.width &&
                       camera->info.height == state.description.height && camera->hwBinX == state.settings.binX && camera->hwBinY == state.settings.binY &&
                       (camera->doubleSample == 1) == state.settings.doubleSample;
    if (agree) {
        const int32_t bw = sim::BinnedWidth(state);
        const int32_t bh = sim::BinnedHeight(state);
        if (x != Clamp(camera->frameX, bw) || top != Clamp(camera->frameY, bh))
            Fail("a good frame from another place than the host's frame");
    }
    std::vector<uint16_t> expected = sim::ExpectedFrame(state, x, top, w, h);
    if (state.description.type == 3 && state.settings.doubleSample) {
        // The shifted transfer never carries the last sample's low byte.
        const sim::SamplePair last = sim::PixelSamples(state, top, x + w - 1);
        expected[w - 1] = static_cast<uint16_t>((last.first + (last.second & 0xFF00u)) / 2);
    }
    if (std::memcmp(bytes.data() + offset, expected.data(), expected.size() * 2) != 0) {
        Fail(replugged_ ? "the first good frame after a replug differs from the camera's frame"
                        : "a good frame differs from the camera's frame");
        return;
    }
    const size_t end = offset + expected.size() * 2;
    if (std::any_of(bytes.begin(), bytes.begin() + offset, [](uint8_t b) { return b != kGuardByte; }) ||
        std::any_of(bytes.begin() + end, bytes.end(), [](uint8_t b) { return b != kGuardByte; }))
        Fail("a readout wrote past its frame or outside the host's buffer");
    ++figures_.framesGood;
    if (replugged_ && source == camera_)
        ++figures_.afterReplug;
    replugged_ = false;
}

void World::CheckTexts()
{
    const char* name = reinterpret_cast<const char*>(d_GetName());
    const char* info = reinterpret_cast<const char*>(d_GetInfo());
    if ((name != nullptr && strnlen(name, 40) > 31) || (info != nullptr && strnlen(info, 80) > 63))
        Fail("a text beyond its capacity");
    const char* binning = reinterpret_cast<const char*>(d_BinningName(static_cast<int>(emu::Now() % 20) - 2));
    if (binning == nullptr || strnlen(binning, 8) != 5)
        Fail("a binning name that is not one");
    d_GetTemperature();
    d_GetWidth(0);
    d_GetHeight(0);
    if (d_IsColor() != 0 || d_BinningCount() != 16 || d_EndDownload(0) != 1)
        Fail("a fixed answer changed");
    const int ok = d_GetOK();
    if (ok != (driverState.camera != nullptr && driverState.camera->IsConnected() ? 1 : 0))
        Fail("d_GetOK disagrees with the camera's connection");
}

void World::CheckResources()
{
    for (const std::string& report : emu::TakeMisuseReports())
        Fail("misuse of the Win32 API: " + report);
    const emu::Counts now = emu::Snapshot();
    if (now.handles > before_.handles + kMostHandles)
        Fail("handles pile up");
    if (now.windows > before_.windows + kMostWindows)
        Fail("windows pile up");
    if (now.timers > before_.timers + kMostTimers)
        Fail("timers pile up");
    if (now.registrations > before_.registrations + kMostRegistrations)
        Fail("device registrations pile up");
    if (now.threadsRunning > before_.threadsRunning + kMostThreads)
        Fail("more than one exposure worker");
    if (now.timerPeriods > before_.timerPeriods + kMostThreads)
        Fail("timer periods raised and not ended");
    if (now.heapBlocks > before_.heapBlocks + kMostHeapBlocks)
        Fail("heap blocks pile up");
    if (now.deviceInfoSets != before_.deviceInfoSets)
        Fail("a SetupAPI set left open");
    if (now.pendingIo != before_.pendingIo)
        Fail("a read left in flight after a call");
}

void World::CheckAfterStep(const Step& step)
{
    CheckResources();
    CAACamera* camera = driverState.camera;
    // A camera that holds a device holds one of each pipe, no more.
    for (const auto& peer : {camera_, second_}) {
        if (peer == nullptr)
            continue;
        for (int e = 0; e < sim::kEndpointCount; ++e)
            if (peer->OpenFiles(static_cast<sim::Endpoint>(e)) > 1)
                Fail("a pipe opened twice");
    }
    if (camera != nullptr && camera->IsConnected() && !staleHandles_ && ConnectedCamera() == nullptr)
        Fail("connected to a device that is not on the bus");
    (void)step;
}

void World::EndExposureRecord(bool byNextStart)
{
    if (exposure_.closes > 1)
        Fail("the shutter of one exposure closed more than once");
    else if (!exposure_.shutter && exposure_.closes != 0)
        Fail("a dark exposure closed the shutter");
    else if (exposure_.shutter && !exposure_.disturbed) {
        if (exposure_.closes != 1)
            Fail("the shutter of an exposure was never closed");
        else if (!byNextStart && camera_->Settings().shutterOpen)
            Fail("the shutter stayed open after its exposure");
        else
            ++figures_.shutterCloses;
    }
    exposure_ = Exposure();
}

void World::FollowExposure(const Step& step, bool wasExposing)
{
    CAACamera* camera = driverState.camera;
    const std::vector<std::vector<uint8_t>> writes = camera_->CommandWrites();
    const bool starting = step.op == Op::StartExposure && camera != nullptr;
    bool newStarted = false;
    for (size_t i = writesSeen_; i < writes.size(); ++i) {
        const uint8_t code = writes[i].empty() ? 0xFF : writes[i][0];
        if (starting && code == r6odi::kStartExposure)
            newStarted = true;
        if (code != r6odi::kCloseShutter)
            continue;
        if (!exposure_.open || (starting && newStarted))
            Fail("the shutter closed with no exposure to end");
        else
            ++exposure_.closes;
    }
    writesSeen_ = writes.size();
    if (starting) {
        // The exposure before, if any, ended inside this call.
        if (exposure_.open || wasExposing)
            EndExposureRecord(true);
        // A start the camera refused leaves nothing exposing, and no shutter
        // to close.
        if (startRefused_) {
            if (camera->exposing || camera->IsExposing())
                Fail("a refused exposure was left running");
            return;
        }
        exposure_.open = true;
        exposure_.shutter = step.b != 0;
        exposure_.deadline = emu::Now() + static_cast<uint32_t>(step.a);
        exposure_.window = camera->peerWindow;
        exposure_.disturbed = ConnectedCamera() != camera_ || !camera_->Attached();
    }
    if (!exposure_.open)
        return;
    if (camera == nullptr || !camera->exposing) {
        EndExposureRecord(false);
        return;
    }
    if (ConnectedCamera() != camera_ || !camera_->Attached())
        exposure_.disturbed = true;
    if (emu::Now() < exposure_.deadline)
        return;
    // The time is up: the worker has ended, and once the host has pumped
    // its messages through an unchanged peer window the exposure is over.
    if (camera->IsExposing())
        Fail("an exposure whose time is up is still reported as running");
    if ((step.op == Op::Advance || step.op == Op::Pump) && exposure_.window != nullptr &&
        camera->peerWindow == exposure_.window)
        Fail("an exposure that never ends: its time is up and its message was pumped");
}

bool World::Finish()
{
    if (module_ == nullptr)
        return failure_.empty();
    if (exposure_.open && (ConnectedCamera() != camera_ || !camera_->Attached()))
        exposure_.disturbed = true;
    d_Finalize();
    if (exposure_.open) {
        // d_Finalize ends a running exposure: its shutter must be closed.
        FollowExposure(Step{Op::Finalize}, true);
    }
    Pump();
    emu::FreeModule(module_);
    module_ = nullptr;
    if (claimedElsewhere_ != nullptr)
        CloseHandle(claimedElsewhere_);
    claimedElsewhere_ = nullptr;
    camera_.reset();
    second_.reset();
    installation_.reset();
    const emu::Counts after = emu::Snapshot();
    for (const std::string& report : emu::TakeMisuseReports())
        Fail("misuse of the Win32 API: " + report);
    if (after.handles != before_.handles)
        Fail("handles left open at the end");
    if (after.windows != before_.windows || after.classes != before_.classes)
        Fail("windows or classes left at the end");
    if (after.timers != before_.timers || after.registrations != before_.registrations)
        Fail("timers or registrations left at the end");
    if (after.heapBlocks != before_.heapBlocks || after.globalBlocks != before_.globalBlocks)
        Fail("memory left at the end");
    if (after.threadsRunning != before_.threadsRunning || after.criticalSections != before_.criticalSections)
        Fail("threads or critical sections left at the end");
    if (after.timerPeriods != before_.timerPeriods)
        Fail("a timer period left raised at the end");
    if (after.deviceInfoSets != before_.deviceInfoSets)
        Fail("SetupAPI sets left at the end");
    if (after.pendingIo != before_.pendingIo)
        Fail("reads left in flight at the end");
    ++figures_.sequences;
    return failure_.empty();
}

} // namespace soak
