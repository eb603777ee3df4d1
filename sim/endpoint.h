// What a handle on the bus is open on: the device itself or one of its
// three pipes, whose numbers are the digits of their names.
#pragma once

namespace sim {

enum class Endpoint { Command = 0, Reply = 1, Image = 2, Device = 3 };

constexpr int kEndpointCount = 4;

inline int PipeNumber(Endpoint endpoint) { return (int)endpoint; }

} // namespace sim
