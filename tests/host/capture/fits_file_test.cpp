// FITS output read back through cfitsio's own calls (not through the host's
// reader): the layout, the keywords, the row order, and what a failed write
// leaves behind.
#include <gtest/gtest.h>

#include <fitsio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "fits_file.h"

namespace capture {
namespace {

namespace fs = std::filesystem;

// Every value of the range appears, 0 and 65535 included, and each row
// differs from the others, so that a flipped or shifted row shows.
Frame PatternFrame(int width, int height)
{
    Frame frame;
    frame.width = width;
    frame.height = height;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            frame.pixels.push_back((uint16_t)((row * 7919 + column * 263) & 0xFFFF));
    frame.pixels.front() = 0;
    frame.pixels.back() = 65535;
    FrameInfo& info = frame.info;
    info.exposureSeconds = 12.5;
    info.light = false;
    info.startWallMs = 1796083200250.0; // 2026-12-01T00:00:00.250
    info.binX = 2;
    info.binY = 3;
    info.originX = 17;
    info.originY = 4;
    info.hasCcdTemperature = true;
    info.ccdTemperature = -9.754;
    info.hasSetTemperature = true;
    info.setTemperature = -10.0;
    info.filter = "Ha";
    info.instrument = "KX-814 Mono";
    return frame;
}

class FitsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("capture-fits-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const char* name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

std::string StringKey(fitsfile* file, const char* key)
{
    char value[FLEN_VALUE] = {};
    int status = 0;
    fits_read_key(file, TSTRING, key, value, nullptr, &status);
    return status == 0 ? value : "<missing>";
}

double RealKey(fitsfile* file, const char* key)
{
    double value = NAN;
    int status = 0;
    fits_read_key(file, TDOUBLE, key, &value, nullptr, &status);
    return value;
}

TEST_F(FitsFileTest, KeywordsAndPixelsReadBackBottomRowFirst)
{
    Frame frame = PatternFrame(37, 23);
    std::string error;
    ASSERT_TRUE(WriteFits(Path("dark.fits"), frame, &error)) << error;
    EXPECT_FALSE(fs::exists(Path("dark.fits.part")));

    fitsfile* file = nullptr;
    int status = 0;
    ASSERT_EQ(fits_open_diskfile(&file, Path("dark.fits").c_str(), READONLY, &status), 0);
    const struct {
        const char* key;
        double value;
    } reals[] = {{"BITPIX", 16}, {"NAXIS1", 37}, {"NAXIS2", 23}, {"BZERO", 32768}, {"BSCALE", 1},
                 {"EXPTIME", 12.5}, {"XBINNING", 2}, {"YBINNING", 3}, {"XORGSUBF", 17}, {"YORGSUBF", 4},
                 {"CCD-TEMP", -9.75}, {"SET-TEMP", -10.0}};
    for (const auto& r : reals)
        EXPECT_DOUBLE_EQ(RealKey(file, r.key), r.value) << r.key;
    const struct {
        const char* key;
        const char* value;
    } texts[] = {{"ROWORDER", "BOTTOM-UP"}, {"DATE-OBS", "2026-12-01T00:00:00.250"}, {"IMAGETYP", "Dark Frame"},
                 {"FILTER", "Ha"}, {"INSTRUME", "KX-814 Mono"}};
    for (const auto& t : texts)
        EXPECT_EQ(StringKey(file, t.key), t.value) << t.key;

    std::vector<uint16_t> stored(frame.pixels.size());
    int anyNull = 0;
    fits_read_img(file, TUSHORT, 1, (LONGLONG)stored.size(), nullptr, stored.data(), &anyNull, &status);
    fits_close_file(file, &status);
    ASSERT_EQ(status, 0);
    for (int row = 0; row < frame.height; ++row)
        for (int column = 0; column < frame.width; ++column)
            ASSERT_EQ(stored[(size_t)(frame.height - 1 - row) * frame.width + column],
                      frame.pixels[(size_t)row * frame.width + column])
                << "row " << row << " column " << column;

    Frame back;
    ASSERT_TRUE(ReadFits(Path("dark.fits"), &back, &error)) << error;
    EXPECT_EQ(back.pixels, frame.pixels);
}

TEST_F(FitsFileTest, KeywordsWithoutValueAreLeftOut)
{
    Frame frame = PatternFrame(4, 4);
    frame.info.light = true;
    frame.info.filter.clear();
    frame.info.hasSetTemperature = false;
    std::string error;
    ASSERT_TRUE(WriteFits(Path("light.fits"), frame, &error)) << error;
    fitsfile* file = nullptr;
    int status = 0;
    fits_open_diskfile(&file, Path("light.fits").c_str(), READONLY, &status);
    EXPECT_EQ(StringKey(file, "IMAGETYP"), "Light Frame");
    EXPECT_EQ(StringKey(file, "FILTER"), "<missing>");
    EXPECT_EQ(StringKey(file, "SET-TEMP"), "<missing>");
    fits_close_file(file, &status);
}

TEST_F(FitsFileTest, FailedWritesLeaveNoFileBehind)
{
    Frame frame = PatternFrame(8, 8);
    std::string error;
    EXPECT_FALSE(WriteFits(Path("missing/frame.fits"), frame, &error));
    EXPECT_EQ(error.rfind("cannot write " + Path("missing/frame.fits") + ": ", 0), 0u) << error;

    Frame broken = frame;
    broken.pixels.pop_back();
    EXPECT_FALSE(WriteFits(Path("broken.fits"), broken, &error));
    EXPECT_EQ(error, "no frame to write to " + Path("broken.fits"));

    // A name cfitsio would read as an instruction is taken as it is.
    ASSERT_TRUE(WriteFits(Path("odd[1].fits"), frame, &error)) << error;
    EXPECT_TRUE(fs::exists(Path("odd[1].fits")));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST(FitsDate, MillisecondsSince1970AsUtcText)
{
    const struct {
        double ms;
        const char* text;
    } cases[] = {{0.0, "1970-01-01T00:00:00.000"},
                 {1796083200250.0, "2026-12-01T00:00:00.250"},
                 {1796169599999.0, "2026-12-01T23:59:59.999"},
                 {951782400000.0, "2000-02-29T00:00:00.000"}};
    for (const auto& c : cases)
        EXPECT_EQ(FitsDate(c.ms), c.text) << c.ms;
}

} // namespace
} // namespace capture
