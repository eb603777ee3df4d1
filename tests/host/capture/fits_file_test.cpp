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
    info.sensorRows = 40;
    return frame;
}

HeaderFacts Facts()
{
    HeaderFacts facts;
    facts.pixelWidthUm = 6.45;
    facts.pixelHeightUm = 5.0;
    facts.focalLengthMm = 530;
    facts.apertureMm = 106;
    facts.object = "M 42";
    facts.telescope = "FSQ-106";
    facts.observer = "A. Observer";
    facts.setupKnown = true;
    facts.readMode = 1;
    facts.preflashSeconds = 0.5;
    facts.windowHeating = true;
    facts.writtenWallMs = 1796083260500.0;
    return facts;
}

std::vector<uint16_t> StoredPixels(fitsfile* file, size_t count, int* status)
{
    std::vector<uint16_t> stored(count);
    int anyNull = 0;
    fits_read_img(file, TUSHORT, 1, (LONGLONG)count, nullptr, stored.data(), &anyNull, status);
    return stored;
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
    frame.info.hasEndTemperature = true;
    frame.info.endTemperature = -10.126;
    std::string error;
    ASSERT_EQ(WriteFits(Path("dark.fits"), frame, Facts(), FitsWriteOptions(), &error), FitsWrite::Done) << error;
    EXPECT_FALSE(fs::exists(Path("dark.fits.part")));

    fitsfile* file = nullptr;
    int status = 0;
    ASSERT_EQ(fits_open_diskfile(&file, Path("dark.fits").c_str(), READONLY, &status), 0);
    const struct {
        const char* key;
        double value;
    } reals[] = {{"BITPIX", 16}, {"NAXIS1", 37}, {"NAXIS2", 23}, {"BZERO", 32768}, {"BSCALE", 1},
                 {"EXPTIME", 12.5}, {"DARKTIME", 12.5}, {"XBINNING", 2}, {"YBINNING", 3}, {"XORGSUBF", 17},
                 // 40 rows, 23 of them from row 4 down: 13 rows lie below.
                 {"YORGSUBF", 13}, {"CCD-TEMP", -9.75}, {"CCDTEND", -10.13}, {"SET-TEMP", -10.0},
                 {"XPIXSZ", 12.9}, {"YPIXSZ", 15.0}, {"PIXSIZE1", 12.9}, {"PIXSIZE2", 15.0}, {"FOCALLEN", 530},
                 {"APTDIA", 106}, {"PREFLASH", 0.5}};
    for (const auto& r : reals)
        EXPECT_DOUBLE_EQ(RealKey(file, r.key), r.value) << r.key;
    const struct {
        const char* key;
        const char* value;
    } texts[] = {{"ROWORDER", "BOTTOM-UP"}, {"DATE-OBS", "2026-12-01T00:00:00.250"}, {"IMAGETYP", "Dark Frame"},
                 {"FILTER", "Ha"}, {"INSTRUME", "KX-814 Mono"}, {"OBJECT", "M 42"}, {"TELESCOP", "FSQ-106"},
                 {"OBSERVER", "A. Observer"}, {"READMODE", "Standard"}, {"WINHEAT", "T"},
                 {"DATE", "2026-12-01T00:01:00.500"}, {"SWCREATE", "r6odi-capture " R6ODI_VERSION}};
    for (const auto& t : texts)
        EXPECT_EQ(StringKey(file, t.key), t.value) << t.key;

    std::vector<uint16_t> stored = StoredPixels(file, frame.pixels.size(), &status);
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

TEST_F(FitsFileTest, EachKindItsTypeAndKeywordsWithoutValueLeftOut)
{
    const struct {
        FrameKind kind;
        bool light;
        const char* type;
        const char* darkTime;
    } kinds[] = {{FrameKind::Light, true, "Light Frame", "<missing>"}, {FrameKind::Light, false, "Dark Frame", "0.000"},
                 {FrameKind::Bias, false, "Bias Frame", "0.000"}, {FrameKind::Flat, true, "Flat Frame", "<missing>"}};
    for (const auto& k : kinds) {
        Frame frame = PatternFrame(4, 4);
        frame.info.exposureSeconds = 0.0;
        frame.info.kind = k.kind;
        frame.info.light = k.light;
        frame.info.filter.clear();
        frame.info.hasSetTemperature = false;
        frame.info.hasCcdTemperature = false; // the reading failed
        std::string error;
        ASSERT_TRUE(WriteFits(Path("frame.fits"), frame, &error)) << error;
        fitsfile* file = nullptr;
        int status = 0;
        fits_open_diskfile(&file, Path("frame.fits").c_str(), READONLY, &status);
        EXPECT_EQ(StringKey(file, "IMAGETYP"), k.type);
        EXPECT_EQ(StringKey(file, "DARKTIME"), k.darkTime) << k.type;
        for (const char* key : {"FILTER", "SET-TEMP", "CCD-TEMP", "CCDTEND", "XPIXSZ", "OBJECT", "READMODE"})
            EXPECT_EQ(StringKey(file, key), "<missing>") << key;
        fits_close_file(file, &status);
    }
}

TEST_F(FitsFileTest, RiceCompressionKeepsEveryPixelAndKeyword)
{
    Frame frame = PatternFrame(301, 203);
    FitsWriteOptions rice;
    rice.rice = true;
    std::string error;
    ASSERT_EQ(WriteFits(Path("dark.fits.fz"), frame, Facts(), rice, &error), FitsWrite::Done) << error;
    ASSERT_EQ(WriteFits(Path("dark.fits"), frame, Facts(), FitsWriteOptions(), &error), FitsWrite::Done) << error;
    EXPECT_LT(fs::file_size(Path("dark.fits.fz")), fs::file_size(Path("dark.fits")));
    fitsfile* file = nullptr;
    int status = 0, type = 0;
    fits_open_diskfile(&file, Path("dark.fits.fz").c_str(), READONLY, &status);
    fits_movabs_hdu(file, 2, &type, &status);
    int compressed = fits_is_compressed_image(file, &status);
    EXPECT_EQ(StringKey(file, "ZCMPTYPE"), "RICE_1");
    EXPECT_EQ(StringKey(file, "IMAGETYP"), "Dark Frame");
    std::vector<uint16_t> stored = StoredPixels(file, frame.pixels.size(), &status);
    fits_close_file(file, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(compressed, 1);
    Frame plain, back;
    ASSERT_TRUE(ReadFits(Path("dark.fits"), &plain, &error)) << error;
    ASSERT_TRUE(ReadFits(Path("dark.fits.fz"), &back, &error)) << error;
    EXPECT_EQ(back.pixels, frame.pixels);
    EXPECT_EQ(plain.pixels, frame.pixels);
    EXPECT_EQ(stored[0], frame.pixels[(size_t)202 * 301]) << "the file's first row is the bottom row";
}

TEST_F(FitsFileTest, AnExistingFileIsReplacedOnlyWhenAllowed)
{
    Frame frame = PatternFrame(8, 8);
    for (bool rice : {false, true}) {
        std::FILE* other = std::fopen(Path("taken.fits").c_str(), "wb");
        std::fputs("someone else's", other);
        std::fclose(other);
        FitsWriteOptions options;
        options.rice = rice;
        std::string error;
        EXPECT_EQ(WriteFits(Path("taken.fits"), frame, Facts(), options, &error), FitsWrite::Exists);
        EXPECT_EQ(error, "'" + Path("taken.fits") + "' exists already");
        EXPECT_EQ(fs::file_size(Path("taken.fits")), 14u) << "the other file is untouched";
        EXPECT_FALSE(fs::exists(Path("taken.fits.part")));
        options.replace = true;
        EXPECT_EQ(WriteFits(Path("taken.fits"), frame, Facts(), options, &error), FitsWrite::Done) << error;
        EXPECT_EQ(fs::file_size(Path("taken.fits")) % 2880, 0u);
    }
}

TEST_F(FitsFileTest, FailedWritesLeaveNoFileBehind)
{
    Frame frame = PatternFrame(8, 8);
    std::string error;
    EXPECT_FALSE(WriteFits(Path("missing/frame.fits"), frame, &error));
    EXPECT_EQ(error, "cannot write " + Path("missing/frame.fits") + ": cannot create " +
                         Path("missing/frame.fits.part") + ": No such file or directory");

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
