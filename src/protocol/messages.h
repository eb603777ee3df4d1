#pragma once

namespace r6odi {

// The message of every operation refused because the camera's connected bit
// is clear.
constexpr const char kNotConnectedMessage[] = "CCD camera not connected to USB";

} // namespace r6odi
