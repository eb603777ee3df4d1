// Fuzzes the image pipe stream as a camera really lays it out, under every
// geometry: random sensors of all three camera types, binning and read mode
// set through the camera's own commands, crops, frames anywhere (inside,
// across and outside the sensor), read limits, and a stream that comes in
// short pieces, stops, disappears with the device, is replaced by arbitrary
// bytes of arbitrary length, never comes, comes late, or stops half-way
// with its rest arriving later (before the next readout, which must then
// store its own frame, not the rest of the last one).
//
// readout_fuzz checks the unpacking against a byte pattern of its own; this
// target checks the other half: that the frame the driver asks for and the
// frame it stores are the same frame of the simulated camera's sensor,
// pixel for pixel, wherever the clamps put it, and that nothing outside the
// host's buffer (guard bytes on both sides) or past the stored frame is
// written, whatever the stream does.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/camera.h"
#include "device/enumeration.h"
#include "device/pipe_reads.h"
#include "fuzz/fuzz_input.h"
#include "hostsupport/memory.h"
#include "platform/emul/control.h"
#include "protocol/command_codes.h"
#include "sim/command_handlers.h"
#include "sim/frame_fault.h"
#include "sim/frame_transfer.h"
#include "sim/pixel_source.h"
#include "sim/sim_bus.h"

namespace {

using r6odi::CCamera;

void Check(bool holds, const char* what)
{
    if (!holds)
        fuzz::Violated("image_stream_fuzz", what);
}

constexpr size_t kGuard = 16;
constexpr uint8_t kGuardByte = 0xA5;
// Frames stay below this many bytes so that the fuzzer runs fast; sensors
// may still be large.
constexpr uint32_t kLargestBuffer = 1 << 16;

// The host's buffer with guard bytes before and after it.
class GuardedBuffer {
public:
    explicit GuardedBuffer(uint32_t size) : size_(size), bytes_(new uint8_t[size + 2 * kGuard])
    {
        std::memset(bytes_.get(), kGuardByte, size + 2 * kGuard);
    }
    uint16_t* Pixels() { return reinterpret_cast<uint16_t*>(bytes_.get() + kGuard); }
    uint16_t Pixel(size_t i) const
    {
        uint16_t value;
        std::memcpy(&value, bytes_.get() + kGuard + 2 * i, 2);
        return value;
    }
    // No byte changed from `from` (a byte offset into the buffer) to the end
    // of the guard after it, nor in the guard before it.
    bool UntouchedFrom(size_t from) const
    {
        return Clean(0, kGuard) && Clean(kGuard + from, size_ + 2 * kGuard);
    }

private:
    bool Clean(size_t from, size_t to) const
    {
        static const std::vector<uint8_t> guard(kLargestBuffer + 2 * kGuard, kGuardByte);
        return from >= to || std::memcmp(bytes_.get() + from, guard.data(), to - from) == 0;
    }

    uint32_t size_;
    std::unique_ptr<uint8_t[]> bytes_;
};

struct Station {
    std::shared_ptr<sim::SimCamera> camera;
    CCamera* driver = nullptr;
};

struct Rig {
    sim::SimBus bus;
    Station stations[3];

    Rig()
    {
        emu::SetDeviceBus(&bus);
        for (int type = 1; type <= 3; ++type) {
            sim::CameraDescription d;
            d.type = type;
            d.id = static_cast<uint32_t>(type);
            d.serial = "STREAM" + std::to_string(type);
            d.vendorId = 0x1278;
            d.productId = static_cast<uint16_t>(0x0500 + type);
            stations[type - 1].camera = bus.Attach(d);
            Check(stations[type - 1].camera != nullptr, "the camera attaches");
            stations[type - 1].driver = hostsupport::New<CCamera>();
            stations[type - 1].driver->cameraType = type;
        }
    }
};

void OpenPipes(Station& s)
{
    const std::string path = s.camera->Path();
    s.driver->commandPipe = r6odi::OpenDeviceFile((path + "\\0").c_str());
    s.driver->replyPipe = r6odi::OpenReadPipe((path + "\\1").c_str());
    s.driver->imagePipe = r6odi::OpenReadPipe((path + "\\2").c_str());
    Check(s.driver->imagePipe != INVALID_HANDLE_VALUE, "the pipes open");
    s.driver->status |= CCamera::kConnected;
}

void ClosePipes(Station& s)
{
    for (HANDLE* pipe : {&s.driver->commandPipe, &s.driver->replyPipe, &s.driver->imagePipe}) {
        CloseHandle(*pipe);
        *pipe = INVALID_HANDLE_VALUE;
    }
    s.driver->status &= ~CCamera::kConnected;
}

int32_t Coordinate(fuzz::Input& in)
{
    const uint8_t kind = in.Byte();
    if (kind < 220)
        return static_cast<int32_t>(in.Byte()) - 8;
    if (kind < 250)
        return static_cast<int32_t>(in.Word()) - 16;
    return static_cast<int32_t>(in.Long());
}

// A fresh sensor, powered up as the driver assumes a camera it has just
// opened to be: binning 1 and double-sample reads.
void PowerUp(Station& s, fuzz::Input& in)
{
    const bool large = in.Chance(24);
    const uint16_t width = large ? in.Word() : 1 + in.Byte() % 96;
    const uint16_t height = large ? in.Word() : 1 + in.Byte() % 96;
    s.camera->WithState([&](sim::CameraState& state) {
        state.description.width = width;
        state.description.height = height;
        state.settings = sim::CameraSettings();
        state.imageData.Clear();
    });
    s.driver->info.width = width;
    s.driver->info.height = height;
    s.driver->hwBinX = s.driver->hwBinY = 1;
    s.driver->doubleSample = 1;
    s.driver->cropX = s.driver->cropY = s.driver->cropWidth = s.driver->cropHeight = -1;
}

// Read mode and binning go through the camera's commands, so that the
// camera and the driver agree the way they do in use, refusals included.
void Configure(Station& s, fuzz::Input& in)
{
    s.driver->SetReadMode(in.Byte() & 1);
    const int32_t factors[] = {1, 1, 2, 3, 4, 5, 0};
    s.driver->SetBinningX(factors[in.Pick(7)]);
    s.driver->SetBinningY(factors[in.Pick(7)]);
    if (in.Chance(96)) {
        s.driver->cropX = Coordinate(in);
        s.driver->cropY = Coordinate(in);
        s.driver->cropWidth = Coordinate(in);
        s.driver->cropHeight = Coordinate(in);
    }
    const uint8_t limit = in.Byte();
    s.driver->singleReadLimit = limit < 200 ? 64u * (1 + limit) : r6odi::kDefaultSingleReadLimit;
}

// Short pieces: each fault shapes one or more reads of the image pipe. And
// now and then a frame that is lost, late, or stops part-way with its rest
// coming later or never; returns the longest delay of a late part.
int InjectFaults(Station& s, fuzz::Input& in, uint64_t* lateBy)
{
    const int count = static_cast<int>(in.Pick(4));
    for (int i = 0; i < count; ++i) {
        sim::ImageFault fault = in.Chance(128) ? sim::ImageFault::AtMost(in.Word() % 4096)
                                               : sim::ImageFault::Fraction(in.Byte() / 256.0);
        s.camera->InjectImageFault(fault.Times(1 + static_cast<int>(in.Pick(3))));
    }
    *lateBy = 0;
    if (!in.Chance(32))
        return count;
    const uint64_t delay = 1000 + 100 * uint64_t(in.Byte());
    switch (in.Pick(4)) {
    case 0: s.camera->InjectFrameFault(sim::FrameFault::Lost()); break;
    case 1: s.camera->InjectFrameFault(sim::FrameFault::Late(delay)); break;
    case 2: s.camera->InjectFrameFault(sim::FrameFault::StopsAt(in.Byte() / 256.0)); break;
    default: s.camera->InjectFrameFault(sim::FrameFault::StopsAt(in.Byte() / 256.0).RestAfter(delay)); break;
    }
    *lateBy = delay;
    return count + 1;
}

// The reads of one frame, as the readout asks for them: pieces of the
// limit, then the rest. Reads before them emptied the pipe of an earlier
// frame's leftovers.
bool EndsWithPieces(const std::vector<DWORD>& reads, uint64_t total, DWORD limit)
{
    std::vector<DWORD> pieces;
    for (; total > limit; total -= limit)
        pieces.push_back(limit);
    pieces.push_back(static_cast<DWORD>(total));
    return reads.size() >= pieces.size() && std::equal(pieces.begin(), pieces.end(), reads.end() - pieces.size());
}

// The stored frame is the camera's frame at the place the request named.
void CheckStoredFrame(Station& s, const r6odi::ReadoutRequest& request, const GuardedBuffer& buffer,
                      const std::vector<DWORD>& reads)
{
    const uint32_t bufferSize = request.bufferSize;
    sim::CameraState state;
    s.camera->WithState([&](sim::CameraState& now) {
        state.description = now.description;
        state.settings = now.settings;
        state.activity = now.activity;
    });
    const sim::FrameRequest& frame = state.activity.lastFrame;
    const int pad = sim::PadColumns(state);
    const int width = frame.columnCount - pad;
    const int height = frame.rowCount;
    const int x = frame.firstColumn;
    const int top = sim::BinnedHeight(state) - frame.firstRow - height;
    Check(width >= 1 && height >= 1, "a stored frame has pixels");
    Check(x + width <= sim::BinnedWidth(state) && top >= 0, "a stored frame lies on the sensor");
    Check(uint64_t(width) * height * 2 <= bufferSize, "a stored frame fits the buffer");
    Check(width <= request.width && height <= request.height, "never more than was asked for");
    if (s.driver->cropX < 0 || s.driver->cropY < 0 || s.driver->cropWidth < 0 || s.driver->cropHeight < 0) {
        // Without a crop the frame is the request moved onto the sensor.
        const int32_t bw = sim::BinnedWidth(state);
        const int32_t bh = sim::BinnedHeight(state);
        const int32_t wantX = request.x < 0 ? 0 : request.x >= bw ? bw - 1 : request.x;
        const int32_t wantY = request.y < 0 ? 0 : request.y >= bh ? bh - 1 : request.y;
        Check(x == wantX && top == wantY, "the frame starts where it was asked to");
        Check(width == std::min<int64_t>(std::min(request.width, bw), bw - wantX) &&
                  height == std::min<int64_t>(std::min(request.height, bh), bh - wantY),
              "and is as large as the sensor lets it be");
    }
    Check(EndsWithPieces(reads, sim::TransferSize(state, frame), s.driver->singleReadLimit),
          "the whole transfer was read");
    const std::vector<uint16_t> expected = sim::ExpectedFrame(state, x, top, width, height);
    const bool lastByteLost = state.description.type == 3 && state.settings.doubleSample;
    for (size_t i = 0; i < expected.size(); ++i) {
        uint16_t want = expected[i];
        // A type 3 camera in double-sample mode never sends the last byte of
        // its last sample (the host's first row, last column).
        if (lastByteLost && i == size_t(width) - 1) {
            sim::SamplePair samples = sim::PixelSamples(state, top, x + width - 1);
            want = static_cast<uint16_t>((samples.first + (samples.second & 0xFF00u)) / 2);
        }
        Check(buffer.Pixel(i) == want, "every pixel is the camera's pixel");
    }
    Check(buffer.UntouchedFrom(expected.size() * 2), "nothing past the frame or around the buffer");
}

// A stream of arbitrary bytes stored as a frame: it must have been long
// enough for the whole transfer that the request asked for, and nothing
// past the frame the request names may be written.
void CheckHostileFrame(Station& s, const GuardedBuffer& buffer, const std::vector<DWORD>& reads, size_t streamSize)
{
    const std::vector<std::vector<uint8_t>> writes = s.camera->CommandWrites();
    Check(writes.size() == 1 && writes[0].size() == 9, "one frame request");
    const std::vector<uint8_t>& r = writes[0];
    const uint64_t rows = r[3] | r[4] << 8;
    const uint64_t columns = r[7] | r[8] << 8;
    const bool twoSamples = s.driver->doubleSample == 1;
    const uint64_t pad = s.driver->cameraType == 3 ? (twoSamples ? 2 : 4) : 0;
    const uint64_t transfer = rows * columns * 2 * (twoSamples ? 2 : 1);
    Check(EndsWithPieces(reads, transfer, s.driver->singleReadLimit), "the transfer is what was asked for");
    Check(streamSize >= transfer, "a frame is stored only when all its bytes came");
    Check(buffer.UntouchedFrom((columns - pad) * rows * 2), "nothing past the frame or around the buffer");
}

const std::string kMessages[] = {"Invalid image size required", "Buffer too small",
                                 "Not enough memory for the image"};

void OneReadout(Rig& rig, Station& s, fuzz::Input& in)
{
    uint64_t lateBy = 0;
    const int faults = InjectFaults(s, in, &lateBy);
    const bool unplug = in.Chance(12);
    const bool hostile = in.Chance(24);
    size_t junkSize = 0;
    if (hostile) {
        std::vector<uint8_t> junk = in.Bytes(in.Word() % 4096);
        junkSize = junk.size();
        s.camera->DefineCommand(r6odi::kReadFrame, [junk](sim::CameraState& state, const sim::Bytes&) {
            state.imageData.Clear();
            state.imageData.Append(junk);
            return sim::Bytes();
        });
    }
    if (unplug)
        rig.bus.Detach(s.camera);

    r6odi::ReadoutRequest request;
    request.exposureTime = -1.0;
    request.frameFlag = 0;
    request.x = Coordinate(in);
    request.y = Coordinate(in);
    request.width = Coordinate(in);
    request.height = Coordinate(in);
    const uint64_t asked = uint64_t(uint32_t(request.width)) * uint32_t(request.height) * 2;
    request.bufferSize = in.Chance(200) && asked <= kLargestBuffer ? uint32_t(asked) : in.Word() % (in.Chance(32) ? kLargestBuffer : 4096);
    GuardedBuffer buffer(request.bufferSize);
    request.buffer = buffer.Pixels();

    s.camera->ClearWireLog();
    const int framesBefore = s.camera->Activity().frames;
    std::strcpy(s.driver->lastError, "before");
    const bool stored = s.driver->ReadImage(request);
    const std::string message = s.driver->lastError;
    const std::vector<DWORD> reads = s.camera->ImageReadSizes();
    for (DWORD size : reads)
        Check(size <= s.driver->singleReadLimit, "no read asks for more than the limit");

    if (stored) {
        Check(message == "before", "success leaves the last error alone");
        if (hostile)
            CheckHostileFrame(s, buffer, reads, junkSize);
        else
            CheckStoredFrame(s, request, buffer, reads);
        Check(buffer.UntouchedFrom(request.bufferSize), "the guards hold");
    } else {
        Check(buffer.UntouchedFrom(0), "a failed readout leaves the buffer alone");
        if (message == "Camera returned less pixels") {
            Check(faults > 0 || unplug || hostile, "only a stream that stops fails the transfer");
        } else {
            bool known = false;
            for (const std::string& m : kMessages)
                known = known || m == message;
            Check(known, "a refusal names its reason");
            Check(s.camera->CommandWrites().empty() && reads.empty(), "a refusal touches no pipe");
            Check(s.camera->Activity().frames == framesBefore, "and asks for no frame");
        }
    }

    s.camera->ClearFaults();
    // What comes late has come by the next readout.
    emu::Advance(lateBy);
    if (hostile) {
        s.camera->DefineCommand(r6odi::kReadFrame, sim::AnswerFrameRequest);
        // A camera that sends more than a frame is not told from a good one
        // while the pipe is in step (only after a failure, or on new pipes,
        // is a frame checked for more behind it): its surplus goes here.
        s.camera->WithState([](sim::CameraState& state) { state.imageData.Clear(); });
    }
    if (unplug) {
        // Handles opened before the unplug serve nothing any more.
        rig.bus.Attach(s.camera);
        ClosePipes(s);
        OpenPipes(s);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    emu::SetDeviceBus(&rig.bus);
    fuzz::Input in(data, size);
    Station& s = rig.stations[in.Pick(3)];
    const long handles = emu::Snapshot().handles;
    const long reads = emu::Snapshot().pendingIo;
    PowerUp(s, in);
    OpenPipes(s);
    Configure(s, in);
    const int readouts = 1 + static_cast<int>(in.Pick(3));
    for (int i = 0; i < readouts; ++i)
        OneReadout(rig, s, in);
    ClosePipes(s);
    s.camera->ClearWireLog();
    Check(emu::Snapshot().handles == handles, "every pipe and event is closed");
    Check(emu::Snapshot().pendingIo == reads, "no read is left in flight");
    Check(emu::TakeMisuseReports().empty(), "no misuse of the Win32 API, no hang");
    return 0;
}
