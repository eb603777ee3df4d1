// The camera's command set: one handler per command code. A handler gets
// the whole request and the camera's state and produces the reply that the
// camera queues on the reply pipe (empty: the command answers nothing there,
// as the frame requests answer on the image pipe only).
//
// Handlers run under the camera's own lock: they must not call back into
// the camera, the bus or the emulation.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "sim/camera_state.h"

namespace sim {

typedef std::vector<uint8_t> Bytes;
typedef std::function<Bytes(CameraState& state, const Bytes& request)> CommandHandler;

class CommandTable {
public:
    // Adds or replaces the handler of one code.
    void Define(uint8_t code, CommandHandler handler);
    void Remove(uint8_t code);
    bool Defines(uint8_t code) const;

    // The camera's answer to one request: what the code's handler produces,
    // the single status byte "unknown instruction" for a code without one,
    // and nothing for an empty request (there is no code to act on).
    Bytes Answer(CameraState& state, const Bytes& request) const;

private:
    std::map<uint8_t, CommandHandler> handlers_;
};

} // namespace sim
