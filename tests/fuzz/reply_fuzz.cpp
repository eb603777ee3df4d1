// Fuzzes everything the driver reads from a camera's reply pipe: the
// CameraInfo block of GetInfo (and what the property queries make of it),
// the readings of GetValue, the counts of GetPower, the status of every
// short command, and the id that IdentifyDevice takes from a GetInfo reply.
//
// The replies come from a simulated camera whose command handlers answer
// with bytes of the input: any status, any length (empty, cut short, longer
// than asked), a reply that never arrives, or one that arrives late, within
// the driver's limit or after it gave up (and before the next exchange,
// which must then get its own reply, not the late one). Each exchange is checked
// against what its reply allows: a success only for a complete reply with
// the success status, the answer taken from exactly the reply's bytes, a
// failure that leaves its output as it was and names the reason, and no
// traffic at all on a camera that is not connected.
#include <cmath>
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
#include "sim/sim_bus.h"

namespace {

using r6odi::CCamera;

void Check(bool holds, const char* what)
{
    if (!holds)
        fuzz::Violated("reply_fuzz", what);
}

constexpr uint8_t kSuccess = 0x80;

// One reply as the camera will give it.
struct Reply {
    std::vector<uint8_t> bytes;
    bool lost = false;
    uint64_t delay = 0; // milliseconds after the request

    // A reply due just as the limit runs out still counts.
    bool TooLate() const { return delay > r6odi::kReplyLimitMs; }
    // The exchange succeeds only with the whole reply, in time, and the
    // success status.
    bool Complete(size_t length) const
    {
        return !lost && !TooLate() && bytes.size() >= length && bytes[0] == kSuccess;
    }
    // The text of a failed exchange.
    std::string Failure(size_t length) const
    {
        std::string text = "Instruction failed: ";
        // A short reply names its status when it has one other than
        // success; a short success is no answer at all.
        if (lost || TooLate() || bytes.empty() || (bytes.size() < length && bytes[0] == kSuccess))
            return text + "Unknown return code";
        switch (bytes[0]) {
        case 0x81:
            return text + "Invalid index";
        case 0x82:
            return text + "Invalid parameter";
        case 0x83:
            return text + "Unknown instruction";
        default:
            return text + "Unknown return code";
        }
    }
    uint32_t Count(size_t at) const { return bytes[at] | static_cast<uint32_t>(bytes[at + 1]) << 8; }
};

// Mostly replies of the asked length with the success status, so that the
// fuzzer reaches the answers; now and then anything at all.
Reply MakeReply(fuzz::Input& in, size_t length)
{
    Reply reply;
    const uint8_t kind = in.Byte();
    if (kind < 12) {
        reply.lost = true;
        return reply;
    }
    if (kind < 24)
        return reply; // succeeds with no bytes
    size_t size = kind < 160 ? length : in.Pick(length + 8);
    reply.bytes = in.Bytes(size);
    if (size > 0 && !in.Chance(48))
        reply.bytes[0] = kSuccess;
    if (in.Chance(24))
        reply.delay = 500 + 25 * uint64_t(in.Byte());
    return reply;
}

// The simulated camera and the driver's camera object open on its pipes,
// made once: the fuzzer runs far more inputs when nothing is attached or
// opened per input.
struct Rig {
    sim::SimBus bus;
    std::shared_ptr<sim::SimCamera> camera;
    CCamera* driver = nullptr;

    Rig()
    {
        emu::SetDeviceBus(&bus);
        sim::CameraDescription d;
        d.type = 1;
        d.id = 7;
        d.serial = "REPLYFUZZ";
        d.vendorId = 0x1278;
        d.productId = 0x0501;
        camera = bus.Attach(d);
        Check(camera != nullptr, "the camera attaches");
        driver = hostsupport::New<CCamera>();
        const std::string path = camera->Path();
        driver->commandPipe = r6odi::OpenDeviceFile((path + "\\0").c_str());
        driver->replyPipe = r6odi::OpenReadPipe((path + "\\1").c_str());
        driver->imagePipe = r6odi::OpenReadPipe((path + "\\2").c_str());
        Check(driver->commandPipe != INVALID_HANDLE_VALUE && driver->replyPipe != INVALID_HANDLE_VALUE,
              "the pipes open");
        driver->replyState = r6odi::PipeState::Behind; // as a camera that opened them does
    }

    // The next request with `code` is answered with `reply`.
    void Script(uint8_t code, const Reply& reply)
    {
        camera->ClearFaults();
        const std::vector<uint8_t> bytes = reply.bytes;
        camera->DefineCommand(code, [bytes](sim::CameraState&, const sim::Bytes&) { return bytes; });
        if (reply.lost)
            camera->InjectReplyFault(sim::ReplyFault::Lost().ForCommand(code));
        else if (reply.delay > 0)
            camera->InjectReplyFault(sim::ReplyFault::Late(reply.delay).ForCommand(code));
        late = reply.delay;
    }

    // A reply that came after the exchange gave up has arrived by the next.
    void LetLateRepliesArrive()
    {
        if (late > 0)
            emu::Advance(late);
        late = 0;
    }

    uint64_t late = 0;

    size_t Writes() const { return camera->CommandWrites().size(); }
};

// An exchange refused because the camera is not connected sends nothing.
void CheckRefused(const Rig& rig, size_t writesBefore, bool succeeded)
{
    Check(!succeeded, "a camera that is not connected fails");
    Check(std::strcmp(rig.driver->lastError, "CCD camera not connected to USB") == 0,
          "and says it is not connected");
    Check(rig.Writes() == writesBefore, "and sends nothing");
}

void CheckExchange(const Rig& rig, const Reply& reply, size_t length, size_t writesBefore, bool succeeded)
{
    if (!rig.driver->IsConnected()) {
        CheckRefused(rig, writesBefore, succeeded);
        return;
    }
    Check(rig.Writes() == writesBefore + 1, "one request per exchange");
    Check(succeeded == reply.Complete(length), "success exactly for a complete reply with status 0x80");
    if (!succeeded)
        Check(reply.Failure(length) == rig.driver->lastError, "a failure names the reply's fault");
}

std::string TextOf(const char* field, size_t most)
{
    return std::string(field, strnlen(field, most));
}

// What the property queries make of the stored block: texts within their
// capacity and the field's first 14 characters, numbers by their rules.
void CheckProperties(CCamera* camera, fuzz::Input& in)
{
    const r6odi::CameraInfo& info = camera->info;
    const char* fields[] = {info.description, nullptr, info.infoText2, info.infoText3};
    const int capacities[] = {0, 1, 13, 14, 15, 31};
    const int capacity = capacities[in.Pick(6)];
    for (uint32_t index = 0; index < 5; ++index) {
        std::unique_ptr<char[]> text(new char[capacity + 1]);
        std::memset(text.get(), 0x5A, capacity + 1);
        const bool known = r6odi::CameraGetString(camera, index, capacity, text.get());
        Check(known == (index < 4), "texts 0..3 exist");
        if (!known) {
            Check(text[0] == 0x5A, "an unknown text leaves the output alone");
            continue;
        }
        std::string expected = index == 1 ? "Kelvarin Instruments" : TextOf(fields[index], 14);
        expected = expected.substr(0, static_cast<size_t>(capacity));
        Check(std::memchr(text.get(), 0, capacity + 1) != nullptr, "a text ends within its capacity");
        Check(expected == text.get(), "a text is its field's first characters");
    }
    const int32_t count = (info.flags & 3) == 3 ? (info.flags >> 8) & 15 : (info.flags & 1) ? 5
                                                                         : (info.flags & 2) ? 6
                                                                                            : 0;
    int32_t value = -12345;
    Check(r6odi::CameraGetInteger(camera, 8, &value) && value == count, "the filter count follows the flags");
    Check(r6odi::CameraGetInteger(camera, 0, &value) && value == static_cast<int32_t>(info.id), "the id");
    // Only a whole crop (no field below 0) narrows the image.
    const bool cropped = camera->cropX >= 0 && camera->cropY >= 0 && camera->cropWidth >= 0 && camera->cropHeight >= 0;
    Check(r6odi::CameraGetInteger(camera, 1, &value) &&
              value == (cropped && camera->cropWidth <= info.width ? camera->cropWidth : info.width),
          "the image width");
    value = -12345;
    Check(!r6odi::CameraGetInteger(camera, 16 + in.Byte(), &value) && value == -12345,
          "an unknown integer leaves its output alone");
    BYTE flag = 7;
    Check(r6odi::CameraGetBoolean(camera, 6, &flag) && flag == ((info.flags & 3) != 0), "a filter wheel");
    Check(r6odi::CameraGetBoolean(camera, 9, &flag) && flag == ((info.flags >> 5) & 1), "preflash");
}

void ReadInfo(Rig& rig, fuzz::Input& in)
{
    const Reply reply = MakeReply(in, 61);
    rig.Script(r6odi::kGetInfo, reply);
    r6odi::CameraInfo before;
    std::memcpy(&before, &rig.driver->info, sizeof before);
    const size_t writes = rig.Writes();
    const bool ok = rig.driver->ReadCameraInfo(&rig.driver->info);
    CheckExchange(rig, reply, 61, writes, ok);
    if (ok)
        Check(std::memcmp(&rig.driver->info, reply.bytes.data() + 1, 60) == 0, "the block is bytes 1..60");
    else
        Check(std::memcmp(&rig.driver->info, &before, sizeof before) == 0, "a failure leaves the block");
    CheckProperties(rig.driver, in);
}

float Temperature(uint32_t count, bool coarse)
{
    const double step = coarse ? 0.07031347f : 0.008789183f;
    return static_cast<float>(count * step - static_cast<double>(85.79743f));
}

void ReadValue(Rig& rig, fuzz::Input& in)
{
    const uint32_t indices[] = {0, 1, 2, 3, 10, 11, 20, 4, 12, 0xFFFFFFFF};
    const uint32_t index = in.Chance(240) ? indices[in.Pick(10)] : in.Long();
    const bool known = index <= 3 || index == 10 || index == 11 || index == 20;
    const Reply reply = MakeReply(in, 3);
    rig.Script(r6odi::kGetValue, reply);
    rig.driver->utilization = static_cast<float>(in.Word()) / 65535.0f;
    const float untouched = 1234.5f;
    float reading = untouched;
    const size_t writes = rig.Writes();
    const bool ok = rig.driver->GetValue(index, &reading);
    if (!known) {
        Check(!ok && std::strcmp(rig.driver->lastError, "Unsupported value index") == 0,
              "an unknown index is refused by name");
        Check(reading == untouched && rig.Writes() == writes, "before anything is sent or stored");
        return;
    }
    if (index == 11) {
        Check(rig.Writes() == writes, "the utilisation is never asked for");
        Check(ok == rig.driver->IsConnected(), "it is there while connected");
        Check(reading == (ok ? rig.driver->utilization : 0.0f), "the stored utilisation, or 0 without a camera");
        return;
    }
    CheckExchange(rig, reply, 3, writes, ok);
    if (!ok) {
        Check(reading == untouched, "a failed reading is not stored");
        return;
    }
    const uint32_t count = reply.Count(1);
    const bool coarse = rig.driver->cameraType == 3;
    float expected = 0.0f;
    if (index == 0 || index == 2)
        expected = Temperature(count, coarse);
    else if (index == 10)
        expected = static_cast<float>(count * 18.125 * (coarse ? 1.0 / 2048 : 1.0 / 16384));
    else if (index == 20)
        expected = static_cast<float>(count / 1000.0);
    Check(reading == expected, "the reading is its count converted");
}

void ReadPower(Rig& rig, fuzz::Input& in)
{
    const Reply reply = MakeReply(in, 5);
    rig.Script(r6odi::kGetPower, reply);
    float power = 99.0f;
    const size_t writes = rig.Writes();
    const bool ok = rig.driver->GetPower(&power);
    CheckExchange(rig, reply, 5, writes, ok);
    if (!ok) {
        Check(power == -1.0f, "a failed power reading is -1");
        return;
    }
    const uint32_t a = reply.Count(1);
    const uint32_t b = reply.Count(3);
    const float expected = a == 0 ? (b == 0 ? -1.0f : 0.0f) : b == 0 ? 1.0f : static_cast<float>(double(a) / (a + b));
    Check(power == expected, "the utilisation is a / (a + b)");
    Check(power == -1.0f || (power >= 0.0f && power <= 1.0f), "a fraction");
}

void Identify(Rig& rig, fuzz::Input& in)
{
    const Reply reply = MakeReply(in, 61);
    rig.Script(r6odi::kGetInfo, reply);
    const size_t writes = rig.Writes();
    const int filesBefore = rig.camera->OpenFiles(sim::Endpoint::Command);
    const std::string path = rig.camera->Path();
    const int32_t id = r6odi::IdentifyDevice(r6odi::kPathCapacity, path.c_str());
    int32_t expected = -1;
    if (reply.Complete(61))
        std::memcpy(&expected, reply.bytes.data() + 1, 4);
    Check(id == expected, "the id is bytes 1..4 of a complete reply, else -1");
    Check(rig.Writes() == writes + 1, "one GetInfo");
    Check(rig.camera->OpenFiles(sim::Endpoint::Command) == filesBefore &&
              rig.camera->OpenFiles(sim::Endpoint::Reply) == filesBefore,
          "identification closes its pipes");
    // The pipes had another user, whose late reply may still come: the
    // camera object takes them up as if it had just opened them.
    rig.driver->replyState = r6odi::PipeState::Behind;
}

// The commands whose reply is the status byte alone.
void ShortCommand(Rig& rig, fuzz::Input& in)
{
    const uint8_t which = in.Byte() % 6;
    const Reply reply = MakeReply(in, 1);
    const int32_t factor = 1 + in.Byte() % 4;
    const uint8_t codes[] = {r6odi::kStartExposure, r6odi::kOpenShutter, r6odi::kSetBinningX,
                             r6odi::kSetReadMode,   r6odi::kSetTemperature, r6odi::kSetFilter};
    rig.Script(codes[which], reply);
    const int32_t binBefore = rig.driver->hwBinX;
    const size_t writes = rig.Writes();
    bool ok = false;
    switch (which) {
    case 0: ok = r6odi::CameraStartExposure(rig.driver); break;
    case 1: ok = rig.driver->OpenShutter(); break;
    case 2: ok = rig.driver->SetBinningX(factor); break;
    case 3: ok = rig.driver->SetReadMode(factor & 1); break;
    case 4: ok = rig.driver->SetTemperature(static_cast<float>(in.Word()) - 32768.0f); break;
    default: ok = r6odi::CameraSetFilter(rig.driver, in.Byte()); break;
    }
    if (which == 2 && rig.driver->cameraType == 3) {
        Check(rig.Writes() == writes && ok == (factor == 1) && rig.driver->hwBinX == 1,
              "a type 3 camera bins nothing and sends nothing");
        return;
    }
    CheckExchange(rig, reply, 1, writes, ok);
    if (which == 2)
        Check(rig.driver->hwBinX == (ok ? factor : binBefore), "a factor is kept only when accepted");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    emu::SetDeviceBus(&rig.bus);
    fuzz::Input in(data, size);
    CCamera* camera = rig.driver;
    camera->cameraType = 1 + in.Pick(3);
    camera->status = in.Chance(16) ? 0 : CCamera::kConnected;
    const bool crop = in.Chance(64);
    for (int32_t* field : {&camera->cropX, &camera->cropY, &camera->cropWidth, &camera->cropHeight})
        *field = crop ? static_cast<int16_t>(in.Word()) : -1;
    const long blocks = emu::Snapshot().heapBlocks;
    const long handles = emu::Snapshot().handles;
    const long reads = emu::Snapshot().pendingIo;
    for (int step = 0; step < 16 && !in.Exhausted(); ++step) {
        switch (in.Pick(5)) {
        case 0: ReadInfo(rig, in); break;
        case 1: ReadValue(rig, in); break;
        case 2: ReadPower(rig, in); break;
        case 3: Identify(rig, in); break;
        default: ShortCommand(rig, in); break;
        }
        rig.LetLateRepliesArrive();
        Check(rig.camera->PendingReplies() <= 1, "replies do not pile up");
    }
    rig.camera->ClearFaults();
    rig.camera->ClearWireLog();
    Check(emu::Snapshot().heapBlocks == blocks && emu::Snapshot().handles == handles &&
              emu::Snapshot().pendingIo == reads,
          "nothing is left allocated, open or being read");
    Check(emu::TakeMisuseReports().empty(), "no misuse of the Win32 API, no hang");
    return 0;
}
