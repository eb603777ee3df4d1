// A camera that this process serves over named pipes, found by SetupAPI
// like a real one: a type 1 device interface whose path leads, through a
// symbolic link, to the pipes "r6odi-<tail>" (the device) and "r6odi-<tail>\0",
// "\1" and "\2" (command, reply and image pipe). It answers the driver's
// protocol with a fixed sensor whose every pixel tells where it lies, and it
// notes which process opened each of its files.
//
// The k-th command pipe a process opens is answered on the k-th reply pipe
// that process opens, as the driver opens them in pairs; frames go to the
// process's latest image pipe.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32.h"

namespace wine_tests {

// The pixel at a row counted from the bottom of the sensor and a column.
uint16_t PipeCameraPixel(int bottomRow, int column);

// What the camera calls itself in its GetInfo reply.
constexpr char kPipeCameraName[] = "PIPE-CAM";

class PipeCamera {
public:
    PipeCamera(uint32_t id, uint16_t width, uint16_t height);
    // Stops serving; every process that used the camera must have closed
    // its files by then.
    ~PipeCamera();
    PipeCamera(const PipeCamera&) = delete;
    PipeCamera& operator=(const PipeCamera&) = delete;

    // True when the interface is listed as present and its pipes are served.
    bool Ready() const;
    // The process of every file opened on the camera, in order.
    std::vector<DWORD> Visitors() const;
    // Frames sent so far.
    int Frames() const;

    struct Server;

private:
    std::unique_ptr<Server> server_;
};

} // namespace wine_tests
