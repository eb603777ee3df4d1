// A handle's view of a simulated camera: the device or one pipe, bound to
// the attachment in which it was opened. It keeps the camera object alive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/emul/control.h"
#include "sim/endpoint.h"

namespace sim {

class SimCamera;

class SimFile : public emu::DeviceFile {
public:
    SimFile(std::shared_ptr<SimCamera> camera, Endpoint endpoint, uint64_t attachment);
    ~SimFile() override;
    SimFile(const SimFile&) = delete;
    SimFile& operator=(const SimFile&) = delete;

    bool Read(void* buffer, DWORD size, DWORD* done, DWORD* error) override;
    bool Write(const void* buffer, DWORD size, DWORD* done, DWORD* error) override;
    DWORD ReadTimeout() const override;
    // Whether a read finds something now. Asks the clock: for tests only;
    // the emulation asks ReadableAt.
    bool ReadReady() const override;
    uint64_t ReadableAt() const override;
    std::string Identity() const override;

private:
    std::shared_ptr<SimCamera> camera_;
    Endpoint endpoint_;
    uint64_t attachment_;
};

} // namespace sim
