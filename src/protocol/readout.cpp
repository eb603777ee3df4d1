// The image readout: one frame request on the command pipe, the frame from
// the image pipe in bounded pieces, and the conversion into host pixels.
#include "protocol/readout.h"

#include <cstring>

#include "device/camera.h"
#include "hostsupport/memory.h"
#include "protocol/command_codes.h"
#include "protocol/readout_geometry.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the sample conversion is written for little-endian hosts"
#endif

namespace r6odi {
namespace {

const char kInvalidSize[] = "Invalid image size required";
const char kBufferTooSmall[] = "Buffer too small";
const char kNoMemory[] = "Not enough memory for the image";
const char kShortFrame[] = "Camera returned less pixels";

constexpr DWORD kReadFrameLength = 9;
constexpr DWORD kExposeAndReadFrameLength = 12;
constexpr DWORD kLongestFrameRequest = kExposeAndReadFrameLength;

// Loops run over whole blocks of this many elements first and finish with
// the few left over: a loop whose count is a known multiple of the vector
// width is one that the compiler vectorises even at -O2.
constexpr size_t kBlock = 16;

static_assert(sizeof(size_t) >= sizeof(uint32_t), "a 32-bit buffer size fits an allocation size");

// The row loops stay out of line: only as functions of their own do they
// keep the promise that their two pointers never overlap, which the
// vectoriser needs (inlined, the compiler would have to check at run time,
// and at -O2 it then leaves the loop scalar). On x86 ELF hosts each is also
// compiled for AVX2 and the wider build is chosen when the module loads
// (such clones are never inlined); the loops are plain C++ either way.
#if defined(__ELF__) && (defined(__x86_64__) || defined(__i386__))
#define R6ODI_ROW_LOOP [[gnu::target_clones("avx2", "default")]]
#else
#define R6ODI_ROW_LOOP [[gnu::noinline]]
#endif

// A camera sample, most significant byte first, in host order (hosts of
// this driver are little-endian). The compilers vectorise a byte swap into
// one byte shuffle per vector where the CPU has one (AVX2) and into two
// shifts elsewhere; written as shifts, GCC keeps the shifts even for AVX2,
// which costs a third of the conversion's speed on frames in cache.
inline uint16_t HostSample(const uint8_t* wire)
{
    uint16_t sample;
    std::memcpy(&sample, wire, sizeof sample);
    return __builtin_bswap16(sample);
}

R6ODI_ROW_LOOP void SwapSamples(const uint8_t* __restrict wire, uint16_t* __restrict host, size_t count)
{
    const size_t whole = count / kBlock * kBlock;
    for (size_t i = 0; i < whole; ++i)
        host[i] = HostSample(wire + 2 * i);
    for (size_t i = whole; i < count; ++i)
        host[i] = HostSample(wire + 2 * i);
}

// One pixel of two samples: its 4 wire bytes byte-swapped pairwise into the
// sample buffer, and the truncated mean of the two samples, the sum taken in
// 32 bits. Both halves of the swap happen in one 32-bit word (the first
// sample in its low half), so the loop runs in 32-bit vector lanes and
// reads the transfer only once.
inline uint16_t SwapPairAndAverage(const uint8_t* wire, uint16_t* samples)
{
    uint32_t word;
    std::memcpy(&word, wire, sizeof word);
    const uint32_t both = ((word & 0x00FF00FFu) << 8) | ((word >> 8) & 0x00FF00FFu);
    std::memcpy(samples, &both, sizeof both);
    return static_cast<uint16_t>(((both & 0xFFFF) + (both >> 16)) / 2);
}

R6ODI_ROW_LOOP void SwapAndAveragePairs(const uint8_t* __restrict wire, uint16_t* __restrict samples,
                                        uint16_t* __restrict pixels, size_t count)
{
    const size_t whole = count / kBlock * kBlock;
    for (size_t i = 0; i < whole; ++i)
        pixels[i] = SwapPairAndAverage(wire + 4 * i, samples + 2 * i);
    for (size_t i = whole; i < count; ++i)
        pixels[i] = SwapPairAndAverage(wire + 4 * i, samples + 2 * i);
}

// The time field of ExposeAndReadFrame: milliseconds, rounded, 0xFFFF for
// anything that does not fit (including a time that is not a number).
uint16_t ExposureMilliseconds(double seconds)
{
    const double ms = seconds * 1000.0;
    if (!(ms < 65535.0))
        return 0xFFFF;
    return static_cast<uint16_t>(static_cast<uint32_t>(ms + 0.5));
}

void PutWord(BYTE* at, int64_t value)
{
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
}

// The frame request for the fitted frame; returns its length.
DWORD BuildFrameRequest(const ReadoutRequest& request, const FrameGeometry& frame, BYTE* bytes)
{
    const bool expose = !(request.exposureTime < 0.0);
    bytes[0] = expose ? kExposeAndReadFrame : kReadFrame;
    PutWord(bytes + 1, frame.firstRow);
    PutWord(bytes + 3, frame.height);
    PutWord(bytes + 5, frame.x);
    PutWord(bytes + 7, frame.width + frame.padColumns);
    if (!expose)
        return kReadFrameLength;
    PutWord(bytes + 9, ExposureMilliseconds(request.exposureTime));
    bytes[11] = request.frameFlag;
    return kExposeAndReadFrameLength;
}

// Grows a work buffer to at least `needed` bytes; the caller has made sure
// that the need fits the 32-bit size field.
bool GrowBuffer(BYTE** buffer, uint32_t* size, uint64_t needed)
{
    if (needed <= *size)
        return true;
    void* block = *buffer;
    if (!hostsupport::Resize(&block, static_cast<size_t>(needed)))
        return false;
    *buffer = static_cast<BYTE*>(block);
    *size = static_cast<uint32_t>(needed);
    return true;
}

bool GrowWorkBuffers(CCamera& camera, const FrameGeometry& frame)
{
    // Past the shifted transfer lies the low byte of the last sample, which
    // the camera never sends; it needs a place to be read from.
    const uint64_t rawBytes = frame.transferBytes + frame.sampleOffset;
    // The size fields are 32 bits: a larger frame fails as surely as an
    // allocation that fails. The row is never larger than the frame.
    if (rawBytes > UINT32_MAX)
        return false;
    if (frame.samplesPerPixel == 2 &&
        !GrowBuffer(&camera.sampleBuffer, &camera.sampleBufferSize, frame.rowBytes))
        return false;
    return GrowBuffer(&camera.rawBuffer, &camera.rawBufferSize, rawBytes);
}

// The largest piece asked for in one read, as the camera object holds it
// now. A limit of 0 cannot be honoured; one byte at a time is the nearest.
DWORD PieceLimit(const CCamera& camera)
{
    return camera.singleReadLimit != 0 ? camera.singleReadLimit : 1;
}

bool ReadPiece(HANDLE pipe, BYTE* into, DWORD size)
{
    DWORD delivered = 0;
    ReadFile(pipe, into, size, &delivered, nullptr);
    return delivered == size;
}

// The whole transfer into rawBuffer. Only the counts delivered are looked
// at: a pipe that has failed shows up as a piece that came back short.
bool ReceiveFrame(CCamera& camera, uint64_t total)
{
    BYTE* into = camera.rawBuffer;
    uint64_t remaining = total;
    for (DWORD limit = PieceLimit(camera); remaining > limit; limit = PieceLimit(camera)) {
        if (!ReadPiece(camera.imagePipe, into, limit))
            return false;
        into += limit;
        remaining -= limit;
    }
    return ReadPiece(camera.imagePipe, into, static_cast<DWORD>(remaining));
}

void StoreFrame(CCamera& camera, const FrameGeometry& frame, uint16_t* destination)
{
    RawFrame raw;
    raw.bytes = camera.rawBuffer + frame.sampleOffset;
    raw.width = static_cast<size_t>(frame.width);
    raw.height = static_cast<size_t>(frame.height);
    raw.padColumns = frame.padColumns;
    if (frame.samplesPerPixel == 1) {
        UnpackRows(raw, destination);
        return;
    }
    // The byte past a shifted transfer was never sent: it reads as 0, not
    // as whatever an earlier, larger frame left there.
    if (frame.sampleOffset != 0)
        camera.rawBuffer[frame.transferBytes] = 0;
    UnpackAveragedRows(raw, reinterpret_cast<uint16_t*>(camera.sampleBuffer), destination);
}

} // namespace

void UnpackRows(const RawFrame& frame, uint16_t* destination)
{
    const size_t rowBytes = (frame.padColumns + frame.width) * 2;
    const uint8_t* row = frame.bytes + frame.padColumns * 2;
    for (size_t r = 0; r < frame.height; ++r, row += rowBytes)
        SwapSamples(row, destination + (frame.height - 1 - r) * frame.width, frame.width);
}

void UnpackAveragedRows(const RawFrame& frame, uint16_t* samples, uint16_t* destination)
{
    const size_t rowBytes = (frame.padColumns + frame.width) * 4;
    const uint8_t* row = frame.bytes + frame.padColumns * 4;
    for (size_t r = 0; r < frame.height; ++r, row += rowBytes) {
        SwapAndAveragePairs(row, samples, destination + (frame.height - 1 - r) * frame.width, frame.width);
    }
}

bool CCamera::ReadImage(const ReadoutRequest& request)
{
    if (!RequireConnected(this))
        return false;
    FrameGeometry frame;
    if (!FitFrame(*this, request, &frame)) {
        Fail(kInvalidSize);
        return false;
    }
    // A missing buffer holds nothing, whatever size it claims.
    const uint64_t available = request.buffer != nullptr ? request.bufferSize : 0;
    if (available < frame.pixelBytes) {
        Fail(kBufferTooSmall);
        return false;
    }
    if (!GrowWorkBuffers(*this, frame)) {
        Fail(kNoMemory);
        return false;
    }
    BYTE bytes[kLongestFrameRequest];
    const DWORD length = BuildFrameRequest(request, frame, bytes);
    DWORD written = 0;
    WriteFile(commandPipe, bytes, length, &written, nullptr);
    if (!ReceiveFrame(*this, frame.transferBytes)) {
        Fail(kShortFrame);
        return false;
    }
    StoreFrame(*this, frame, request.buffer);
    return true;
}

bool CameraReadImage(CCamera* camera, int32_t x, int32_t y, int32_t width, int32_t height,
                     uint32_t bufferSize, uint16_t* buffer)
{
    if (!RequireConnected(camera))
        return false;
    ReadoutRequest request;
    request.exposureTime = -1.0;
    request.frameFlag = 0;
    request.x = x;
    request.y = y;
    request.width = width;
    request.height = height;
    request.bufferSize = bufferSize;
    request.buffer = buffer;
    return camera->ReadImage(request);
}

} // namespace r6odi
