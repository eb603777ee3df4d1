// One simulated camera: a protocol peer with state behind three pipes.
//
// A write on the command pipe is one request; the camera answers it at once
// by queueing the reply that a later read of the reply pipe returns. A read
// delivers at most the size asked and drops the rest of that reply, as an
// overflowing USB bulk transfer would. The image pipe serves a queue of
// bytes, each read as much as is queued up to the size asked (less while an
// image fault says so). A read of the reply or image pipe with nothing
// queued blocks as a bulk pipe does: it waits until data arrives or, when
// the pipe has a time-out (SetPipeTimeout; none unless set, as USB bulk
// pipes commonly have none), until that has passed on the clock, and then
// fails with ERROR_SEM_TIMEOUT (see emu::DeviceFile). Replies and frames
// may be made late (ReplyFault::Late, FrameFault): they arrive on the clock
// after their request, also after the reader gave up, and stay in the pipe
// for the next reader; the image pipe keeps unread bytes across frame
// requests, as a bulk pipe does.
//
// The camera's sensor cools on the virtual clock: every request, and every
// look at the thermal state, sees it as it is at emu::Now().
//
// The camera outlives its bus attachment as long as handles refer to it, but
// a handle serves only the attachment it was opened in: after a detach it
// fails with ERROR_DEVICE_NOT_CONNECTED, even once the camera is back.
//
// Thread-safe; all state is guarded by the camera's own lock, which is never
// held while calling into the emulation (the clock is read before the lock
// is taken).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/emul/control.h"
#include "sim/camera_state.h"
#include "sim/command_table.h"
#include "sim/endpoint.h"
#include "sim/fault_plan.h"
#include "sim/wire_log.h"

namespace sim {

class SimCamera : public std::enable_shared_from_this<SimCamera> {
public:
    explicit SimCamera(const CameraDescription& description);

    int Type() const { return type_; }
    // The path SetupAPI reports; fixed for the camera's life.
    const std::string& Path() const { return path_; }
    CameraDescription Description() const;
    bool Attached() const;

    // --- Behaviour ---------------------------------------------------------
    // Adds or replaces the handler of one command code.
    void DefineCommand(uint8_t code, CommandHandler handler);
    // Runs `visit` on the camera's state under its lock (the same rule as for
    // handlers: no calls back into the camera, the bus or the emulation).
    void WithState(const std::function<void(CameraState&)>& visit);
    void QueueImageData(const std::vector<uint8_t>& bytes);
    // How long a read of an empty reply or image pipe waits, in milliseconds
    // of the clock, before it fails as a USB time-out (0: reads never wait;
    // kNoPipeTimeout, the default: for ever).
    static constexpr DWORD kNoPipeTimeout = INFINITE;
    void SetPipeTimeout(DWORD milliseconds);
    DWORD PipeTimeout() const;
    size_t PendingReplies() const;
    size_t PendingImageBytes() const;

    // --- State ---------------------------------------------------------------
    CameraSettings Settings() const;
    CameraActivity Activity() const;
    // The cooler and the sensor as they are now on the virtual clock; the
    // camera's model is brought up to now as a request would bring it.
    ThermalState Thermal();
    double CcdCelsius() { return Thermal().ccdCelsius; }

    // --- Faults --------------------------------------------------------------
    // Every open of the endpoint fails with `error` (0: opens succeed again).
    void FailOpen(Endpoint endpoint, DWORD error);
    void InjectWriteFault(const WriteFault& fault);
    void InjectReplyFault(const ReplyFault& fault);
    void InjectImageFault(const ImageFault& fault);
    void InjectFrameFault(const FrameFault& fault);
    // SetupDiEnumDeviceInterfaces fails with `error` for this camera (0: not).
    void FailEnumeration(DWORD error);
    // SetupDiGetDeviceInterfaceDetailA fails for this camera.
    void FailDetail(bool fails);
    void ClearFaults();

    // The name that the removal notification carries; empty (the default)
    // means the path itself. Windows often reports it in upper case.
    void SetRemovalName(const std::string& name);
    std::string RemovalName() const;

    // --- Observation ---------------------------------------------------------
    std::vector<WireRecord> WireRecords() const;
    std::vector<std::vector<uint8_t>> CommandWrites() const;
    // The size asked by every read of the image pipe, in order.
    std::vector<DWORD> ImageReadSizes() const;
    // Forgets the writes and the image read sizes.
    void ClearWireLog();
    // Handles currently open on the endpoint, whatever their attachment.
    int OpenFiles(Endpoint endpoint) const;

private:
    friend class SimBus;
    friend class SimFile;

    // Bus side. MarkAttached is false when the camera is attached already.
    bool MarkAttached();
    void MarkDetached();
    emu::InterfaceEntry Entry() const;
    std::unique_ptr<emu::DeviceFile> Open(Endpoint endpoint, DWORD* error);

    // File side; `attachment` is the one the handle was opened in.
    bool Read(Endpoint endpoint, uint64_t attachment, void* buffer, DWORD size, DWORD* done,
              DWORD* error);
    bool Write(Endpoint endpoint, uint64_t attachment, const void* buffer, DWORD size,
               DWORD* done, DWORD* error);
    void FileClosed(Endpoint endpoint);
    DWORD ReadTimeout(Endpoint endpoint) const;
    // Called under the emulation's lock: takes only the camera's own.
    uint64_t ReadableAt(Endpoint endpoint, uint64_t attachment) const;
    std::string Identity(Endpoint endpoint, uint64_t attachment) const;

    bool Serves(uint64_t attachment) const { return attached_ && attachment == attachment_; }
    bool ReadReply(uint8_t* buffer, DWORD size, uint64_t now, DWORD* done);
    DWORD ReadImage(uint8_t* buffer, DWORD size, uint64_t now);
    void DeliverFrame(size_t queuedBefore, uint64_t now);
    void Execute(const uint8_t* request, DWORD size, uint64_t now);

    const int type_;
    const std::string path_;

    mutable std::mutex mutex_;
    bool attached_ = false;
    uint64_t attachment_ = 0; // counts attachments; handles remember theirs
    CameraState state_;
    CommandTable commands_;
    FaultPlan faults_;
    std::deque<PendingReply> replies_;
    WireLog log_;
    std::vector<DWORD> imageReadSizes_;
    std::string removalName_;
    int openFiles_[kEndpointCount] = {};
    DWORD pipeTimeout_ = kNoPipeTimeout;
};

} // namespace sim
