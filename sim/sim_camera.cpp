#include "sim/sim_camera.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "sim/command_code.h"
#include "sim/command_set.h"
#include "sim/device_path.h"
#include "sim/sim_file.h"

namespace sim {
namespace {

bool Fail(DWORD code, DWORD* done, DWORD* error)
{
    if (done)
        *done = 0;
    if (error)
        *error = code;
    return false;
}

bool Succeed(DWORD count, DWORD* done)
{
    if (done)
        *done = count;
    return true;
}

} // namespace

SimCamera::SimCamera(const CameraDescription& description)
    : type_(description.type), path_(DevicePath(description)), commands_(StandardCommandSet())
{
    state_.description = description;
    state_.thermal = ThermalAtPowerOn(description.physics, emu::Now());
}

CameraDescription SimCamera::Description() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.description;
}

bool SimCamera::Attached() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return attached_;
}

void SimCamera::DefineCommand(uint8_t code, CommandHandler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.Define(code, std::move(handler));
}

void SimCamera::WithState(const std::function<void(CameraState&)>& visit)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        visit(state_);
    }
    // The visit may have queued image data.
    emu::DeviceStateChanged();
}

void SimCamera::QueueImageData(const std::vector<uint8_t>& bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.imageData.Append(bytes);
    }
    emu::DeviceStateChanged();
}

void SimCamera::SetPipeTimeout(DWORD milliseconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pipeTimeout_ = milliseconds;
}

DWORD SimCamera::PipeTimeout() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pipeTimeout_;
}

size_t SimCamera::PendingReplies() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return replies_.size();
}

size_t SimCamera::PendingImageBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.imageData.Size();
}

CameraSettings SimCamera::Settings() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.settings;
}

CameraActivity SimCamera::Activity() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.activity;
}

ThermalState SimCamera::Thermal()
{
    uint64_t now = emu::Now();
    std::lock_guard<std::mutex> lock(mutex_);
    AdvanceThermal(state_.description.physics, &state_.thermal, now);
    return state_.thermal;
}

void SimCamera::FailOpen(Endpoint endpoint, DWORD error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.FailOpen(endpoint, error);
}

void SimCamera::InjectWriteFault(const WriteFault& fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.AddWriteFault(fault);
}

void SimCamera::InjectReplyFault(const ReplyFault& fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.AddReplyFault(fault);
}

void SimCamera::InjectImageFault(const ImageFault& fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.AddImageFault(fault);
}

void SimCamera::InjectFrameFault(const FrameFault& fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.AddFrameFault(fault);
}

void SimCamera::FailEnumeration(DWORD error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.FailEnumeration(error);
}

void SimCamera::FailDetail(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.FailDetail(fails);
}

void SimCamera::ClearFaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.Clear();
}

void SimCamera::SetRemovalName(const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    removalName_ = name;
}

std::string SimCamera::RemovalName() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return removalName_.empty() ? path_ : removalName_;
}

std::vector<WireRecord> SimCamera::WireRecords() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_.Records();
}

std::vector<std::vector<uint8_t>> SimCamera::CommandWrites() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_.Writes(PipeNumber(Endpoint::Command));
}

std::vector<DWORD> SimCamera::ImageReadSizes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return imageReadSizes_;
}

void SimCamera::ClearWireLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.Clear();
    imageReadSizes_.clear();
}

int SimCamera::OpenFiles(Endpoint endpoint) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return openFiles_[(int)endpoint];
}

bool SimCamera::MarkAttached()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (attached_)
        return false;
    attached_ = true;
    ++attachment_;
    return true;
}

void SimCamera::MarkDetached()
{
    std::lock_guard<std::mutex> lock(mutex_);
    attached_ = false;
    // Whatever was in flight is gone with the device.
    replies_.clear();
}

emu::InterfaceEntry SimCamera::Entry() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    emu::InterfaceEntry entry;
    entry.path = path_;
    entry.enumerateError = faults_.EnumerationError();
    entry.detailFails = faults_.DetailFails();
    return entry;
}

std::unique_ptr<emu::DeviceFile> SimCamera::Open(Endpoint endpoint, DWORD* error)
{
    uint64_t attachment;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!attached_) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        if (DWORD refused = faults_.OpenError(endpoint)) {
            *error = refused;
            return nullptr;
        }
        ++openFiles_[(int)endpoint];
        attachment = attachment_;
    }
    return std::make_unique<SimFile>(shared_from_this(), endpoint, attachment);
}

void SimCamera::FileClosed(Endpoint endpoint)
{
    std::lock_guard<std::mutex> lock(mutex_);
    --openFiles_[(int)endpoint];
}

DWORD SimCamera::ReadTimeout(Endpoint endpoint) const
{
    if (endpoint != Endpoint::Reply && endpoint != Endpoint::Image)
        return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    return pipeTimeout_;
}

uint64_t SimCamera::ReadableAt(Endpoint endpoint, uint64_t attachment) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Serves(attachment)) // the read fails at once
        return 0;
    switch (endpoint) {
    case Endpoint::Reply:
        return replies_.empty() ? emu::DeviceFile::kNever : replies_.front().readyAt;
    case Endpoint::Image:
        return state_.imageData.ReadyAt();
    default:
        return 0;
    }
}

std::string SimCamera::Identity(Endpoint endpoint, uint64_t attachment) const
{
    // A device that was unplugged and plugged in again is a new device
    // object: handles left from before do not share with it.
    std::string identity = UpperCasePath(path_);
    identity += '#' + std::to_string(attachment) + '\\' + std::to_string((int)endpoint);
    return identity;
}

bool SimCamera::Read(Endpoint endpoint, uint64_t attachment, void* buffer, DWORD size,
                     DWORD* done, DWORD* error)
{
    uint64_t now = emu::Now();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Serves(attachment))
        return Fail(ERROR_DEVICE_NOT_CONNECTED, done, error);
    if (buffer == nullptr && size > 0)
        return Fail(ERROR_INVALID_USER_BUFFER, done, error);
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    switch (endpoint) {
    case Endpoint::Reply:
        return ReadReply(bytes, size, now, done);
    case Endpoint::Image:
        return Succeed(ReadImage(bytes, size, now), done);
    default: // the device and the command pipe have nothing to read
        return Fail(ERROR_INVALID_FUNCTION, done, error);
    }
}

bool SimCamera::ReadReply(uint8_t* buffer, DWORD size, uint64_t now, DWORD* done)
{
    // Only a pipe that does not block (time-out 0) is read with no reply.
    if (replies_.empty() || replies_.front().readyAt > now)
        return Succeed(0, done);
    PendingReply reply = std::move(replies_.front());
    replies_.pop_front();
    DWORD count = (DWORD)std::min<size_t>(size, reply.bytes.size());
    if (count > 0)
        std::memcpy(buffer, reply.bytes.data(), count);
    return Succeed(count, done);
}

DWORD SimCamera::ReadImage(uint8_t* buffer, DWORD size, uint64_t now)
{
    imageReadSizes_.push_back(size);
    DWORD limit = faults_.ShapeImageRead(size);
    return (DWORD)state_.imageData.Take(buffer, std::min(size, limit), now);
}

// The frame a request just queued goes out as the frame faults say.
void SimCamera::DeliverFrame(size_t queuedBefore, uint64_t now)
{
    ImageQueue& queue = state_.imageData;
    size_t frame = queue.Size() > queuedBefore ? queue.Size() - queuedBefore : 0;
    FrameDelivery delivery = faults_.ShapeFrame(frame);
    size_t rest = frame - delivery.first;
    if (delivery.restDelay == FrameDelivery::kNever)
        queue.DropTail(rest);
    else if (delivery.restDelay > 0)
        queue.DelayTail(rest, now + delivery.restDelay);
    if (delivery.firstDelay > 0)
        queue.DelayTail(delivery.first + (delivery.restDelay == FrameDelivery::kNever ? 0 : rest),
                        now + delivery.firstDelay);
}

bool SimCamera::Write(Endpoint endpoint, uint64_t attachment, const void* buffer, DWORD size,
                      DWORD* done, DWORD* error)
{
    uint64_t now = emu::Now();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Serves(attachment))
        return Fail(ERROR_DEVICE_NOT_CONNECTED, done, error);
    if (buffer == nullptr && size > 0)
        return Fail(ERROR_INVALID_USER_BUFFER, done, error);
    if (endpoint == Endpoint::Device)
        return Fail(ERROR_INVALID_FUNCTION, done, error);
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    // The reply and image pipes carry data towards the host only.
    if (endpoint != Endpoint::Command) {
        log_.Record(PipeNumber(endpoint), bytes, size);
        return Fail(ERROR_INVALID_FUNCTION, done, error);
    }
    // The log holds what reached the camera, which a write fault may cut.
    WriteOutcome outcome = size > 0 ? faults_.ShapeWrite(bytes[0], size) : WriteOutcome{0, 0};
    if (outcome.delivered > 0 || outcome.error == 0) {
        log_.Record(PipeNumber(endpoint), bytes, outcome.delivered);
        Execute(bytes, outcome.delivered, now);
    }
    if (outcome.error != 0)
        return Fail(outcome.error, done, error);
    return Succeed(outcome.delivered, done);
}

void SimCamera::Execute(const uint8_t* request, DWORD size, uint64_t now)
{
    state_.now = now;
    AdvanceThermal(state_.description.physics, &state_.thermal, now);
    Bytes whole(request, request + size);
    size_t queuedBefore = state_.imageData.Size();
    Bytes answer = commands_.Answer(state_, whole);
    if (size > 0 && (request[0] == command::ReadFrame || request[0] == command::ExposeAndReadFrame))
        DeliverFrame(queuedBefore, now);
    if (answer.empty())
        return;
    PendingReply reply;
    reply.bytes = std::move(answer);
    faults_.ShapeReply(request[0], &reply);
    reply.readyAt = now + reply.delay;
    // A lost reply never arrives: the read waiting for it times out.
    if (!reply.lost)
        replies_.push_back(std::move(reply));
}

} // namespace sim
