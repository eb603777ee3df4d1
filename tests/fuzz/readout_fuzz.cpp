// Fuzzes the image readout: random sensors, crops (also below -1), binning
// factors, read modes, camera types, frames, host buffer sizes, read limits
// and short reads, against a fake command and image pipe on the emulated
// bus.
//
// The host buffer is allocated with exactly the size the readout is told,
// and the work buffers are heap blocks of exactly their recorded sizes, so
// AddressSanitizer catches any write past the one or read past the other.
// On top of that every readout is checked against a model of its own: a
// success stores exactly the pixels that the bytes sent make, and leaves the
// rest of the buffer alone; a failure before the request leaves the pipes
// alone; every failure leaves the buffer alone.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/camera.h"
#include "hostsupport/memory.h"
#include "platform/emul/control.h"

namespace {

using r6odi::CCamera;

// Small enough that the fuzzer runs thousands of readouts a second; large
// sensors still come in, but only frames that fit this buffer get read.
constexpr uint32_t kLargestBuffer = 8192;
constexpr uint8_t kUntouched = 0xA5;

[[noreturn]] void Violated(const char* what)
{
    std::fprintf(stderr, "readout invariant violated: %s\n", what);
    std::abort();
}

void Check(bool holds, const char* what)
{
    if (!holds)
        Violated(what);
}

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t Long() { return Word() | static_cast<uint32_t>(Word()) << 16; }
    // Mostly small values near the sensor, sometimes anything at all.
    int32_t Coordinate()
    {
        uint8_t kind = Byte();
        if (kind < 200)
            return static_cast<int32_t>(Byte()) - 4;
        if (kind < 240)
            return static_cast<int32_t>(Word()) - 2;
        return static_cast<int32_t>(Long());
    }
    double Seconds()
    {
        uint8_t kind = Byte();
        if (kind < 128)
            return -1.0;
        if (kind < 250)
            return Word() / 997.0;
        uint64_t bits = Long() | static_cast<uint64_t>(Long()) << 32;
        double any;
        std::memcpy(&any, &bits, sizeof any);
        return any;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// What the fake camera sees and sends during one readout.
struct Wire {
    std::vector<std::vector<uint8_t>> writes;
    int samples = 1;          // per pixel, as the camera object is set
    uint64_t due = 0;         // image bytes the requests asked for
    uint64_t sent = 0;        // image bytes delivered so far
    int reads = 0;
    int shortRead = -1;       // this read (0-based) delivers less
    DWORD shortBy = 0;
    uint32_t seed = 0;
};

Wire* wire = nullptr;

// The byte the fake camera sends at a position of its transfer.
uint8_t PatternByte(uint64_t position, uint32_t seed)
{
    return static_cast<uint8_t>((position * 0x9E3779B1u + seed) >> 11);
}

uint16_t WordAt(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

class FakePipe : public emu::DeviceFile {
public:
    explicit FakePipe(bool image) : image_(image) {}

    bool Read(void* buffer, DWORD size, DWORD* done, DWORD*) override
    {
        Check(image_, "only the image pipe is read");
        // Only what a request asked for is sent; an empty pipe answers
        // with nothing at once, as a pipe without a wait does.
        DWORD count = static_cast<DWORD>(std::min<uint64_t>(size, wire->due - wire->sent));
        if (wire->reads++ == wire->shortRead)
            count = count > wire->shortBy ? count - wire->shortBy : 0;
        auto* bytes = static_cast<uint8_t*>(buffer);
        for (DWORD i = 0; i < count; ++i)
            bytes[i] = PatternByte(wire->sent + i, wire->seed);
        wire->sent += count;
        *done = count;
        return true;
    }

    bool Write(const void* buffer, DWORD size, DWORD* done, DWORD*) override
    {
        Check(!image_, "only the command pipe is written");
        auto* bytes = static_cast<const uint8_t*>(buffer);
        wire->writes.emplace_back(bytes, bytes + size);
        if (size >= 9)
            wire->due += uint64_t(WordAt(wire->writes.back(), 3)) * WordAt(wire->writes.back(), 7) * 2 * wire->samples;
        *done = size;
        return true;
    }

private:
    bool image_;
};

class FakeBus : public emu::DeviceBus {
public:
    std::unique_ptr<emu::DeviceFile> Open(const std::string& name, DWORD*) override
    {
        return std::make_unique<FakePipe>(name == "fuzz\\2");
    }
    bool Interfaces(const GUID&, std::vector<emu::InterfaceEntry>* out, DWORD*) override
    {
        out->clear();
        return true;
    }
};

HANDLE OpenPipe(const char* name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}


// What the pixel at a destination position must be, from the request sent
// and the bytes delivered.
struct Model {
    uint64_t width, height, pad, samples, offset, rowBytes, total;
    uint32_t seed;

    uint16_t Sample(uint64_t position) const
    {
        auto byte = [&](uint64_t p) { return p < total ? PatternByte(p, seed) : uint8_t{0}; };
        return static_cast<uint16_t>(byte(position) << 8 | byte(position + 1));
    }
    uint16_t Pixel(uint64_t row, uint64_t column) const
    {
        uint64_t at = offset + (height - 1 - row) * rowBytes + (pad + column) * 2 * samples;
        if (samples == 1)
            return Sample(at);
        return static_cast<uint16_t>((uint32_t{Sample(at)} + Sample(at + 2)) / 2);
    }
};

void CheckStoredFrame(const CCamera& camera, const std::vector<uint8_t>& request, const uint8_t* host,
                      uint32_t bufferSize)
{
    Model m;
    m.samples = camera.doubleSample == 1 ? 2 : 1;
    m.pad = camera.cameraType == 3 ? (m.samples == 2 ? 2 : 4) : 0;
    m.offset = camera.cameraType == 3 && m.samples == 2 ? 1 : 0;
    m.height = WordAt(request, 3);
    m.width = WordAt(request, 7) - m.pad;
    m.rowBytes = (m.width + m.pad) * 2 * m.samples;
    m.total = m.rowBytes * m.height;
    m.seed = wire->seed;
    Check(wire->sent == m.total, "the transfer is what the request asks for");
    const uint64_t stored = m.width * m.height * 2;
    Check(stored <= bufferSize, "the frame fits the buffer");
    for (uint64_t row = 0; row < m.height; ++row) {
        for (uint64_t column = 0; column < m.width; ++column) {
            uint16_t pixel;
            std::memcpy(&pixel, host + (row * m.width + column) * 2, 2);
            Check(pixel == m.Pixel(row, column), "every pixel comes from its samples");
        }
    }
    for (uint64_t i = stored; i < bufferSize; ++i)
        Check(host[i] == kUntouched, "nothing past the frame is written");
}

bool Untouched(const uint8_t* host, uint32_t size)
{
    for (uint32_t i = 0; i < size; ++i) {
        if (host[i] != kUntouched)
            return false;
    }
    return true;
}

bool SentNothing() { return wire->writes.empty() && wire->reads == 0; }

void Configure(Input& in, CCamera* camera)
{
    const bool huge = in.Byte() >= 224;
    camera->info.width = huge ? in.Word() : in.Byte() % 160;
    camera->info.height = huge ? in.Word() : in.Byte() % 160;
    const int32_t factors[] = {1, 1, 1, 2, 3, 4, 0, -1, 7, 65536};
    camera->hwBinX = factors[in.Byte() % 10];
    camera->hwBinY = factors[in.Byte() % 10];
    camera->cameraType = in.Byte() % 4;
    camera->doubleSample = in.Byte() & 1;
    if (in.Byte() & 1) {
        camera->cropX = in.Coordinate();
        camera->cropY = in.Coordinate();
        camera->cropWidth = in.Coordinate();
        camera->cropHeight = in.Coordinate();
    }
    const uint8_t limit = in.Byte();
    camera->singleReadLimit = limit == 0 ? 0 : limit < 128 ? limit * 64u : r6odi::kDefaultSingleReadLimit;
    if (in.Byte() < 8)
        camera->status &= ~CCamera::kConnected;
}

void OneReadout(Input& in, CCamera* camera)
{
    Wire session;
    wire = &session;
    session.samples = camera->doubleSample == 1 ? 2 : 1;
    session.seed = in.Long();
    if (in.Byte() < 64) {
        session.shortRead = in.Byte() % 4;
        session.shortBy = 1 + in.Byte();
    }
    if (in.Byte() < 8)
        emu::FailAllocations(1);

    r6odi::ReadoutRequest request;
    request.exposureTime = in.Seconds();
    request.frameFlag = in.Byte();
    request.x = in.Coordinate();
    request.y = in.Coordinate();
    request.width = in.Coordinate();
    request.height = in.Coordinate();
    request.bufferSize = in.Word() % (kLargestBuffer + 1);
    std::unique_ptr<uint8_t[]> host(new uint8_t[request.bufferSize ? request.bufferSize : 1]);
    std::memset(host.get(), kUntouched, request.bufferSize);
    request.buffer = reinterpret_cast<uint16_t*>(host.get());

    std::strcpy(camera->lastError, "before");
    const bool stored = camera->ReadImage(request);
    emu::FailAllocations(0);
    const std::string message = camera->lastError;

    Check(camera->rawBufferSize == 0 || camera->rawBuffer != nullptr, "a sized work buffer exists");
    if (stored) {
        Check(message == "before", "success leaves the last error alone");
        Check(session.writes.size() == 1, "one request per readout");
        const std::vector<uint8_t>& sent = session.writes[0];
        Check(sent.size() == (sent[0] == 11 ? 9u : 12u) && (sent[0] == 11 || sent[0] == 21),
              "a frame request of its own length");
        CheckStoredFrame(*camera, sent, host.get(), request.bufferSize);
        return;
    }
    Check(Untouched(host.get(), request.bufferSize), "a failed readout leaves the buffer alone");
    if (message == "Camera returned less pixels") {
        Check(session.writes.size() == 1 && session.shortRead >= 0, "only a short piece fails the transfer");
        return;
    }
    Check(message == "CCD camera not connected to USB" || message == "Invalid image size required" ||
              message == "Buffer too small" || message == "Not enough memory for the image",
          "a failure names its reason");
    Check(SentNothing(), "a refused readout touches no pipe");
}

// A frame whose pixels fit a 32-bit buffer size while its double-sample
// transfer does not: it must fail before anything is sent or allocated,
// whatever size the buffer claims. The buffer is one pixel, so a readout
// that went ahead would write past it at once.
void GiantReadout(Input& in, CCamera* camera)
{
    Wire session;
    wire = &session;
    camera->info.width = camera->info.height = 65535;
    camera->cameraType = in.Byte() & 1 ? 3 : 1;
    camera->doubleSample = 1;
    r6odi::ReadoutRequest request{-1.0, 0, 0, 0, 0, 0, UINT32_MAX, nullptr};
    request.width = 32768 + in.Word() % 32768;
    const int32_t fewest = (1 << 30) / request.width + 1;
    const int32_t most = INT32_MAX / request.width;
    request.height = fewest + static_cast<int32_t>(in.Word() % static_cast<uint32_t>(most - fewest + 1));
    uint16_t pixel = 0x1234;
    request.buffer = &pixel;
    const uint64_t allocations = emu::Snapshot().heapAllocations;
    Check(!camera->ReadImage(request), "a transfer beyond 32 bits is refused");
    Check(std::strcmp(camera->lastError, "Not enough memory for the image") == 0, "and says why");
    Check(SentNothing() && pixel == 0x1234, "before anything is sent or stored");
    Check(emu::Snapshot().heapAllocations == allocations, "or allocated");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Installed for every input: the replay test runs several targets, each
    // with a bus of its own, in one process.
    static FakeBus bus;
    emu::SetDeviceBus(&bus);

    const long blocksBefore = emu::Snapshot().heapBlocks;
    Input in(data, size);
    CCamera* camera = hostsupport::New<CCamera>();
    if (camera == nullptr)
        return 0;
    camera->commandPipe = OpenPipe("fuzz\\0");
    camera->imagePipe = OpenPipe("fuzz\\2");
    camera->status |= CCamera::kConnected;
    if (in.Byte() < 4) {
        GiantReadout(in, camera);
        r6odi::DestroyCamera(camera);
        return 0;
    }
    Configure(in, camera);
    // Several readouts on one camera: later ones reuse what earlier ones grew.
    const int readouts = 1 + in.Byte() % 3;
    for (int i = 0; i < readouts; ++i)
        OneReadout(in, camera);
    r6odi::DestroyCamera(camera);
    Check(emu::Snapshot().heapBlocks == blocksBefore, "every work buffer is freed");
    return 0;
}
