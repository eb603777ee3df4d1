// What the host shows about the camera: its name, a status line with the
// sensor temperature and the cooler's effort, the temperature itself and
// the colour question.
#include <cstdint>

#include "device/camera.h"
#include "state/driver_state.h"
#include "driver/exports.h"
#include "exposure/aa_camera.h"
#include "hostsupport/number.h"
#include "hostsupport/text.h"
#include "protocol/camera_info.h"
#include "protocol/sensor_readings.h"

namespace {

// What the text exports hand out when there is no camera object: a text of
// the module's that no call ever writes, so that nothing is touched.
const char kEmptyText[] = "";

// The result of d_GetTemperature when there is no reading: the no-value
// marker in thousandths of a degree.
constexpr int kNoTemperatureMillis = -274000;

constexpr int kNameCapacity = sizeof(DriverState::nameText) - 1;
constexpr int kInfoCapacity = sizeof(DriverState::infoText) - 1;
constexpr int kTemperatureTextCapacity = 15;
constexpr int kIntegerTextCapacity = 11;

INT_PTR TextResult(const char* text)
{
    return reinterpret_cast<INT_PTR>(text);
}

// value + 0.5 truncated toward zero, as the host's status line and its
// temperature have always been rounded; false when the value has no 32-bit
// integer (a NaN or a reading far beyond any sensor), whose conversion
// would be undefined.
bool RoundedHalfUp(double value, int32_t* out)
{
    double shifted = value + 0.5;
    if (!(shifted > -2147483649.0 && shifted < 2147483648.0))
        return false;
    *out = static_cast<int32_t>(shifted);
    return true;
}

void AppendTemperature(float celsius, char* text)
{
    if (celsius == kNoTemperature) {
        hostsupport::AppendText(kInfoCapacity, text, 0, "N/A ");
        return;
    }
    char number[kTemperatureTextCapacity + 1];
    hostsupport::RealToText(r6odi::RoundToHundredths(celsius), 1, kTemperatureTextCapacity,
                            number);
    hostsupport::AppendText(kInfoCapacity, text, 0, number);
    // The host's code page shows 0xB0 as the degree sign.
    hostsupport::AppendText(kInfoCapacity, text, 0, "\xB0" "C ");
}

void AppendUtilization(float fraction, char* text)
{
    int32_t percent = 0;
    if (!RoundedHalfUp(static_cast<double>(fraction) * 100.0, &percent))
        percent = 0;
    char number[kIntegerTextCapacity + 1];
    hostsupport::IntegerToText(percent, kIntegerTextCapacity, number, 10);
    hostsupport::AppendText(kInfoCapacity, text, 0, number);
    hostsupport::AppendText(kInfoCapacity, text, 0, "%");
}

} // namespace

extern "C" INT_PTR __cdecl d_GetName(void)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return TextResult(kEmptyText);
    hostsupport::CopyText(kNameCapacity, driverState.nameText, r6odi::kCameraTextLength,
                          camera->info.description);
    return TextResult(driverState.nameText);
}

extern "C" INT_PTR __cdecl d_GetInfo(void)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return TextResult(kEmptyText);
    char* text = driverState.infoText;
    hostsupport::CopyText(kInfoCapacity, text, 0, "T: ");
    AppendTemperature(camera->ccdTemperature, text);
    AppendUtilization(camera->smoothedUtilization, text);
    return TextResult(text);
}

extern "C" int __cdecl d_GetTemperature(void)
{
    CAACamera* camera = driverState.camera;
    if (camera == nullptr)
        return kNoTemperatureMillis;
    // A failed reading writes nothing into `celsius`: whatever an earlier
    // call left must not come back as today's temperature.
    float celsius = kNoTemperature;
    if (!r6odi::CameraGetValue(camera, 0, &celsius))
        return kNoTemperatureMillis;
    int32_t millis = 0;
    if (!RoundedHalfUp(static_cast<double>(celsius) * 1000.0, &millis))
        return kNoTemperatureMillis;
    return millis;
}

extern "C" int __cdecl d_IsColor(void)
{
    // Every camera of the family is monochrome as far as the host is told;
    // nothing is asked of the camera.
    return 0;
}
