// The device path under which SetupAPI reports a simulated camera.
#pragma once

#include <string>

#include "sim/camera_description.h"

namespace sim {

// "\\?\usb#vid_1278&pid_0507#KS00017#{79349dc7-cf70-438e-bc10-f454f02d2067}":
// prefix, vendor and product ids (four lower-case hex digits) and the class
// in lower case, the serial as given. Empty for a camera type without class.
std::string DevicePath(const CameraDescription& camera);

// The same text in upper case, as Windows reports many device events.
std::string UpperCasePath(const std::string& path);

// Device paths are names of the object manager: letter case does not count.
bool SamePath(const std::string& a, const std::string& b);

} // namespace sim
