// The command channel: a request on the command pipe, a reply of fixed
// length on the reply pipe, whose first byte is the camera's status.
#include <cmath>

#include "device/camera.h"
#include "device/interface_classes.h"
#include "device/pipe_reads.h"
#include "hostsupport/memory.h"
#include "hostsupport/text.h"
#include "protocol/command_codes.h"
#include "protocol/messages.h"

namespace r6odi {
namespace {

constexpr BYTE kStatusSuccess = 0x80;
constexpr BYTE kStatusInvalidIndex = 0x81;
constexpr BYTE kStatusInvalidParameter = 0x82;
constexpr BYTE kStatusUnknownInstruction = 0x83;
// Stands for any reply that is not a real status: nothing or too little came.
constexpr BYTE kStatusNoReply = 0x00;

constexpr DWORD kStatusReplyLength = 1;
// Replies are a few bytes long.
constexpr DWORD kDrainScratch = 64;
constexpr DWORD kGetInfoReplyLength = 1 + sizeof(CameraInfo);

const char* ReasonFor(BYTE replyStatus)
{
    switch (replyStatus) {
    case kStatusInvalidIndex:
        return "Invalid index";
    case kStatusInvalidParameter:
        return "Invalid parameter";
    case kStatusUnknownInstruction:
        return "Unknown instruction";
    default:
        return "Unknown return code";
    }
}

uint16_t PreflashMilliseconds(double seconds)
{
    double ms = seconds * 1000.0;
    // A time that is not a number has no count; converting it would be
    // undefined.
    if (std::isnan(ms))
        return 0;
    if (ms > 65535.0)
        return 0xFFFF;
    // A negative time would otherwise reach the camera as a long preflash.
    if (ms < 0.0)
        return 0;
    return static_cast<uint16_t>(static_cast<int32_t>(ms + 0.5));
}

} // namespace

void CCamera::Fail(const char* message)
{
    hostsupport::CopyText(kLastErrorCapacity, lastError, 0, message);
}

void CCamera::ReportReplyStatus(BYTE replyStatus)
{
    hostsupport::CopyText(kLastErrorCapacity, lastError, 0, "Instruction failed: ");
    hostsupport::AppendText(kLastErrorCapacity, lastError, 0, ReasonFor(replyStatus));
}

bool CCamera::Exchange(BYTE* buffer, DWORD requestLength, DWORD replyLength)
{
    if (!IsConnected()) {
        Fail(kNotConnectedMessage);
        return false;
    }
    // A reply that came late to an earlier exchange must not pass for this
    // one's.
    BYTE scratch[kDrainScratch];
    const bool resynchronising = replyState != PipeState::InStep;
    if (replyState == PipeState::Behind && !DrainPipe(replyPipe, scratch, sizeof scratch, kMostReplyDrainBytes)) {
        ReportReplyStatus(kStatusNoReply);
        return false;
    }
    // A request that did not leave whole is never answered: nothing is read.
    DWORD written = 0;
    BOOL sent = WriteFile(commandPipe, buffer, requestLength, &written, nullptr);
    if (!sent || written != requestLength) {
        // Whatever the camera makes of the part it got, it is no answer.
        replyState = PipeState::Behind;
        ReportReplyStatus(kStatusNoReply);
        return false;
    }
    DWORD read = 0;
    const bool received = ReadPipe(replyPipe, buffer, replyLength, kReplyLimitMs, &read);
    const bool whole = received && read == replyLength;
    // Another reply right behind the first after a resync: the first was a
    // late one, and which is whose cannot be told.
    const bool alone = !(whole && resynchronising) || PipeStaysQuiet(replyPipe, scratch, sizeof scratch);
    replyState = whole && alone ? PipeState::InStep : PipeState::Behind;
    if (!received || read == 0 || !alone) {
        ReportReplyStatus(kStatusNoReply);
        return false;
    }
    // A camera that refuses may send its status byte alone: the refusal
    // stands whatever the length. A success cut short holds request bytes
    // where the answer should be, and must never pass for the answer.
    if (buffer[0] != kStatusSuccess) {
        ReportReplyStatus(buffer[0]);
        return false;
    }
    if (read < replyLength) {
        ReportReplyStatus(kStatusNoReply);
        return false;
    }
    return true;
}

bool CCamera::SendCommand(BYTE code)
{
    BYTE buffer[1] = {code};
    return Exchange(buffer, 1, kStatusReplyLength);
}

bool CCamera::SendCommandByte(BYTE code, uint32_t value)
{
    BYTE buffer[2] = {code, static_cast<BYTE>(value)};
    return Exchange(buffer, 2, kStatusReplyLength);
}

bool CCamera::SendCommandWord(BYTE code, uint32_t value)
{
    BYTE buffer[3] = {code, static_cast<BYTE>(value), static_cast<BYTE>(value >> 8)};
    return Exchange(buffer, 3, kStatusReplyLength);
}

bool CCamera::ReadCameraInfo(CameraInfo* destination)
{
    BYTE buffer[kGetInfoReplyLength] = {kGetInfo};
    if (!Exchange(buffer, 1, kGetInfoReplyLength))
        return false;
    hostsupport::CopyBytes(buffer + 1, destination, sizeof(CameraInfo));
    return true;
}

bool CCamera::SetBinning(BYTE code, int32_t factor, int32_t* field)
{
    // Type 3 cameras have no hardware binning: only 1 is possible, and
    // nothing is sent for it.
    if (cameraType == kCameraType3) {
        *field = 1;
        return factor == 1;
    }
    if (!SendCommandByte(code, static_cast<uint32_t>(factor)))
        return false;
    *field = factor;
    return true;
}

bool CCamera::SetBinningX(int32_t factor) { return SetBinning(kSetBinningX, factor, &hwBinX); }
bool CCamera::SetBinningY(int32_t factor) { return SetBinning(kSetBinningY, factor, &hwBinY); }

bool CCamera::SetReadMode(int32_t mode)
{
    if (mode != 0 && mode != 1) {
        Fail("Invalid read mode");
        return false;
    }
    // The sample layout follows the camera: a refused change leaves the
    // camera sending the old one, and the readout must expect that.
    const int32_t wanted = mode == 0 ? 1 : 0;
    if (!SendCommandByte(kSetReadMode, static_cast<uint32_t>(wanted)))
        return false;
    doubleSample = wanted;
    return true;
}

bool CCamera::OpenShutter() { return SendCommand(kOpenShutter); }
bool CCamera::CloseShutter() { return SendCommand(kCloseShutter); }

bool CCamera::SetWindowHeating(bool on) { return SendCommandByte(kSetWindowHeating, on ? 1 : 0); }

bool CCamera::SetPreflash(double seconds, uint32_t clears)
{
    uint16_t ms = PreflashMilliseconds(seconds);
    BYTE count = static_cast<BYTE>(clears > 16 ? 16 : clears);
    BYTE buffer[4] = {kSetPreflash, static_cast<BYTE>(ms), static_cast<BYTE>(ms >> 8), count};
    return Exchange(buffer, 4, kStatusReplyLength);
}

bool RequireConnected(CCamera* camera)
{
    if (camera->IsConnected())
        return true;
    camera->Fail(kNotConnectedMessage);
    return false;
}

bool CameraSetBinning(CCamera* camera, int32_t factorX, int32_t factorY)
{
    if (!RequireConnected(camera))
        return false;
    return camera->SetBinningX(factorX) && camera->SetBinningY(factorY);
}

bool CameraSetFilter(CCamera* camera, int32_t position)
{
    if (!RequireConnected(camera))
        return false;
    // The command carries one byte: a position beyond it would move the
    // wheel to another position than the one asked for.
    if (position < 0 || position > 0xFF) {
        camera->Fail("Invalid filter position");
        return false;
    }
    return camera->SendCommandByte(kSetFilter, static_cast<uint32_t>(position));
}

bool CameraStartExposure(CCamera* camera)
{
    if (!RequireConnected(camera))
        return false;
    return camera->SendCommand(kStartExposure);
}

} // namespace r6odi
