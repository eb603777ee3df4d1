#pragma once

#include <cstdint>

class CProfile;

namespace r6odi {

class CCamera;

// Reads the configuration file of a freshly opened camera: the per-camera
// file beside the module (d_r6odi.<id>.ini) or, failing that, the shared one
// (d_r6odi.ini). The filter list is replaced; the read limit and the crop
// change only where the file says so. Nothing here is an error: a missing
// file, section or key leaves the built-in values.
void LoadCameraConfiguration(CCamera* camera, int32_t id);

// The colour of a colour text (a decimal number or one of the sixteen
// names, already trimmed and upper-cased); 0 for anything else.
uint32_t ColourOf(const char* text);

} // namespace r6odi
