// Times as the files and protocols of the tools write them.
#pragma once

#include <string>

namespace r6host {

// "2026-12-08T15:04:05.250": the UTC time of `wallMs` (milliseconds since
// 1970), to the millisecond, without a zone suffix (FITS DATE-OBS and
// Alpaca's LastExposureStartTime both want it so).
std::string UtcText(double wallMs);

} // namespace r6host
