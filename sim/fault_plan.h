// The faults one simulated camera is told to show: opens that are refused,
// enumeration steps that fail, requests that fail or arrive cut, replies
// that go wrong, image reads that come back short and frames that come
// late, half or not at all.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/emul/types.h"
#include "sim/endpoint.h"
#include "sim/frame_fault.h"
#include "sim/image_fault.h"
#include "sim/reply_fault.h"
#include "sim/write_fault.h"

namespace sim {

class FaultPlan {
public:
    // A non-zero error refuses every open of the endpoint with it; 0 allows.
    void FailOpen(Endpoint endpoint, DWORD error) { openErrors_[(int)endpoint] = error; }
    DWORD OpenError(Endpoint endpoint) const { return openErrors_[(int)endpoint]; }

    // SetupDiEnumDeviceInterfaces fails with this error for the camera (0: not).
    void FailEnumeration(DWORD error) { enumerateError_ = error; }
    DWORD EnumerationError() const { return enumerateError_; }
    // SetupDiGetDeviceInterfaceDetailA fails for the camera.
    void FailDetail(bool fails) { detailFails_ = fails; }
    bool DetailFails() const { return detailFails_; }

    // Like reply faults: the first that matches a command-pipe write of
    // `size` bytes starting with `code` shapes it; untouched writes deliver
    // everything and succeed.
    void AddWriteFault(const WriteFault& fault) { writeFaults_.push_back(fault); }
    WriteOutcome ShapeWrite(uint8_t code, DWORD size);

    // Faults apply in the order added; the first that matches a reply takes
    // it, and a fault is forgotten once it has touched its count of replies.
    void AddReplyFault(const ReplyFault& fault) { replyFaults_.push_back(fault); }
    void ShapeReply(uint8_t code, PendingReply* reply);

    // Image faults apply one at a time, in the order added, one read each
    // until spent.
    void AddImageFault(const ImageFault& fault) { imageFaults_.push_back(fault); }
    // The most that a read of `asked` bytes may deliver.
    DWORD ShapeImageRead(DWORD asked);

    // Frame faults apply one frame each, in the order added, until spent.
    void AddFrameFault(const FrameFault& fault) { frameFaults_.push_back(fault); }
    // How a frame of `size` bytes is delivered: whole and at once when no
    // fault is left.
    FrameDelivery ShapeFrame(size_t size);

    void Clear() { *this = FaultPlan(); }

private:
    DWORD openErrors_[kEndpointCount] = {};
    DWORD enumerateError_ = 0;
    bool detailFails_ = false;
    std::vector<WriteFault> writeFaults_;
    std::vector<ReplyFault> replyFaults_;
    std::vector<ImageFault> imageFaults_;
    std::vector<FrameFault> frameFaults_;
};

} // namespace sim
