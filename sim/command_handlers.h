// The handlers of the standard command set, one per command code. Each
// takes the whole request; a request too short for its parameters is an
// invalid parameter. The thermal state is brought up to state.now before a
// handler runs.
#pragma once

#include "sim/command_table.h"

namespace sim {

// GetInfo: success, then the camera's 60-byte CameraInfo block.
Bytes AnswerGetInfo(CameraState& state, const Bytes& request);

// Settings: each stored on success, refused with 0x82 when out of range.
Bytes AnswerSetBinningX(CameraState& state, const Bytes& request);
Bytes AnswerSetBinningY(CameraState& state, const Bytes& request);
// 1: double sample (read mode 0); 0: single sample.
Bytes AnswerSetReadMode(CameraState& state, const Bytes& request);
// 0-based position below the filter count.
Bytes AnswerSetFilter(CameraState& state, const Bytes& request);
Bytes AnswerSetWindowHeating(CameraState& state, const Bytes& request);
// Milliseconds (16 bits) and a clear count; 0x83 from a camera without
// preflash.
Bytes AnswerSetPreflash(CameraState& state, const Bytes& request);

// Exposure and shutter.
Bytes AnswerStartExposure(CameraState& state, const Bytes& request);
Bytes AnswerOpenShutter(CameraState& state, const Bytes& request);
Bytes AnswerCloseShutter(CameraState& state, const Bytes& request);
// ReadFrame and ExposeAndReadFrame: nothing on the reply pipe; the frame
// replaces whatever the image pipe still held, as a camera starting a new
// readout abandons the old one.
Bytes AnswerFrameRequest(CameraState& state, const Bytes& request);

// Sensor and cooler.
// Value numbers 0 CCD temperature, 1 heat sink temperature, 2 supply
// voltage, 3 auxiliary voltage in thousandths; others 0x81.
Bytes AnswerGetValue(CameraState& state, const Bytes& request);
// A 16-bit set point count; switches the cooler on.
Bytes AnswerSetTemperature(CameraState& state, const Bytes& request);
// a = duty × 1000, b = 1000 − a; both 0 while the cooler has never run.
Bytes AnswerGetPower(CameraState& state, const Bytes& request);

} // namespace sim
