// The conformance tables of the exported interface: the states the host can
// bring the driver into, the calls of every export, and for each call in
// each state the answer it must give and the commands it may send.
//
// Plain C++ without GoogleTest or the emulation: the host suite runs every
// state against the simulated camera, the Windows program runs the states
// without a device through the real loader.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "host/exports/export_table.h"

namespace conformance {

enum State {
    kNoObject,     // loaded; no d_Initialize, or d_Finalize since
    kNotConnected, // d_Initialize, no camera opened
    kIdle,         // camera set up, nothing running
    kExposing,     // a 60 s light exposure running
    kElapsed,      // a 1 s light exposure whose time is up; message 2024 not yet handled
    kUnplugged,    // set up, then the camera was pulled out
    kReplugged,    // pulled out and plugged in again
    kStateCount,
};

// The camera of the connected states; what an object knows before opening.
constexpr int kSensorWidth = 1024;
constexpr int kSensorHeight = 768;
constexpr uint16_t kFiveFilters = 0x0001;
constexpr char kCameraName[] = "KX-SUITE";
constexpr int kUnopenedWidth = 768;
constexpr int kUnopenedHeight = 512;
constexpr size_t kBufferPixels = static_cast<size_t>(kSensorWidth) * kSensorHeight;

struct ExportCall {
    const char* id; // for test names
    const char* call;
    INT_PTR (*run)(const ExportTable& e, uint16_t* buffer);
};

#define R6ODI_CALL(id, expression)                                                           \
    {                                                                                        \
        id, #expression, [](const ExportTable& e, uint16_t* buffer) -> INT_PTR {             \
            (void)buffer;                                                                    \
            return expression;                                                               \
        }                                                                                    \
    }

inline const ExportCall kCalls[] = {
    R6ODI_CALL("BinningCount", e.d_BinningCount()),
    R6ODI_CALL("BinningName15", e.d_BinningName(15)),
    R6ODI_CALL("BinningName16", e.d_BinningName(16)),
    R6ODI_CALL("EndDownload", e.d_EndDownload(0)),
    R6ODI_CALL("FilterCount", e.d_FilterWheel(0, 0)),
    R6ODI_CALL("WheelName", e.d_FilterWheel(1, 0)),
    R6ODI_CALL("ResetFilter", e.d_FilterWheel(2, 0)),
    R6ODI_CALL("FilterNoOp", e.d_FilterWheel(3, 0)),
    R6ODI_CALL("SelectFilter3", e.d_FilterWheel(4, 3)),
    R6ODI_CALL("SelectFilter257", e.d_FilterWheel(4, 257)),
    R6ODI_CALL("CurrentFilter", e.d_FilterWheel(5, 0)),
    R6ODI_CALL("FilterOp6", e.d_FilterWheel(6, 0)),
    R6ODI_CALL("Finalize", e.d_Finalize()),
    R6ODI_CALL("GetHeight", e.d_GetHeight(0)),
    R6ODI_CALL("GetInfo", e.d_GetInfo()),
    R6ODI_CALL("GetName", e.d_GetName()),
    R6ODI_CALL("GetOK", e.d_GetOK()),
    R6ODI_CALL("GetTemperature", e.d_GetTemperature()),
    R6ODI_CALL("GetWidth", e.d_GetWidth(0)),
    R6ODI_CALL("Initialize", e.d_Initialize(nullptr)),
    R6ODI_CALL("InterruptExposure", e.d_InterruptExposure()),
    R6ODI_CALL("IsColor", e.d_IsColor()),
    R6ODI_CALL("IsExposing", e.d_IsExposing()),
    R6ODI_CALL("MoveFrame", e.d_MoveFrame(2)),
    R6ODI_CALL("ReadImage", e.d_ReadImage(buffer)),
    R6ODI_CALL("ReadImageNoBuffer", e.d_ReadImage(nullptr)),
    R6ODI_CALL("SetupCCD", e.d_SetupCCD(1)),
    R6ODI_CALL("StartDownload", e.d_StartDownload()),
    R6ODI_CALL("StartExposure", e.d_StartExposure(60000, 1)),
    R6ODI_CALL("Subframe", e.d_Subframe(25000, 25000, 50000, 50000, 1)),
};
#undef R6ODI_CALL

struct Answer {
    enum Kind { kNumber, kText, kSensorMillis } kind;
    INT_PTR number;
    const char* text;
    // The code of every command sent, in order, separated by blanks.
    const char* commands;
};

constexpr Answer N(INT_PTR number, const char* commands = "")
{
    return {Answer::kNumber, number, nullptr, commands};
}
constexpr Answer T(const char* text) { return {Answer::kText, 0, text, ""}; }
// d_GetTemperature of a connected camera: the sensor in thousandths of a
// degree, to within one count of the camera.
constexpr Answer kSensor = {Answer::kSensorMillis, 0, nullptr, "15"};

struct AnswerRow {
    Answer in[kStateCount];
};
constexpr AnswerRow Same(Answer a) { return {{a, a, a, a, a, a, a}}; }

constexpr Answer kNoReading = N(-274000);
constexpr Answer kNoInfo = T("T: N/A 0%");
constexpr Answer kWheel = T("Kx Camera Internal Filter Wheel");
constexpr Answer kName = T(kCameraName);
constexpr Answer kWidth = N(kSensorWidth);
constexpr Answer kHeight = N(kSensorHeight);
// Identify the camera of the id set up last, open it, read mode, window heating.
constexpr Answer kSetup = N(1, "0 0 3 23");
constexpr Answer kFirstSetup = N(1, "0 3 23"); // the first free camera: no identification
// Set up again while exposing: the exposure ended before the device closes.
constexpr Answer kResetup = N(1, "13 0 0 3 23");
constexpr Answer kClosed = N(1, "13");         // the shutter closed
constexpr Answer kStarted = N(1, "4 12");      // exposure started, shutter opened
constexpr Answer kRestarted = N(1, "13 4 12"); // the running exposure ended first

// clang-format off
// One row per call, in the order of kCalls; columns in the order of State:
//  no object    not conn.           idle         exposing     elapsed      unplugged   replugged
inline const AnswerRow kAnswers[] = {
    Same(N(16)),
    Same(T("4 x 3")),
    Same(T("1 x 1")),
    Same(N(1)),
    {{N(0),        N(0),               N(5),        N(5),        N(5),        N(5),       N(5)}},
    Same(kWheel),
    Same(N(1)),
    Same(N(1)),
    {{N(0),        N(0),               N(1, "14"),  N(1, "14"),  N(1, "14"),  N(0),       N(1, "14")}},
    Same(N(0)), // position 256 does not fit the command's byte: nothing is sent
    Same(N(0)),
    Same(N(0)),
    {{N(1),        N(1),               N(1),        kClosed,     kClosed,     N(1),       N(1)}},
    {{N(0),        N(kUnopenedHeight), kHeight,     kHeight,     kHeight,     kHeight,    kHeight}},
    {{T(""),       kNoInfo,            kNoInfo,     kNoInfo,     kNoInfo,     kNoInfo,    kNoInfo}},
    {{T(""),       T(""),              kName,       kName,       kName,       kName,      kName}},
    {{N(0),        N(0),               N(1),        N(1),        N(1),        N(0),       N(1)}},
    {{kNoReading,  kNoReading,         kSensor,     kSensor,     kSensor,     kNoReading, kSensor}},
    {{N(0),        N(kUnopenedWidth),  kWidth,      kWidth,      kWidth,      kWidth,     kWidth}},
    {{N(1),        N(1),               N(1),        kClosed,     kClosed,     N(1),       N(1)}},
    {{N(1),        N(1),               N(1),        kClosed,     kClosed,     N(1),       N(1)}},
    Same(N(0)),
    {{N(0),        N(0),               N(0),        N(1),        N(0),        N(0),       N(0)}},
    Same(N(1)),
    {{N(0),        N(0),               N(1, "11"),  N(1, "11"),  N(1, "11"),  N(0),       N(1, "11")}},
    Same(N(0)),
    {{kFirstSetup, kFirstSetup,        kSetup,      kResetup,    kResetup,    N(1),       kSetup}},
    {{N(1),        N(1),               N(1),        kClosed,     kClosed,     N(1),       N(1)}},
    {{N(1),        N(1),               kStarted,    kRestarted,  kRestarted,  N(1),       kStarted}},
    {{N(1),        N(1),               N(1, "1 2"), N(1, "1 2"), N(1, "1 2"), N(1),       N(1, "1 2")}},
};
// clang-format on

constexpr size_t kCallCount = sizeof kCalls / sizeof kCalls[0];
static_assert(sizeof kAnswers / sizeof kAnswers[0] == kCallCount, "one row of answers per call");

// What differs between a result and its answer; empty when it is right.
inline std::string CheckResult(const Answer& answer, INT_PTR result, double sensorMillis = 0.0)
{
    const char* text = reinterpret_cast<const char*>(result);
    bool right = answer.kind == Answer::kNumber ? result == answer.number
                 : answer.kind == Answer::kText
                     ? text != nullptr && std::strcmp(text, answer.text) == 0
                     // One count of a type 1 camera is 8.79 thousandths of a degree.
                     : result - sensorMillis > -9.0 && result - sensorMillis < 9.0;
    if (right)
        return {};
    char message[200];
    if (answer.kind == Answer::kText)
        std::snprintf(message, sizeof message, "returned \"%s\", expected \"%s\"",
                      text ? text : "(null)", answer.text);
    else
        std::snprintf(message, sizeof message, "returned %lld, expected %.0f",
                      static_cast<long long>(result),
                      answer.kind == Answer::kNumber ? static_cast<double>(answer.number)
                                                     : sensorMillis);
    return message;
}

} // namespace conformance
