// A camera opened on the simulated bus for readouts, and a host buffer
// whose every pixel past the frame can be checked for having been left
// alone.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "host/driver/camera_fixture.h"
#include "protocol/readout_geometry.h"
#include "sim/pixel_source.h"

constexpr uint16_t kUntouched = 0x5A5A;

// Host pixels preset to kUntouched.
class HostBuffer {
public:
    explicit HostBuffer(size_t pixels) : pixels_(pixels, kUntouched) {}

    uint16_t* data() { return pixels_.data(); }
    uint32_t bytes() const { return static_cast<uint32_t>(pixels_.size() * 2); }
    const std::vector<uint16_t>& pixels() const { return pixels_; }

    std::vector<uint16_t> Head(size_t count) const
    {
        return std::vector<uint16_t>(pixels_.begin(), pixels_.begin() + count);
    }
    bool UntouchedFrom(size_t first) const
    {
        for (size_t i = first; i < pixels_.size(); ++i) {
            if (pixels_[i] != kUntouched)
                return false;
        }
        return true;
    }

private:
    std::vector<uint16_t> pixels_;
};

class ReadoutTest : public CameraTest {
protected:
    // Attaches a camera with the given sensor and opens a camera object on
    // it; the wire log starts empty after that.
    r6odi::CCamera* Connect(int type = 1, uint16_t width = 768, uint16_t height = 512)
    {
        sim::CameraDescription d;
        d.type = type;
        d.id = 40 + static_cast<uint32_t>(type);
        d.serial = "KR0004" + std::to_string(type);
        d.description = "KX-READOUT";
        d.width = width;
        d.height = height;
        d.vendorId = 0x1278;
        d.productId = static_cast<uint16_t>(0x0500 + type);
        camera = bus.Attach(d);
        r6odi::CCamera* c = OpenCamera();
        EXPECT_TRUE(c->IsConnected());
        camera->ClearWireLog();
        return c;
    }

    // Read mode and binning, sent as the driver sends them; the log is
    // cleared again afterwards.
    void Configure(r6odi::CCamera* c, int readMode, int binX = 1, int binY = 1)
    {
        ASSERT_TRUE(c->SetReadMode(readMode)) << c->lastError;
        if (binX != 1 || binY != 1) {
            ASSERT_TRUE(r6odi::CameraSetBinning(c, binX, binY)) << c->lastError;
        }
        camera->ClearWireLog();
    }

    sim::CameraState SimState() const
    {
        sim::CameraState copy;
        camera->WithState([&](sim::CameraState& state) {
            copy.description = state.description;
            copy.settings = state.settings;
        });
        return copy;
    }

    Writes FrameRequests() const { return camera->CommandWrites(); }
    bool NothingSent() const { return camera->WireRecords().empty() && camera->ImageReadSizes().empty(); }

    std::shared_ptr<sim::SimCamera> camera;
};

inline r6odi::ReadoutRequest Request(int32_t x, int32_t y, int32_t width, int32_t height, HostBuffer& buffer,
                                     double exposureTime = -1.0, uint8_t frameFlag = 0)
{
    r6odi::ReadoutRequest request;
    request.exposureTime = exposureTime;
    request.frameFlag = frameFlag;
    request.x = x;
    request.y = y;
    request.width = width;
    request.height = height;
    request.bufferSize = buffer.bytes();
    request.buffer = buffer.data();
    return request;
}
