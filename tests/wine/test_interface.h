// A device interface of the type 1 camera class registered in the prefix's
// registry for the life of the object, under an instance id of its own, and
// linked, so that SetupAPI lists it as present. No driver serves it: opening
// its path fails unless a test routes that path somewhere (pipe_camera.h).
#pragma once

#include <string>

#include "platform/win32.h"

namespace wine_tests {

class TestInterface {
public:
    // `reference`, when given, is the interface's reference string: the
    // path then ends with a backslash and that text.
    explicit TestInterface(const char* reference = nullptr);
    ~TestInterface();
    TestInterface(const TestInterface&) = delete;
    TestInterface& operator=(const TestInterface&) = delete;

    bool Present() const { return present_; }
    const char* Path() const { return path_.c_str(); }

private:
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA device_ = {};
    bool registered_ = false;
    bool present_ = false;
    std::string path_;
};

} // namespace wine_tests
