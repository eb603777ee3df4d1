// Shared helpers of the simulated-bus tests: a typical camera and short
// ways to talk to a bus through its DeviceBus interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/emul/control.h"
#include "sim/camera_description.h"

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

} // namespace simtest
