// The checks behind every argument of the capture host. Each returns an
// empty text when the value is good and otherwise the message the user
// sees, naming the value and what is allowed.
#pragma once

#include <string>
#include <vector>

#include "frame.h"

namespace capture {

using namespace r6host;

constexpr double kLongestExposure = 3600.0; // seconds

// Whole text as one finite number; false for "", "12x", "nan".
bool ParseNumber(const std::string& text, double* value);

std::string CheckExposureTime(double seconds);
std::string CheckBinningCode(int code);
// "x,y,width,height", each 0..100, the window inside the sensor.
std::string ParseSubframe(const std::string& text, Subframe* subframe);
std::string CheckCount(int count);
std::string CheckTemperature(double celsius);
std::string CheckSpeed(double factor);
// Before anything is taken: the folder is not a file, and the nearest part
// of its path that exists is a folder. Nothing is created.
std::string CheckFolder(const std::string& folder);
// Once every argument has been checked: creates the folder when it is
// missing and proves that a file can be written into it.
std::string PrepareFolder(const std::string& folder);
// "6.45" or "6.45,6.45": the unbinned pixel size in micrometres.
std::string ParsePixelSize(const std::string& text, double* widthUm, double* heightUm);
// Where the host cannot hand setup values to the driver (Windows), giving
// them is an error unless the driver's own dialog is asked for.
std::string UnreachableSetup(bool reachable, int setupOptionsGiven, bool targetGiven, bool dialog);
// After the camera is known: a filter position 1..positions.
std::string CheckFilter(int position, int positions);
// "1,2,3" into numbers each within low..high.
std::string ParseNumberList(const std::string& what, const std::string& text, int low, int high,
                            std::vector<int>* numbers);

} // namespace capture
