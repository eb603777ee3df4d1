// Shared helpers of the simulated-bus tests: a typical camera and short
// ways to talk to a bus through its DeviceBus interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/emul/control.h"
#include "sim/camera_description.h"
#include "sim/sim_bus.h"

namespace simtest {

typedef std::vector<uint8_t> Bytes;

inline sim::CameraDescription Camera(int type, uint32_t id, const std::string& serial)
{
    sim::CameraDescription camera;
    camera.type = type;
    camera.id = id;
    camera.description = "Test camera";
    camera.vendorId = 0x1278;
    camera.productId = 0x0507;
    camera.serial = serial;
    return camera;
}

struct Opened {
    std::unique_ptr<emu::DeviceFile> file;
    DWORD error = 0;
};

inline Opened Open(emu::DeviceBus& bus, const std::string& name)
{
    Opened opened;
    opened.file = bus.Open(name, &opened.error);
    return opened;
}

struct Transfer {
    bool ok = false;
    DWORD done = 0xDEADBEEF;
    DWORD error = 0;
    Bytes bytes;
};

inline Transfer Write(emu::DeviceFile& file, const Bytes& bytes)
{
    Transfer t;
    t.ok = file.Write(bytes.data(), (DWORD)bytes.size(), &t.done, &t.error);
    return t;
}

inline Transfer Read(emu::DeviceFile& file, DWORD size)
{
    Transfer t;
    t.bytes.assign(size, 0xEE);
    t.ok = file.Read(t.bytes.data(), size, &t.done, &t.error);
    t.bytes.resize(t.ok ? t.done : 0);
    return t;
}

// A camera attached to its own bus with its three pipes open, talked to the
// way the driver talks to it: one write, then one read of the reply length.
class Peer {
public:
    explicit Peer(const sim::CameraDescription& description)
    {
        camera = bus.Attach(description);
        if (!camera)
            return;
        DWORD error = 0;
        command = bus.Open(camera->Path() + "\\0", &error);
        reply = bus.Open(camera->Path() + "\\1", &error);
        image = bus.Open(camera->Path() + "\\2", &error);
    }

    bool Ready() const { return camera && command && reply && image; }

    Bytes Exchange(const Bytes& request, DWORD replySize)
    {
        Write(*command, request);
        return Read(*reply, replySize).bytes;
    }

    // Sends a request that answers on the image pipe only.
    void Send(const Bytes& request) { Write(*command, request); }

    Bytes ReadReply(DWORD size) { return Read(*reply, size).bytes; }
    Bytes ReadImage(DWORD size) { return Read(*image, size).bytes; }

    // The camera's state without its image queue, which frame tests read
    // through the pipe.
    sim::CameraState Snapshot()
    {
        sim::CameraState copy;
        camera->WithState([&](sim::CameraState& state) {
            copy.description = state.description;
            copy.settings = state.settings;
            copy.activity = state.activity;
            copy.thermal = state.thermal;
            copy.now = state.now;
        });
        return copy;
    }

    sim::SimBus bus;
    std::shared_ptr<sim::SimCamera> camera;
    std::unique_ptr<emu::DeviceFile> command, reply, image;
};

} // namespace simtest
