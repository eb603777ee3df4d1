// Raw counts from the camera's converters turned into degrees, volts and a
// cooler utilisation, and a set point turned into the camera's count.
//
// The constants are 32-bit floats, as the camera's makers publish them; the
// arithmetic runs in double precision on their exact values and results are
// stored as 32-bit floats.
#include "protocol/sensor_readings.h"

#include <cmath>
#include <cstdint>

#include "device/camera.h"
#include "device/interface_classes.h"
#include "protocol/command_codes.h"
#include "protocol/messages.h"

namespace r6odi {
namespace {

constexpr float kTemperatureStepType3 = 0.07031347f;
constexpr float kTemperatureStep = 0.008789183f;
constexpr float kTemperatureOffset = 85.79743f;
constexpr float kSetPointSlopeType3 = 14.222027f;
constexpr float kSetPointInterceptType3 = 1220.2134f;
constexpr float kSetPointSlope = 113.776215f;
constexpr float kSetPointIntercept = 9761.707f;
constexpr double kVoltageFactor = 18.125;

// What each index asks the camera for, and how its count is read.
enum class Conversion { Temperature, Discarded, Voltage, Thousandths, StoredUtilization };

struct ValueIndex {
    uint32_t index;
    BYTE valueNumber;
    Conversion conversion;
};

const ValueIndex kValueIndices[] = {
    {0, 0, Conversion::Temperature},  {1, 1, Conversion::Discarded},
    {2, 1, Conversion::Temperature},  {3, 1, Conversion::Discarded},
    {10, 2, Conversion::Voltage},     {11, 0, Conversion::StoredUtilization},
    {20, 3, Conversion::Thousandths},
};

const ValueIndex* FindValueIndex(uint32_t index)
{
    for (const ValueIndex& v : kValueIndices)
        if (v.index == index)
            return &v;
    return nullptr;
}

double Convert(Conversion conversion, uint32_t count, int32_t cameraType)
{
    bool coarse = cameraType == kCameraType3;
    switch (conversion) {
    case Conversion::Temperature: {
        double step = coarse ? kTemperatureStepType3 : kTemperatureStep;
        return count * step - static_cast<double>(kTemperatureOffset);
    }
    case Conversion::Voltage:
        return count * kVoltageFactor * (coarse ? 1.0 / 2048 : 1.0 / 16384);
    case Conversion::Thousandths:
        return count / 1000.0;
    default:
        return 0.0;
    }
}

// The count of a set point, kept within what 16 bits can say: a set point
// far below the cooler's range must not wrap into a very hot one.
uint16_t SetPointCount(float celsius, int32_t cameraType)
{
    bool coarse = cameraType == kCameraType3;
    double slope = coarse ? kSetPointSlopeType3 : kSetPointSlope;
    double intercept = coarse ? kSetPointInterceptType3 : kSetPointIntercept;
    double x = celsius * slope + intercept + 0.5;
    // A set point that is not a number gets the lowest count, like one far
    // below the range, and never reaches the conversion.
    if (std::isnan(x) || x <= 0.0)
        return 0;
    if (x >= 65535.0)
        return 0xFFFF;
    return static_cast<uint16_t>(static_cast<int32_t>(x));
}

// A 16-bit count of a reply, low byte first.
uint32_t CountAt(const BYTE* bytes)
{
    return bytes[0] | static_cast<uint32_t>(bytes[1]) << 8;
}

double Utilization(uint32_t a, uint32_t b)
{
    if (a == 0)
        return b == 0 ? -1.0 : 0.0;
    if (b == 0)
        return 1.0;
    int32_t sum = static_cast<int32_t>(a + b);
    return static_cast<double>(a) / sum;
}

} // namespace

bool CCamera::GetValue(uint32_t index, float* reading)
{
    const ValueIndex* value = FindValueIndex(index);
    if (value == nullptr) {
        Fail("Unsupported value index");
        return false;
    }
    if (value->conversion == Conversion::StoredUtilization) {
        if (!IsConnected()) {
            Fail(kNotConnectedMessage);
            *reading = 0.0f;
            return false;
        }
        *reading = utilization;
        return true;
    }
    BYTE buffer[3] = {kGetValue, value->valueNumber};
    if (!Exchange(buffer, 2, 3))
        return false;
    uint32_t count = CountAt(buffer + 1);
    *reading = static_cast<float>(Convert(value->conversion, count, cameraType));
    return true;
}

bool CCamera::SetTemperature(float celsius)
{
    return SendCommandWord(kSetTemperature, SetPointCount(celsius, cameraType));
}

bool CCamera::GetPower(float* utilizationOut)
{
    BYTE buffer[5] = {kGetPower};
    if (!Exchange(buffer, 1, 5)) {
        *utilizationOut = -1.0f;
        return false;
    }
    uint32_t a = CountAt(buffer + 1);
    uint32_t b = CountAt(buffer + 3);
    *utilizationOut = static_cast<float>(Utilization(a, b));
    return true;
}

bool CameraGetValue(CCamera* camera, uint32_t index, float* reading)
{
    if (!RequireConnected(camera))
        return false;
    return camera->GetValue(index, reading);
}

double RoundToHundredths(float value)
{
    double t = value > 0 ? value * 100.0 + 0.5 : value * 100.0 - 0.5;
    // Beyond what 32 bits hold there is nothing left to round, and a value
    // that is not a number must not reach the conversion.
    if (!(t < 2147483647.0 && t > -2147483648.0))
        return value;
    int32_t n = static_cast<int32_t>(t);
    return n / 100.0;
}

} // namespace r6odi
