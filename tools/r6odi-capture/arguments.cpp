#include "arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <system_error>

#include <filesystem>

namespace capture {
namespace {

std::string Number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

bool ParseNumber(const std::string& text, double* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    double parsed = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno != 0 || !std::isfinite(parsed))
        return false;
    *value = parsed;
    return true;
}

namespace {

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ','))
        parts.push_back(part);
    if (!text.empty() && text.back() == ',')
        parts.push_back("");
    return parts;
}

} // namespace

std::string CheckExposureTime(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0.0 || seconds > kLongestExposure)
        return "exposure time " + Number(seconds) + " s is out of range: give 0 to " +
               Number(kLongestExposure) + " seconds";
    return std::string();
}

std::string CheckBinningCode(int code)
{
    if (code < 0 || code > 15)
        return "binning code " + std::to_string(code) +
               " does not exist: codes are 0 to 15 (0 = 1 x 1, 1 = 2 x 2, 2 = 3 x 3, 3 = 4 x 4; see 'info')";
    return std::string();
}

std::string ParseSubframe(const std::string& text, Subframe* subframe)
{
    const std::string usage = "subframe '" + text + "' is not valid: give x,y,width,height in percent of the sensor, "
                              "each 0 to 100, x and y from the bottom-left corner";
    std::vector<std::string> parts = SplitCommas(text);
    if (parts.size() != 4)
        return usage;
    double values[4];
    for (int i = 0; i < 4; ++i)
        if (!ParseNumber(parts[i], &values[i]) || values[i] < 0.0 || values[i] > 100.0)
            return usage;
    if (values[2] <= 0.0 || values[3] <= 0.0)
        return "subframe '" + text + "' is empty: width and height must be above 0 %";
    if (values[0] + values[2] > 100.0 || values[1] + values[3] > 100.0)
        return "subframe '" + text + "' reaches beyond the sensor: x + width and y + height must stay within 100 %";
    *subframe = Subframe{values[0], values[1], values[2], values[3]};
    return std::string();
}

std::string CheckCount(int count)
{
    if (count < 1 || count > 10000)
        return "count " + std::to_string(count) + " is out of range: give 1 to 10000 frames";
    return std::string();
}

std::string CheckTemperature(double celsius)
{
    if (!std::isfinite(celsius) || celsius < -80.0 || celsius > 40.0)
        return "temperature " + Number(celsius) + " C is out of range: give -80 to 40 C";
    return std::string();
}

std::string CheckSpeed(double factor)
{
    if (!std::isfinite(factor) || factor < 0.01 || factor > 100000.0)
        return "speed " + Number(factor) + " is out of range: give 0.01 to 100000 (1 = real time)";
    return std::string();
}

std::string CheckFolder(const std::string& folder)
{
    namespace fs = std::filesystem;
    if (folder.empty())
        return "no output folder given";
    std::error_code error;
    fs::path path = fs::absolute(fs::path(folder), error);
    if (fs::exists(path, error) && !fs::is_directory(path, error))
        return "output folder '" + folder + "' is a file, not a folder";
    for (fs::path part = path.parent_path(); !part.empty(); part = part.parent_path()) {
        if (fs::exists(part, error)) {
            if (!fs::is_directory(part, error))
                return "cannot create output folder '" + folder + "': '" + part.string() + "' is a file";
            break;
        }
        if (part == part.parent_path())
            break;
    }
    return std::string();
}

std::string PrepareFolder(const std::string& folder)
{
    namespace fs = std::filesystem;
    if (folder.empty())
        return "no output folder given";
    std::error_code error;
    fs::path path(folder);
    if (fs::exists(path, error) && !fs::is_directory(path, error))
        return "output folder '" + folder + "' is a file, not a folder";
    fs::create_directories(path, error);
    if (error)
        return "cannot create output folder '" + folder + "': " + error.message();
    fs::path probe = path / ".r6odi-capture-probe";
    std::FILE* file = std::fopen(probe.string().c_str(), "wb");
    if (file == nullptr)
        return "cannot write into output folder '" + folder + "': " + std::strerror(errno);
    std::fclose(file);
    fs::remove(probe, error);
    return std::string();
}

std::string ParsePixelSize(const std::string& text, double* widthUm, double* heightUm)
{
    std::vector<std::string> parts = SplitCommas(text);
    double values[2] = {0.0, 0.0};
    bool good = parts.size() == 1 || parts.size() == 2;
    for (size_t i = 0; good && i < parts.size(); ++i)
        good = ParseNumber(parts[i], &values[i]) && values[i] >= 0.5 && values[i] <= 100.0;
    if (!good)
        return "pixel size '" + text + "' is not valid: give the unbinned size in micrometres, 0.5 to 100, "
               "as one number or width,height";
    *widthUm = values[0];
    *heightUm = parts.size() == 2 ? values[1] : values[0];
    return std::string();
}

std::string UnreachableSetup(bool reachable, int setupOptionsGiven, bool targetGiven, bool dialog)
{
    if (reachable || dialog || (setupOptionsGiven == 0 && !targetGiven))
        return std::string();
    return "this build cannot hand --camera, --read-mode, --window-heating, --preflash, --clears, --max-step or "
           "--target to the driver: set them in the driver's own setup dialog with --dialog";
}

std::string CheckFilter(int position, int positions)
{
    if (positions <= 0)
        return "filter " + std::to_string(position) + " asked for, but this camera has no filter wheel";
    if (position < 1 || position > positions)
        return "filter " + std::to_string(position) + " is not in the wheel: this camera has positions 1 to " +
               std::to_string(positions);
    return std::string();
}

std::string ParseNumberList(const std::string& what, const std::string& text, int low, int high,
                            std::vector<int>* numbers)
{
    std::vector<int> parsed;
    for (const std::string& part : SplitCommas(text)) {
        double value = 0.0;
        if (!ParseNumber(part, &value) || value != std::floor(value) || value < low || value > high)
            return what + " '" + text + "' is not valid: give numbers from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", separated by commas";
        parsed.push_back((int)value);
    }
    if (parsed.empty())
        return what + " is empty: give at least one number from " + std::to_string(low) + " to " +
               std::to_string(high);
    *numbers = parsed;
    return std::string();
}

} // namespace capture
