// Fuzzes the device broadcast records that reach a camera's peer window:
// WM_DEVICECHANGE with any event code and a record of any device type, any
// stated size and any name (the camera's own path in any letter case, cut
// short, run on, without a terminator, another camera's path, noise), sent
// through the peer window and handed to CCamera::HandleMessage directly.
//
// Every record is a heap block of exactly the bytes the system would
// deliver, so AddressSanitizer sees a read past it. The record's stated
// size never exceeds the block: the system does not lie about it. After
// each record the camera is checked against a model of the rule: a removal
// is the camera's own exactly when the name, read no further than its
// terminator, the stated size and 1023 characters and cut at 260, equals
// the device path apart from letter case; it then gives back the device,
// its pipes and its claim. An arrival reconnects a camera that waits; other
// records change nothing.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/camera.h"
#include "driver/module_lifecycle.h"
#include "fuzz/fuzz_input.h"
#include "hostsupport/memory.h"
#include "platform/emul/control.h"
#include "sim/sim_bus.h"

namespace {

using r6odi::CCamera;

void Check(bool holds, const char* what)
{
    if (!holds)
        fuzz::Violated("broadcast_fuzz", what);
}

constexpr size_t kNameOffset = 28;
constexpr size_t kHeaderSize = sizeof(DEV_BROADCAST_HDR);

struct Rig {
    sim::SimBus bus;
    HINSTANCE module = nullptr;
    std::shared_ptr<sim::SimCamera> camera; // the one the driver's camera takes
    std::shared_ptr<sim::SimCamera> other;  // attached after it, never claimed
    CCamera* driver = nullptr;

    Rig()
    {
        emu::SetDeviceBus(&bus);
        module = emu::LoadModule(DllMain, "/opt/fuzz/d_r6odi.dll");
        camera = Attach(1, 11, "busfuzz&0");
        other = Attach(1, 12, "busfuzz&1");
        driver = hostsupport::New<CCamera>();
        driver->requestedId = 11;
        driver->Connect();
        Check(driver->IsConnected() && driver->peerWindow != nullptr, "the camera connects");
    }

    std::shared_ptr<sim::SimCamera> Attach(int type, uint32_t id, const std::string& serial)
    {
        sim::CameraDescription d;
        d.type = type;
        d.id = id;
        d.serial = serial;
        d.vendorId = 0x1278;
        d.productId = 0x0501;
        std::shared_ptr<sim::SimCamera> attached = bus.Attach(d);
        Check(attached != nullptr, "a camera attaches");
        return attached;
    }

    int FilesOpen() const
    {
        int files = 0;
        for (sim::Endpoint e : {sim::Endpoint::Command, sim::Endpoint::Reply, sim::Endpoint::Image,
                                sim::Endpoint::Device})
            files += camera->OpenFiles(e);
        return files;
    }
};

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

std::string RandomCase(const std::string& text, fuzz::Input& in)
{
    std::string out = text;
    const uint8_t mask = in.Byte();
    for (size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        const bool upper = (mask >> (i % 8)) & 1;
        if (c >= 'a' && c <= 'z' && upper)
            out[i] = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z' && !upper)
            out[i] = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The bytes of a record's name area.
std::vector<uint8_t> MakeName(Rig& rig, fuzz::Input& in)
{
    std::string name;
    switch (in.Pick(6)) {
    case 0:
    case 1: name = RandomCase(rig.camera->Path(), in); break;
    case 2: name = rig.camera->Path().substr(0, in.Pick(rig.camera->Path().size() + 1)); break;
    case 3: name = rig.camera->Path() + std::string(1 + in.Pick(300), static_cast<char>(in.Byte())); break;
    case 4: name = rig.other->Path(); break;
    default: {
        std::vector<uint8_t> noise = in.Bytes(in.Word() % 1400);
        name.assign(noise.begin(), noise.end());
    }
    }
    std::vector<uint8_t> bytes(name.begin(), name.end());
    if (!in.Chance(32))
        bytes.push_back(0);
    return bytes;
}

// One record, exactly as large as the bytes the system hands over.
struct Record {
    std::unique_ptr<uint8_t[]> block;
    size_t size = 0;

    DEV_BROADCAST_HDR* Header() const { return reinterpret_cast<DEV_BROADCAST_HDR*>(block.get()); }
    DWORD StatedSize() const { return Header()->dbch_size; }
    DWORD DeviceType() const { return Header()->dbch_devicetype; }
};

Record MakeRecord(Rig& rig, fuzz::Input& in)
{
    const DWORD types[] = {DBT_DEVTYP_DEVICEINTERFACE, DBT_DEVTYP_DEVICEINTERFACE, DBT_DEVTYP_DEVICEINTERFACE,
                           0, 2, 6};
    const DWORD type = in.Chance(250) ? types[in.Pick(6)] : in.Long();
    std::vector<uint8_t> name = MakeName(rig, in);
    Record record;
    record.size = type == DBT_DEVTYP_DEVICEINTERFACE || in.Chance(128) ? kNameOffset + name.size() : kHeaderSize;
    record.block.reset(new uint8_t[record.size]);
    std::memset(record.block.get(), 0, record.size);
    if (record.size > kNameOffset)
        std::memcpy(record.block.get() + kNameOffset, name.data(), name.size());
    DWORD stated = static_cast<DWORD>(record.size);
    if (in.Chance(64))
        stated = static_cast<DWORD>(in.Pick(record.size + 1));
    record.Header()->dbch_size = stated;
    record.Header()->dbch_devicetype = type;
    return record;
}

// Whether the driver must take the record for its own camera's removal.
bool IsOwnRemoval(const Record& record, const CCamera& camera)
{
    if (record.DeviceType() != DBT_DEVTYP_DEVICEINTERFACE || camera.devicePath[0] == '\0')
        return false;
    if (record.StatedSize() < kNameOffset + 1)
        return false;
    const size_t limit = std::min<size_t>(1023, record.StatedSize() - kNameOffset);
    const char* text = reinterpret_cast<const char*>(record.block.get() + kNameOffset);
    std::string name(text, strnlen(text, limit));
    if (name.size() > 260)
        name.resize(260);
    return SameIgnoringCase(name, camera.devicePath);
}

void CheckConnected(Rig& rig, bool connected)
{
    Check(rig.driver->IsConnected() == connected, "connected as the records say");
    Check(rig.FilesOpen() == (connected ? 4 : 0), "the device and its pipes are open exactly while connected");
    // The claim is held exactly while connected: a second claim fails then.
    const std::string path = rig.camera->Path();
    const bool free = r6odi::ClaimDevice(r6odi::kPathCapacity, path.c_str());
    Check(free != connected, "the claim is held exactly while connected");
    if (free)
        r6odi::ReleaseDevice(r6odi::kPathCapacity, path.c_str());
}

void Deliver(Rig& rig, fuzz::Input& in)
{
    const WPARAM events[] = {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEREMOVECOMPLETE,
                             0x0007 /* DBT_DEVNODES_CHANGED */, 0x8001 /* query remove */};
    const WPARAM event = in.Chance(240) ? events[in.Pick(5)] : in.Word();
    const bool noRecord = in.Chance(8);
    Record record;
    if (!noRecord)
        record = MakeRecord(rig, in);
    const LPARAM lParam = noRecord ? 0 : reinterpret_cast<LPARAM>(record.block.get());
    const bool interfaceRecord = !noRecord && record.DeviceType() == DBT_DEVTYP_DEVICEINTERFACE;

    const bool wasConnected = rig.driver->IsConnected();
    const HANDLE device = rig.driver->deviceHandle;
    const bool removal = event == DBT_DEVICEREMOVECOMPLETE && !noRecord && IsOwnRemoval(record, *rig.driver);
    const bool arrival = event == DBT_DEVICEARRIVAL && interfaceRecord;

    if (in.Chance(128)) {
        SendMessageA(rig.driver->peerWindow, WM_DEVICECHANGE, event, lParam);
    } else {
        LRESULT result = 12345;
        const bool handled = rig.driver->HandleMessage(WM_DEVICECHANGE, event, lParam, &result);
        Check(handled == (removal || arrival), "handled exactly for an arrival or the camera's own removal");
        Check(result == 12345, "the result cell is never written");
    }

    if (removal) {
        CheckConnected(rig, false);
        Check(rig.driver->devicePath[0] == '\0', "the path goes with the device");
    } else if (arrival) {
        CheckConnected(rig, true);
        if (wasConnected)
            Check(rig.driver->deviceHandle == device, "an arrival leaves a held device alone");
    } else {
        CheckConnected(rig, wasConnected);
        Check(rig.driver->deviceHandle == device, "any other record changes nothing");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    emu::SetDeviceBus(&rig.bus);
    fuzz::Input in(data, size);
    // Measured while connected; the input then starts connected or waiting.
    rig.driver->OpenDevice();
    const emu::Counts before = emu::Snapshot();
    if (in.Chance(96))
        rig.driver->CloseDevice();
    const int records = 1 + static_cast<int>(in.Pick(6));
    for (int i = 0; i < records; ++i)
        Deliver(rig, in);
    rig.driver->OpenDevice();
    rig.camera->ClearWireLog();
    rig.other->ClearWireLog();
    Check(rig.driver->IsConnected(), "the camera can always be taken again");
    const emu::Counts after = emu::Snapshot();
    Check(after.heapBlocks == before.heapBlocks && after.handles == before.handles,
          "reconnecting leaves nothing behind");
    Check(after.registrations == before.registrations && after.timers == before.timers,
          "no registration or timer piles up");
    return 0;
}
