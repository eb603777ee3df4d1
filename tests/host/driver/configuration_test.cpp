// The configuration file beside the module: which file is read, and what
// its filters, read limit and crop make of the camera object.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "camera_fixture.h"
#include "config/camera_configuration.h"
#include "config/filter_list_elem.h"

namespace {

using r6odi::CCamera;
using r6odi::CFilterListElem;

struct Filter {
    std::string name;
    uint32_t colour;
    bool operator==(const Filter& other) const { return name == other.name && colour == other.colour; }
};

std::ostream& operator<<(std::ostream& out, const Filter& f)
{
    return out << "{" << f.name << ", 0x" << std::hex << f.colour << std::dec << "}";
}

class ConfigurationTest : public CameraTest {
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        char pattern[] = "/tmp/r6odi-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        emu::SetModulePath(module, folder + "/d_r6odi.dll");
    }
    void TearDown() override
    {
        for (const std::string& file : written)
            std::remove(file.c_str());
        rmdir(folder.c_str());
        CameraTest::TearDown();
    }
    void Write(const std::string& name, const std::string& text)
    {
        std::string path = folder + "/" + name;
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        written.push_back(path);
    }
    CCamera* OpenWithFlags(uint16_t flags, uint32_t id = 17)
    {
        sim::CameraDescription d;
        d.type = 1;
        d.id = id;
        d.flags = flags;
        d.serial = "KS" + std::to_string(id);
        d.description = "CAM-100";
        cameras.push_back(bus.Attach(d));
        CCamera* camera = NewCamera();
        EXPECT_TRUE(camera->Open(static_cast<int32_t>(id)));
        return camera;
    }
    static std::vector<Filter> Filters(CCamera* camera)
    {
        std::vector<Filter> out;
        CListElem* element;
        for (bool more = camera->filters.First(&element); more; more = camera->filters.Next(&element)) {
            auto* filter = static_cast<CFilterListElem*>(element);
            out.push_back({filter->name, filter->colour});
        }
        return out;
    }

    std::string folder;
    std::vector<std::string> written;
    std::vector<std::shared_ptr<sim::SimCamera>> cameras;
};

constexpr uint16_t kFiveFilters = 0x0001;

TEST_F(ConfigurationTest, WithoutAFileTheBuiltInValuesStay)
{
    CCamera* camera = OpenWithFlags(kFiveFilters);
    EXPECT_TRUE(Filters(camera).empty());
    EXPECT_EQ(camera->cropX, -1);
    EXPECT_EQ(camera->cropHeight, -1);
    EXPECT_EQ(camera->singleReadLimit, 0x3000000u);
}

TEST_F(ConfigurationTest, PerCameraFileWinsOverTheSharedOne)
{
    Write("d_r6odi.17.ini", "[driver]\nSingleReadLimitMB=7\n");
    Write("d_r6odi.ini", "[driver]\nSingleReadLimitMB=3\n[crop]\nx=1\ny=1\nw=1\nh=1\n");
    CCamera* own = OpenWithFlags(0, 17);
    EXPECT_EQ(own->singleReadLimit, 7340032u);
    EXPECT_EQ(own->cropX, -1);
    CCamera* other = OpenWithFlags(0, 18);
    EXPECT_EQ(other->singleReadLimit, 3u * 1048576);
    EXPECT_EQ(other->cropX, 1);
}

// A per-camera name cut to fit a path would name another file (here one
// that exists): when it does not fit whole, the shared file is read.
TEST_F(ConfigurationTest, PerCameraNameThatDoesNotFitWholeIsSkipped)
{
    const struct {
        size_t modulePathLength;
        uint32_t limitMB;
    } cases[] = {
        {256, 7}, // ".17.ini" makes a name of exactly 259 characters
        {257, 3}, // 260: cut, it would be "<name>.17.in"
        {259, 3}, // 262: cut, it would be "<name>.17."
    };
    Attach(1, 17, "KS00017");
    for (const auto& c : cases) {
        // folder + "/" + stem + ".dll", of the length asked.
        std::string stem(c.modulePathLength - folder.size() - 1 - 4, 'm');
        emu::SetModulePath(module, folder + "/" + stem + ".dll");
        std::string perCamera = stem + ".17.ini";
        Write(perCamera.substr(0, 259 - folder.size() - 1), "[driver]\nSingleReadLimitMB=7\n");
        Write(stem + ".ini", "[driver]\nSingleReadLimitMB=3\n");
        CCamera* camera = NewCamera();
        EXPECT_TRUE(camera->Open(17));
        EXPECT_EQ(camera->singleReadLimit, c.limitMB * 1048576) << c.modulePathLength;
        camera->CloseDevice();
        std::remove((folder + "/" + perCamera.substr(0, 259 - folder.size() - 1)).c_str());
        std::remove((folder + "/" + stem + ".ini").c_str());
    }
}

TEST_F(ConfigurationTest, FirstFreeCameraLooksForTheFileOfIdMinusOne)
{
    Write("d_r6odi.-1.ini", "[driver]\nSingleReadLimitMB=2\n");
    Attach(1, 40, "KS40");
    CCamera* camera = NewCamera();
    ASSERT_TRUE(camera->Open(-1));
    EXPECT_EQ(camera->singleReadLimit, 2u * 1048576);
}

TEST_F(ConfigurationTest, ReadLimitIsBoundedToOneToFortyEightMegabytes)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"0", 1048576}, {"48", 50331648}, {"100", 50331648}, {"-1", 50331648}, {"7", 7340032}, {"x", 0x3000000}};
    uint32_t id = 100;
    for (const auto& c : cases) {
        Write("d_r6odi." + std::to_string(id) + ".ini", std::string("[driver]\nSingleReadLimitMB=") + c.first + "\n");
        EXPECT_EQ(OpenWithFlags(0, id)->singleReadLimit, c.second) << c.first;
        ++id;
    }
}

TEST_F(ConfigurationTest, ReadLimitFromAnEarlierOpenStaysUnlessTheFileSetsIt)
{
    Write("d_r6odi.17.ini", "[driver]\nSingleReadLimitMB=5\n");
    CCamera* camera = OpenWithFlags(0, 17);
    ASSERT_EQ(camera->singleReadLimit, 5u * 1048576);
    Write("d_r6odi.17.ini", "[crop]\n");
    camera->CloseDevice();
    camera->Open(17);
    EXPECT_EQ(camera->singleReadLimit, 5u * 1048576);
}

TEST_F(ConfigurationTest, FiltersWithColoursAndUndefinedPlaces)
{
    Write("d_r6odi.17.ini", "[filters]\nRed,RED\nGreen, lgreen\nClear\n");
    CCamera* camera = OpenWithFlags(kFiveFilters);
    EXPECT_EQ(Filters(camera), (std::vector<Filter>{{"Red", 0x00007F},
                                                    {"Green", 0x00FF00},
                                                    {"Clear", 0},
                                                    {"Undefined", 0},
                                                    {"Undefined", 0}}));
}

TEST_F(ConfigurationTest, ColourNumbersNamesAndLeadingCommas)
{
    Write("d_r6odi.17.ini", "[filters]\n1=Ha,255\nOIII,16777215\nL,purple\n,RED\n  SII ,  dgray  \n");
    CCamera* camera = OpenWithFlags(kFiveFilters);
    EXPECT_EQ(Filters(camera),
              (std::vector<Filter>{{"Ha", 255}, {"OIII", 16777215}, {"L", 0}, {"SII", 0x7F7F7F}}));
}

TEST_F(ConfigurationTest, OnlyAsManyEntriesAsTheWheelHasPositions)
{
    // The shared file serves every camera below.
    Write("d_r6odi.ini", "[filters]\nA\nB\nC\nD\nE\nF\nG\n");
    std::vector<Filter> five = Filters(OpenWithFlags(kFiveFilters, 17));
    ASSERT_EQ(five.size(), 5u);
    EXPECT_EQ(five.back(), (Filter{"E", 0}));
    EXPECT_TRUE(Filters(OpenWithFlags(0x0000, 18)).empty());
    // Both low bits and 0x7 in bits 8..11: seven positions.
    EXPECT_EQ(Filters(OpenWithFlags(0x0703, 19)).size(), 7u);
    // Both low bits and nothing above: a wheel without positions.
    EXPECT_TRUE(Filters(OpenWithFlags(0x0003, 20)).empty());
}

TEST_F(ConfigurationTest, LongNamesAreCutToThirtyOneCharacters)
{
    std::string longName(40, 'N');
    Write("d_r6odi.17.ini", "[filters]\n" + longName + "\n" + longName + ",RED\n");
    std::vector<Filter> filters = Filters(OpenWithFlags(kFiveFilters));
    ASSERT_GE(filters.size(), 2u);
    EXPECT_EQ(filters[0].name, std::string(31, 'N'));
    EXPECT_EQ(filters[1], (Filter{std::string(31, 'N'), 0x7F}));
}

TEST_F(ConfigurationTest, CropWithDInsteadOfHAndIncompleteCrops)
{
    Write("d_r6odi.17.ini", "[crop]\nx=100\ny=50\nw=200\nd=300\n");
    CCamera* camera = OpenWithFlags(0, 17);
    EXPECT_EQ(camera->cropX, 100);
    EXPECT_EQ(camera->cropY, 50);
    EXPECT_EQ(camera->cropWidth, 200);
    EXPECT_EQ(camera->cropHeight, 300);

    Write("d_r6odi.18.ini", "[crop]\nx=100\ny=50\n");
    CCamera* partial = OpenWithFlags(0, 18);
    EXPECT_EQ(partial->cropX, 100);
    EXPECT_EQ(partial->cropWidth, -1);
    EXPECT_EQ(partial->cropHeight, -1);

    Write("d_r6odi.19.ini", "[crop]\nx=1\ny=2\nw=3\nh=tall\nd=4\n");
    EXPECT_EQ(OpenWithFlags(0, 19)->cropHeight, 4);
}

TEST_F(ConfigurationTest, UntrustedBytesAreHarmless)
{
    std::string junk = "[filters\n\x01\x02\xff\n[filters]\n";
    junk += std::string(5000, 'x') + ",BLUE\n";
    junk.push_back('\0');
    junk += "Red\n[filters]\nsecond\n[driver]\nSingleReadLimitMB=99999999999999\n[crop]\nx=";
    Write("d_r6odi.17.ini", junk);
    CCamera* camera = OpenWithFlags(kFiveFilters);
    std::vector<Filter> filters = Filters(camera);
    ASSERT_EQ(filters.size(), 5u);
    EXPECT_EQ(filters[0].name, std::string(31, 'x'));
    EXPECT_EQ(camera->singleReadLimit, 0x3000000u);
    EXPECT_EQ(camera->cropX, -1);
}

TEST_F(ConfigurationTest, ReopenReplacesTheFilterList)
{
    Write("d_r6odi.17.ini", "[filters]\nA\nB\n");
    CCamera* camera = OpenWithFlags(kFiveFilters);
    ASSERT_EQ(Filters(camera).size(), 5u);
    std::remove((folder + "/d_r6odi.17.ini").c_str());
    camera->CloseDevice();
    camera->Open(17);
    EXPECT_TRUE(Filters(camera).empty());
}

TEST(ColourTest, NamesAreComparedWhole)
{
    EXPECT_EQ(r6odi::ColourOf("LMAGENTA"), 0xFF00FFu);
    EXPECT_EQ(r6odi::ColourOf("WHITE"), 0xFFFFFFu);
    EXPECT_EQ(r6odi::ColourOf("WHIT"), 0u);
    EXPECT_EQ(r6odi::ColourOf("CYANS"), 0u);
    EXPECT_EQ(r6odi::ColourOf("0"), 0u);
    EXPECT_EQ(r6odi::ColourOf(""), 0u);
}

} // namespace
