// The checks behind the capture host's arguments: what passes, and the
// exact message of what does not.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "arguments.h"

namespace capture {
namespace {

struct Case {
    const char* what;
    std::function<std::string()> check;
    const char* message; // "" when the value passes
};

TEST(CaptureArguments, EachCheckPassesGoodValuesAndNamesTheBadOnes)
{
    Subframe s;
    std::vector<int> numbers;
    double w = 0.0, h = 0.0;
    const char* const kPixelMessage = "pixel size '0' is not valid: give the unbinned size in micrometres, 0.5 to 100, "
                                      "as one number or width,height";
    const char* const kSetupMessage = "this build cannot hand --camera, --read-mode, --window-heating, --preflash, "
                                      "--clears, --max-step or --target to the driver: set them in the driver's own "
                                      "setup dialog with --dialog";
    const Case cases[] = {
        {"time 0", [] { return CheckExposureTime(0.0); }, ""},
        {"time 3600", [] { return CheckExposureTime(3600.0); }, ""},
        {"time -1", [] { return CheckExposureTime(-1.0); }, "exposure time -1 s is out of range: give 0 to 3600 seconds"},
        {"time 3600.5", [] { return CheckExposureTime(3600.5); }, "exposure time 3600.5 s is out of range: give 0 to 3600 seconds"},
        {"time nan", [] { return CheckExposureTime(NAN); }, "exposure time nan s is out of range: give 0 to 3600 seconds"},
        {"binning 15", [] { return CheckBinningCode(15); }, ""},
        {"binning 16", [] { return CheckBinningCode(16); },
         "binning code 16 does not exist: codes are 0 to 15 (0 = 1 x 1, 1 = 2 x 2, 2 = 3 x 3, 3 = 4 x 4; see 'info')"},
        {"binning -1", [] { return CheckBinningCode(-1); },
         "binning code -1 does not exist: codes are 0 to 15 (0 = 1 x 1, 1 = 2 x 2, 2 = 3 x 3, 3 = 4 x 4; see 'info')"},
        {"subframe whole", [&] { return ParseSubframe("0,0,100,100", &s); }, ""},
        {"subframe corner", [&] { return ParseSubframe("50,75,50,25", &s); }, ""},
        {"subframe beyond", [&] { return ParseSubframe("50,0,60,100", &s); },
         "subframe '50,0,60,100' reaches beyond the sensor: x + width and y + height must stay within 100 %"},
        {"subframe empty", [&] { return ParseSubframe("0,0,0,10", &s); },
         "subframe '0,0,0,10' is empty: width and height must be above 0 %"},
        {"subframe 101", [&] { return ParseSubframe("0,0,101,10", &s); },
         "subframe '0,0,101,10' is not valid: give x,y,width,height in percent of the sensor, each 0 to 100, x and y from the bottom-left corner"},
        {"subframe three", [&] { return ParseSubframe("1,2,3", &s); },
         "subframe '1,2,3' is not valid: give x,y,width,height in percent of the sensor, each 0 to 100, x and y from the bottom-left corner"},
        {"subframe trailing comma", [&] { return ParseSubframe("0,0,50,50,", &s); },
         "subframe '0,0,50,50,' is not valid: give x,y,width,height in percent of the sensor, each 0 to 100, x and y from the bottom-left corner"},
        {"subframe letters", [&] { return ParseSubframe("0,0,5x,50", &s); },
         "subframe '0,0,5x,50' is not valid: give x,y,width,height in percent of the sensor, each 0 to 100, x and y from the bottom-left corner"},
        {"count 1", [] { return CheckCount(1); }, ""},
        {"count 0", [] { return CheckCount(0); }, "count 0 is out of range: give 1 to 10000 frames"},
        {"count 10001", [] { return CheckCount(10001); }, "count 10001 is out of range: give 1 to 10000 frames"},
        {"temperature -80", [] { return CheckTemperature(-80.0); }, ""},
        {"temperature -81", [] { return CheckTemperature(-81.0); }, "temperature -81 C is out of range: give -80 to 40 C"},
        {"speed 1000", [] { return CheckSpeed(1000.0); }, ""},
        {"speed 0", [] { return CheckSpeed(0.0); }, "speed 0 is out of range: give 0.01 to 100000 (1 = real time)"},
        {"filter 5 of 5", [] { return CheckFilter(5, 5); }, ""},
        {"filter 6 of 5", [] { return CheckFilter(6, 5); }, "filter 6 is not in the wheel: this camera has positions 1 to 5"},
        {"filter without wheel", [] { return CheckFilter(1, 0); }, "filter 1 asked for, but this camera has no filter wheel"},
        {"list", [&] { return ParseNumberList("binning list", "0,1,15", 0, 15, &numbers); }, ""},
        {"list out of range", [&] { return ParseNumberList("binning list", "0,16", 0, 15, &numbers); },
         "binning list '0,16' is not valid: give numbers from 0 to 15, separated by commas"},
        {"list fraction", [&] { return ParseNumberList("filter list", "1.5", 1, 16, &numbers); },
         "filter list '1.5' is not valid: give numbers from 1 to 16, separated by commas"},
        {"pixel size one", [&] { return ParsePixelSize("6.45", &w, &h); }, ""},
        {"pixel size two", [&] { return ParsePixelSize("4,5.5", &w, &h); }, ""},
        {"pixel size zero", [&] { return ParsePixelSize("0", &w, &h); }, kPixelMessage},
        {"pixel size three", [&] { return ParsePixelSize("1,2,3", &w, &h); },
         "pixel size '1,2,3' is not valid: give the unbinned size in micrometres, 0.5 to 100, as one number or "
         "width,height"},
        {"setup on Linux", [] { return UnreachableSetup(true, 3, true, false); }, ""},
        {"Windows, nothing given", [] { return UnreachableSetup(false, 0, false, false); }, ""},
        {"Windows, target with dialog", [] { return UnreachableSetup(false, 0, true, true); }, ""},
        {"Windows, target", [] { return UnreachableSetup(false, 0, true, false); }, kSetupMessage},
        {"Windows, read mode", [] { return UnreachableSetup(false, 1, false, false); }, kSetupMessage},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.check(), c.message) << c.what;
}

TEST(CaptureArguments, SubframeAndListsKeepWhatWasGiven)
{
    Subframe s;
    ASSERT_EQ(ParseSubframe("12.5,25,50,75", &s), "");
    EXPECT_EQ(s.x, 12.5);
    EXPECT_EQ(s.y, 25.0);
    EXPECT_EQ(s.width, 50.0);
    EXPECT_EQ(s.height, 75.0);
    std::vector<int> numbers{9};
    ASSERT_EQ(ParseNumberList("filter list", "3,1,2", 1, 16, &numbers), "");
    EXPECT_EQ(numbers, (std::vector<int>{3, 1, 2}));
    // A refused list leaves the old one.
    ParseNumberList("filter list", "3,x", 1, 16, &numbers);
    EXPECT_EQ(numbers, (std::vector<int>{3, 1, 2}));
}

TEST(CaptureArguments, OutputFolderIsCreatedOrRefusedWithItsReason)
{
    namespace fs = std::filesystem;
    fs::path base = fs::temp_directory_path() / ("capture-folder-" + std::to_string(::getpid()));
    fs::remove_all(base);
    EXPECT_EQ(PrepareFolder((base / "a" / "b").string()), "");
    EXPECT_TRUE(fs::is_directory(base / "a" / "b"));
    EXPECT_TRUE(fs::is_empty(base / "a" / "b")) << "the probe file stays behind";
    std::FILE* file = std::fopen((base / "plain").string().c_str(), "wb");
    std::fclose(file);
    EXPECT_EQ(PrepareFolder((base / "plain").string()), "output folder '" + (base / "plain").string() +
                                                            "' is a file, not a folder");
    // /proc refuses new entries even to root.
    EXPECT_EQ(PrepareFolder("/proc/r6odi-capture").rfind("cannot create output folder '/proc/r6odi-capture': ", 0), 0u);
    EXPECT_EQ(PrepareFolder(""), "no output folder given");
    // The check before the camera is touched creates nothing.
    const struct {
        fs::path folder;
        std::string message;
    } early[] = {{base / "x" / "y", ""},
                 {base / "plain", "output folder '" + (base / "plain").string() + "' is a file, not a folder"},
                 {base / "plain" / "z", "cannot create output folder '" + (base / "plain" / "z").string() + "': '" +
                                            (base / "plain").string() + "' is a file"}};
    for (const auto& c : early)
        EXPECT_EQ(CheckFolder(c.folder.string()), c.message) << c.folder;
    EXPECT_FALSE(fs::exists(base / "x"));
    fs::remove_all(base);
}

} // namespace
} // namespace capture
