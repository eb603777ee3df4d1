// The conformance table of the exported interface: every export called in
// every state the host can bring the driver into, and the answer it must
// give there, with the commands it may send.
//
// Plain data and plain C++: the host suite runs every state against the
// simulated camera, the Windows program runs the states without a device
// through the real loader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/exports/export_table.h"

namespace conformance {

enum State {
    kNoObject,     // loaded; no d_Initialize, or d_Finalize since
    kNotConnected, // d_Initialize, no camera opened
    kIdle,         // camera connected, nothing running
    kExposing,     // a 60 s light exposure running
    kElapsed,      // a 1 s light exposure whose time is up; message 2024 not yet handled
    kUnplugged,    // connected, then the camera was pulled out
    kReplugged,    // pulled out and plugged in again
    kStateCount,
};

// The camera the connected states use, and the description it gives.
constexpr int kSensorWidth = 1024;
constexpr int kSensorHeight = 768;
constexpr uint16_t kFiveFilters = 0x0001;
constexpr char kCameraName[] = "KX-SUITE";
// What a camera object knows of its sensor before it is opened.
constexpr int kUnopenedWidth = 768;
constexpr int kUnopenedHeight = 512;

enum class AnswerKind {
    kNumber,
    kText,
    // d_GetTemperature of a connected camera: the sensor's temperature in
    // thousandths of a degree, to within one count of the camera.
    kSensorMillis,
};

struct Answer {
    AnswerKind kind;
    INT_PTR number;
    const char* text;
    // The code of every command sent, in order, separated by blanks; ""
    // when nothing may reach the camera.
    const char* commands;
};

constexpr Answer N(INT_PTR number, const char* commands = "")
{
    return {AnswerKind::kNumber, number, nullptr, commands};
}
constexpr Answer T(const char* text)
{
    return {AnswerKind::kText, 0, text, ""};
}
constexpr Answer kSensor = {AnswerKind::kSensorMillis, 0, nullptr, "15"};

// Buffer of a whole frame of the connected sensor.
constexpr size_t kBufferPixels = static_cast<size_t>(kSensorWidth) * kSensorHeight;

struct ExportCase {
    const char* id; // a test name
    const char* call;
    INT_PTR (*run)(const ExportTable& e, uint16_t* buffer);
    Answer answers[kStateCount];
};

constexpr int kNoReading = -274000;
constexpr char kWheelName[] = "Kx Camera Internal Filter Wheel";
constexpr char kNoInfo[] = "T: N/A 0%";

// clang-format off
//                                       no object    not conn.         idle               exposing               elapsed                unplugged          replugged
inline const ExportCase kCases[] = {
    {"BinningCount", "d_BinningCount()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_BinningCount(); },
     {N(16),        N(16),            N(16),             N(16),                 N(16),                 N(16),             N(16)}},
    {"BinningName15", "d_BinningName(15)",
     [](const ExportTable& e, uint16_t*) { return e.d_BinningName(15); },
     {T("4 x 3"),   T("4 x 3"),       T("4 x 3"),        T("4 x 3"),            T("4 x 3"),            T("4 x 3"),        T("4 x 3")}},
    {"BinningName16", "d_BinningName(16)",
     [](const ExportTable& e, uint16_t*) { return e.d_BinningName(16); },
     {T("1 x 1"),   T("1 x 1"),       T("1 x 1"),        T("1 x 1"),            T("1 x 1"),            T("1 x 1"),        T("1 x 1")}},
    {"EndDownload", "d_EndDownload(0)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_EndDownload(0); },
     {N(1),         N(1),             N(1),              N(1),                  N(1),                  N(1),              N(1)}},
    {"FilterCount", "d_FilterWheel(0, 0)",
     [](const ExportTable& e, uint16_t*) { return e.d_FilterWheel(0, 0); },
     {N(0),         N(0),             N(5),              N(5),                  N(5),                  N(5),              N(5)}},
    {"WheelName", "d_FilterWheel(1, 0)",
     [](const ExportTable& e, uint16_t*) { return e.d_FilterWheel(1, 0); },
     {T(kWheelName), T(kWheelName),   T(kWheelName),     T(kWheelName),         T(kWheelName),         T(kWheelName),     T(kWheelName)}},
    {"ResetFilter", "d_FilterWheel(2, 0)",
     [](const ExportTable& e, uint16_t*) { return e.d_FilterWheel(2, 0); },
     {N(1),         N(1),             N(1),              N(1),                  N(1),                  N(1),              N(1)}},
    {"FilterNoOp", "d_FilterWheel(3, 0)",
     [](const ExportTable& e, uint16_t*) { return e.d_FilterWheel(3, 0); },
     {N(1),         N(1),             N(1),              N(1),                  N(1),                  N(1),              N(1)}},
    {"SelectFilter3", "d_FilterWheel(4, 3)",
     [](const ExportTable& e, uint16_t*) { return e.d_FilterWheel(4, 3); },
     {N(0),         N(0),             N(1, "14"),        N(1, "14"),            N(1, "14"),            N(0),              N(1, "14")}},
    {"CurrentFilter", "d_FilterWheel(5, 0)",
     [](const ExportTable& e, uint16_t*) { return e.d_FilterWheel(5, 0); },
     {N(0),         N(0),             N(0),              N(0),                  N(0),                  N(0),              N(0)}},
    {"FilterOp6", "d_FilterWheel(6, 0)",
     [](const ExportTable& e, uint16_t*) { return e.d_FilterWheel(6, 0); },
     {N(0),         N(0),             N(0),              N(0),                  N(0),                  N(0),              N(0)}},
    {"Finalize", "d_Finalize()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_Finalize(); },
     {N(1),         N(1),             N(1),              N(1),                  N(1),                  N(1),              N(1)}},
    {"GetHeight", "d_GetHeight(0)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_GetHeight(0); },
     {N(0),         N(kUnopenedHeight), N(kSensorHeight), N(kSensorHeight),     N(kSensorHeight),      N(kSensorHeight),  N(kSensorHeight)}},
    {"GetInfo", "d_GetInfo()",
     [](const ExportTable& e, uint16_t*) { return e.d_GetInfo(); },
     {T(""),        T(kNoInfo),       T(kNoInfo),        T(kNoInfo),            T(kNoInfo),            T(kNoInfo),        T(kNoInfo)}},
    {"GetName", "d_GetName()",
     [](const ExportTable& e, uint16_t*) { return e.d_GetName(); },
     {T(""),        T(""),            T(kCameraName),    T(kCameraName),        T(kCameraName),        T(kCameraName),    T(kCameraName)}},
    {"GetOK", "d_GetOK()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_GetOK(); },
     {N(0),         N(0),             N(1),              N(1),                  N(1),                  N(0),              N(1)}},
    {"GetTemperature", "d_GetTemperature()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_GetTemperature(); },
     {N(kNoReading), N(kNoReading),   kSensor,           kSensor,               kSensor,               N(kNoReading),     kSensor}},
    {"GetWidth", "d_GetWidth(0)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_GetWidth(0); },
     {N(0),         N(kUnopenedWidth), N(kSensorWidth),  N(kSensorWidth),       N(kSensorWidth),       N(kSensorWidth),   N(kSensorWidth)}},
    {"Initialize", "d_Initialize(null)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_Initialize(nullptr); },
     {N(1),         N(1),             N(1),              N(1),                  N(1),                  N(1),              N(1)}},
    {"InterruptExposure", "d_InterruptExposure()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_InterruptExposure(); },
     {N(1),         N(1),             N(1),              N(1, "13"),            N(1, "13"),            N(1),              N(1)}},
    {"IsColor", "d_IsColor()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_IsColor(); },
     {N(0),         N(0),             N(0),              N(0),                  N(0),                  N(0),              N(0)}},
    {"IsExposing", "d_IsExposing()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_IsExposing(); },
     {N(0),         N(0),             N(0),              N(1),                  N(0),                  N(0),              N(0)}},
    {"MoveFrame", "d_MoveFrame(2)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_MoveFrame(2); },
     {N(1),         N(1),             N(1),              N(1),                  N(1),                  N(1),              N(1)}},
    {"ReadImage", "d_ReadImage(buffer)",
     [](const ExportTable& e, uint16_t* buffer) -> INT_PTR { return e.d_ReadImage(buffer); },
     {N(0),         N(0),             N(1, "11"),        N(1, "11"),            N(1, "11"),            N(0),              N(1, "11")}},
    {"ReadImageNoBuffer", "d_ReadImage(null)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_ReadImage(nullptr); },
     {N(0),         N(0),             N(0),              N(0),                  N(0),                  N(0),              N(0)}},
    {"StartDownload", "d_StartDownload()",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_StartDownload(); },
     {N(1),         N(1),             N(1),              N(1, "13"),            N(1, "13"),            N(1),              N(1)}},
    {"StartExposure", "d_StartExposure(60000, 1)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_StartExposure(60000, 1); },
     {N(1),         N(1),             N(1, "4 12"),      N(1, "13 4 12"),       N(1, "13 4 12"),       N(1),              N(1, "4 12")}},
    {"Subframe", "d_Subframe(25000, 25000, 50000, 50000, 1)",
     [](const ExportTable& e, uint16_t*) -> INT_PTR { return e.d_Subframe(25000, 25000, 50000, 50000, 1); },
     {N(1),         N(1),             N(1, "1 2"),       N(1, "1 2"),           N(1, "1 2"),           N(1),              N(1, "1 2")}},
};
// clang-format on

constexpr size_t kCaseCount = sizeof kCases / sizeof kCases[0];

// What differs between the call's result and the answer; empty when the
// result is right. `sensorMillis` is the camera's temperature in thousandths
// of a degree, for kSensorMillis.
inline std::string CheckResult(const Answer& answer, INT_PTR result, double sensorMillis = 0.0)
{
    char message[256];
    switch (answer.kind) {
    case AnswerKind::kNumber:
        if (result == answer.number)
            return {};
        std::snprintf(message, sizeof message, "returned %lld, expected %lld",
                      static_cast<long long>(result), static_cast<long long>(answer.number));
        return message;
    case AnswerKind::kText: {
        const char* text = reinterpret_cast<const char*>(result);
        if (text != nullptr && std::strcmp(text, answer.text) == 0)
            return {};
        std::snprintf(message, sizeof message, "returned \"%s\", expected \"%s\"",
                      text ? text : "(null)", answer.text);
        return message;
    }
    case AnswerKind::kSensorMillis: {
        // One count of a type 1 camera is 8.79 thousandths of a degree.
        double off = static_cast<double>(result) - sensorMillis;
        if (off > -9.0 && off < 9.0)
            return {};
        std::snprintf(message, sizeof message, "returned %lld, the sensor is at %.1f",
                      static_cast<long long>(result), sensorMillis);
        return message;
    }
    }
    return "unknown answer";
}

} // namespace conformance
