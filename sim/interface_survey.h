// What the system's enumeration finds in the cameras' interface classes,
// found the way the driver finds it: SetupAPI for the members, CreateFileA
// for the device and its pipes, and GetInfo over the command and reply pipes
// for each camera's id. Only the Win32 names of platform/win32.h are used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace sim {

struct SurveyedInterface {
    DWORD index = 0;     // member index in the SetupAPI snapshot
    std::string path;    // empty when the member's path could not be read
    int32_t id = -1;     // -1 when the camera could not be identified
    DWORD error = 0;     // the step that failed: its Win32 error; ERROR_INVALID_DATA
                         // when the camera answered GetInfo with a failure
};

struct ClassSurvey {
    int cameraType = 0;
    bool listed = false; // false: SetupDiGetClassDevsA failed with `error`
    DWORD error = 0;
    std::vector<SurveyedInterface> interfaces;
};

ClassSurvey SurveyClass(int cameraType);
// Types 1, 2 and 3, in that order.
std::vector<ClassSurvey> SurveyAllClasses();

// GetInfo over the path's command and reply pipes: the camera's id, or -1
// with the reason in *error.
int32_t IdentifyOverPipes(const std::string& path, DWORD* error);

} // namespace sim
