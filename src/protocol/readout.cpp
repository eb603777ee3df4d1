// The image readout: one frame request on the command pipe, the frame from
// the image pipe in bounded pieces, and the conversion into host pixels.
#include "protocol/readout.h"

#include <cmath>
#include <cstring>

#include "device/camera.h"
#include "device/pipe_reads.h"
#include "hostsupport/memory.h"
#include "protocol/command_codes.h"
#include "protocol/readout_geometry.h"

namespace r6odi {
namespace {

const char kInvalidSize[] = "Invalid image size required";
const char kBufferTooSmall[] = "Buffer too small";
const char kNoMemory[] = "Not enough memory for the image";
const char kShortFrame[] = "Camera returned less pixels";

constexpr DWORD kReadFrameLength = 9;
constexpr DWORD kExposeAndReadFrameLength = 12;
constexpr DWORD kLongestFrameRequest = kExposeAndReadFrameLength;
constexpr DWORD kDrainScratch = 4096;
// More than any frame of the family: a pipe that gives more while being
// drained does not empty.
constexpr uint64_t kMostImageDrain = uint64_t(1) << 32;

static_assert(sizeof(size_t) >= sizeof(uint32_t), "a 32-bit buffer size fits an allocation size");

// The time field of ExposeAndReadFrame: milliseconds, rounded, 0xFFFF for
// anything that does not fit (including a time that is not a number).
uint16_t ExposureMilliseconds(double seconds)
{
    const double ms = seconds * 1000.0;
    if (std::isnan(ms) || ms >= 65535.0)
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
    // The old content is about to be overwritten: a reallocation would copy
    // tens of MiB for nothing and hold both blocks at once. A buffer that
    // cannot grow is left empty.
    void* block = *buffer;
    hostsupport::Free(&block);
    *buffer = nullptr;
    *size = 0;
    if (!hostsupport::Allocate(&block, static_cast<size_t>(needed)))
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

// A piece waits no longer than the frame's time has left.
bool ReadPiece(HANDLE pipe, BYTE* into, DWORD size, DWORD start, DWORD limitMs)
{
    const DWORD spent = GetTickCount() - start;
    DWORD delivered = 0;
    ReadPipe(pipe, into, size, spent < limitMs ? limitMs - spent : 0, &delivered);
    return delivered == size;
}

// The whole transfer into rawBuffer, within `limitMs` of `start`. Only the
// counts delivered are looked at: a pipe that has failed, or a frame that
// ran out of time, shows up as a piece that came back short.
bool ReceiveFrame(CCamera& camera, uint64_t total, DWORD start, DWORD limitMs)
{
    BYTE* into = camera.rawBuffer;
    uint64_t remaining = total;
    for (DWORD limit = PieceLimit(camera); remaining > limit; limit = PieceLimit(camera)) {
        if (!ReadPiece(camera.imagePipe, into, limit, start, limitMs))
            return false;
        into += limit;
        remaining -= limit;
    }
    return ReadPiece(camera.imagePipe, into, static_cast<DWORD>(remaining), start, limitMs);
}

// A place for what the image pipe still holds: the raw buffer, which holds
// nothing yet, or a small one; never a read larger than the camera takes.
DWORD Scratch(CCamera& camera, BYTE* small, void** scratch)
{
    DWORD size = kDrainScratch;
    *scratch = small;
    if (camera.rawBuffer != nullptr && camera.rawBufferSize > size) {
        *scratch = camera.rawBuffer;
        size = camera.rawBufferSize;
    }
    return size < PieceLimit(camera) ? size : PieceLimit(camera);
}

// Empties the image pipe of what an earlier frame left.
bool Resynchronise(CCamera& camera)
{
    BYTE small[kDrainScratch];
    void* scratch = nullptr;
    const DWORD size = Scratch(camera, small, &scratch);
    return DrainPipe(camera.imagePipe, scratch, size, kMostImageDrain);
}

// Whether nothing follows the frame just read (which fills the raw buffer,
// so the check reads into a small one of its own).
bool FrameStandsAlone(CCamera& camera)
{
    BYTE small[kDrainScratch];
    const DWORD limit = PieceLimit(camera);
    return PipeStaysQuiet(camera.imagePipe, small, limit < kDrainScratch ? limit : kDrainScratch);
}

void StoreFrame(CCamera& camera, const FrameGeometry& frame, uint16_t* destination)
{
    RawFrame raw;
    raw.bytes = camera.rawBuffer + frame.sampleOffset;
    raw.width = static_cast<size_t>(frame.width);
    raw.height = static_cast<size_t>(frame.height);
    raw.padColumns = frame.padColumns;
    const RowCode code = RowCodeFor(frame.pixelBytes);
    if (frame.samplesPerPixel == 1) {
        UnpackRows(raw, destination, code);
        return;
    }
    // The byte past a shifted transfer was never sent: it reads as 0, not
    // as whatever an earlier, larger frame left there.
    if (frame.sampleOffset != 0)
        camera.rawBuffer[frame.transferBytes] = 0;
    UnpackAveragedRows(raw, reinterpret_cast<uint16_t*>(camera.sampleBuffer), destination, code);
}

} // namespace

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
    // The tail of a frame that failed must not become the head of this one.
    const bool resynchronising = imageState != PipeState::InStep;
    if (imageState == PipeState::Behind && !Resynchronise(*this)) {
        Fail(kShortFrame);
        return false;
    }
    BYTE bytes[kLongestFrameRequest];
    const DWORD length = BuildFrameRequest(request, frame, bytes);
    const uint32_t exposureMs = bytes[0] == kExposeAndReadFrame ? ExposureMilliseconds(request.exposureTime) : 0;
    const DWORD start = GetTickCount();
    // A frame request that did not leave whole brings no frame: the image
    // pipe is not read.
    DWORD written = 0;
    BOOL sent = WriteFile(commandPipe, bytes, length, &written, nullptr);
    bool whole = sent && written == length &&
                 ReceiveFrame(*this, frame.transferBytes, start, FrameLimitMs(frame.transferBytes, exposureMs));
    // More bytes right behind the first frame after a resync: its start was
    // the rest of a late frame.
    if (whole && resynchronising)
        whole = FrameStandsAlone(*this);
    imageState = whole ? PipeState::InStep : PipeState::Behind;
    if (!whole) {
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
