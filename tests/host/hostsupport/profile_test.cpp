#include "hostsupport/profile.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "guarded_buffer.h"
#include "heap_balance.h"
#include "platform/emul/control.h"

using hostsupport_test::GuardedBuffer;
using hostsupport_test::HeapBalance;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>; // (first, second)

class Profile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = ::testing::TempDir() + "hostsupport-profile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }

    void TearDown() override
    {
        profile.Release();
        EXPECT_EQ(heap.Change(), 0) << "heap blocks left behind";
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::string Write(const std::string& content, const std::string& name = "d_r6odi.ini")
    {
        std::string path = folder + "/" + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            std::fwrite(content.data(), 1, content.size(), file);
            std::fclose(file);
        }
        return path;
    }

    void LoadText(const std::string& content) { ASSERT_TRUE(profile.Load(0, Write(content).c_str())); }

    Entries All(int firstCapacity = 63, int secondCapacity = 7)
    {
        Entries entries;
        GuardedBuffer first;
        GuardedBuffer second;
        for (bool more = profile.FirstEntry(first.data(), firstCapacity, second.data(), secondCapacity);
             more; more = profile.NextEntry(first.data(), firstCapacity, second.data(), secondCapacity)) {
            EXPECT_TRUE(first.UntouchedFrom(firstCapacity + 1));
            EXPECT_TRUE(second.UntouchedFrom(secondCapacity + 1));
            entries.emplace_back(first.text(), second.text());
        }
        return entries;
    }

    bool Integer(const char* key, int32_t* value) { return profile.ReadInteger(0, key, value); }

    HeapBalance heap;
    std::string folder;
    CProfile profile;
};

TEST_F(Profile, FilterLinesArriveWholeAsFirstText)
{
    LoadText("[filters]\nRed,RED\nGreen, lgreen\n1=Blue,BLUE\nClear\n");
    ASSERT_TRUE(profile.SelectSection(0, "filters"));
    EXPECT_EQ(All(), (Entries{{"Red,RED", ""}, {"Green, lgreen", ""}, {"Blue,BLUE", "1"}, {"Clear", ""}}));
}

TEST_F(Profile, KeyValueSplitsAtTheFirstEqualsAndTrims)
{
    LoadText("[s]\n  key  =  a = b  \n=value\nempty=\n\tplain text\t\n");
    ASSERT_TRUE(profile.SelectSection(0, "s"));
    EXPECT_EQ(All(), (Entries{{"a = b", "key"}, {"value", ""}, {"", "empty"}, {"plain text", ""}}));
}

TEST_F(Profile, EveryLineEndCountsAndTheLastMayLackOne)
{
    LoadText("[s]\r\none\rtwo\nthree\r\n\r\r\nfour");
    ASSERT_TRUE(profile.SelectSection(0, "s"));
    EXPECT_EQ(All(), (Entries{{"one", ""}, {"two", ""}, {"three", ""}, {"four", ""}}));
}

TEST_F(Profile, CommentsAndBlankLinesAreNotEntries)
{
    LoadText("[s]\n; comment\n  # also\n\n \t \nvalue # kept\nx=;kept\n");
    ASSERT_TRUE(profile.SelectSection(0, "s"));
    EXPECT_EQ(All(), (Entries{{"value # kept", ""}, {";kept", "x"}}));
}

TEST_F(Profile, SectionsMatchIgnoringCaseAndBlanks)
{
    LoadText("outside\n[ Filters ] ; the wheel\nRed\n[driver]\nSingleReadLimitMB=7\n");
    EXPECT_TRUE(profile.SelectSection(0, "FILTERS"));
    EXPECT_EQ(All(), (Entries{{"Red", ""}}));
    EXPECT_TRUE(profile.SelectSection(0, "  filters\t"));
    EXPECT_TRUE(profile.SelectSection(7, "filtersXYZ"));
    EXPECT_TRUE(profile.SelectSection(0, "Driver"));
    EXPECT_EQ(All(), (Entries{{"7", "SingleR"}}));
    EXPECT_FALSE(profile.SelectSection(0, "filter"));
    EXPECT_FALSE(profile.SelectSection(0, "crop"));
}

TEST_F(Profile, MissingSectionDeselects)
{
    LoadText("[driver]\nSingleReadLimitMB=7\n");
    ASSERT_TRUE(profile.SelectSection(0, "driver"));
    EXPECT_FALSE(profile.SelectSection(0, "crop"));
    char first[64] = "untouched";
    char second[8] = "same";
    EXPECT_FALSE(profile.FirstEntry(first, 63, second, 7));
    EXPECT_STREQ(first, "untouched");
    EXPECT_STREQ(second, "same");
    int32_t value = 99;
    EXPECT_FALSE(Integer("SingleReadLimitMB", &value));
    EXPECT_EQ(value, 99);
}

TEST_F(Profile, FirstOfDuplicateSectionsIsSelected)
{
    LoadText("[crop]\nx=1\n[other]\ny=0\n[CROP]\nx=2\ny=3\n");
    ASSERT_TRUE(profile.SelectSection(0, "crop"));
    EXPECT_EQ(All(), (Entries{{"1", "x"}}));
    int32_t y = -1;
    EXPECT_FALSE(Integer("y", &y));
    EXPECT_EQ(y, -1);
}

TEST_F(Profile, HeaderWithoutClosingBracketIsSkipped)
{
    LoadText("[filters]\nRed\n[crop\nx=5\n[driver\n");
    EXPECT_FALSE(profile.SelectSection(0, "crop"));
    EXPECT_FALSE(profile.SelectSection(0, "driver"));
    ASSERT_TRUE(profile.SelectSection(0, "filters"));
    EXPECT_EQ(All(), (Entries{{"Red", ""}, {"5", "x"}}));
}

TEST_F(Profile, EmptySectionEndsAtTheNextHeader)
{
    LoadText("[filters]\n[driver]\nSingleReadLimitMB=7\n");
    ASSERT_TRUE(profile.SelectSection(0, "filters"));
    char first[64];
    char second[8];
    EXPECT_FALSE(profile.FirstEntry(first, 63, second, 7));
    EXPECT_FALSE(profile.NextEntry(first, 63, second, 7));
}

TEST_F(Profile, EntriesEndAndFirstEntryStartsAgain)
{
    LoadText("[s]\na\nb\n[t]\nc\n");
    ASSERT_TRUE(profile.SelectSection(0, "s"));
    char first[64];
    char second[8];
    ASSERT_TRUE(profile.FirstEntry(first, 63, second, 7));
    ASSERT_TRUE(profile.NextEntry(first, 63, second, 7));
    EXPECT_STREQ(first, "b");
    EXPECT_FALSE(profile.NextEntry(first, 63, second, 7));
    EXPECT_FALSE(profile.NextEntry(first, 63, second, 7));
    EXPECT_STREQ(first, "b");
    ASSERT_TRUE(profile.FirstEntry(first, 63, second, 7));
    EXPECT_STREQ(first, "a");
}

TEST_F(Profile, TextsAreCutToTheirCapacities)
{
    std::string longName(70, 'n');
    LoadText("[filters]\n" + longName + "\nLongKeyName=" + std::string(63, 'v') + "\n");
    ASSERT_TRUE(profile.SelectSection(0, "filters"));
    EXPECT_EQ(All(), (Entries{{std::string(63, 'n'), ""}, {std::string(63, 'v'), "LongKey"}}));
    EXPECT_EQ(All(62, 6), (Entries{{std::string(62, 'n'), ""}, {std::string(62, 'v'), "LongKe"}}));
    EXPECT_EQ(All(0, 0), (Entries{{"", ""}, {"", ""}}));

    GuardedBuffer first;
    EXPECT_TRUE(profile.FirstEntry(first.data(), -1, nullptr, 7));
    EXPECT_TRUE(first.UntouchedFrom(0));
}

TEST_F(Profile, NulInsideAValueEndsItsText)
{
    const char content[] = "[s]\nab\0cd\nk\0ey=v\nnext\n";
    LoadText(std::string(content, sizeof content - 1));
    ASSERT_TRUE(profile.SelectSection(0, "s"));
    EXPECT_EQ(All(), (Entries{{"ab", ""}, {"v", "k"}, {"next", ""}}));
}

TEST_F(Profile, ByteOrderMarkIsSkipped)
{
    LoadText("\xEF\xBB\xBF[driver]\nSingleReadLimitMB=5\n");
    ASSERT_TRUE(profile.SelectSection(0, "driver"));
    int32_t value = 0;
    EXPECT_TRUE(Integer("SingleReadLimitMB", &value));
    EXPECT_EQ(value, 5);
}

TEST_F(Profile, ReadIntegerFindsKeyIgnoringCase)
{
    LoadText("[driver]\nSingleReadLimitMB = -1 \n[crop]\nx=10\nY=20\nw = 30\nd=40\nh\n");
    ASSERT_TRUE(profile.SelectSection(0, "driver"));
    int32_t limit = 0;
    EXPECT_TRUE(Integer("singlereadlimitmb", &limit));
    EXPECT_EQ(limit, -1);
    int32_t x = -1;
    EXPECT_FALSE(Integer("x", &x));
    EXPECT_EQ(x, -1);

    ASSERT_TRUE(profile.SelectSection(0, "crop"));
    int32_t y = -1, w = -1, h = -1, d = -1;
    EXPECT_TRUE(Integer("x", &x));
    EXPECT_TRUE(Integer("y", &y));
    EXPECT_TRUE(Integer("W", &w));
    EXPECT_FALSE(Integer("h", &h));
    EXPECT_TRUE(Integer("d", &d));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(d, 40);
    EXPECT_TRUE(profile.ReadInteger(1, "xyz", &x));
    EXPECT_TRUE(profile.ReadInteger(0, " x ", &x));
}

TEST_F(Profile, ReadIntegerLeavesValueWhenNotANumber)
{
    LoadText("[crop]\nx=abc\nx=5\ny=\nw=12 px\nh=99999999999\n");
    ASSERT_TRUE(profile.SelectSection(0, "crop"));
    for (const char* key : {"x", "y", "w", "h", "missing", ""}) {
        int32_t value = 1234;
        EXPECT_FALSE(Integer(key, &value)) << key;
        EXPECT_EQ(value, 1234) << key;
    }
}

TEST_F(Profile, ReadIntegerDoesNotMoveTheEntryCursor)
{
    LoadText("[s]\na=1\nb=2\n");
    ASSERT_TRUE(profile.SelectSection(0, "s"));
    char first[64];
    char second[8];
    ASSERT_TRUE(profile.FirstEntry(first, 63, second, 7));
    int32_t value = 0;
    ASSERT_TRUE(Integer("b", &value));
    ASSERT_TRUE(profile.NextEntry(first, 63, second, 7));
    EXPECT_STREQ(second, "b");
}

TEST_F(Profile, LoadFailsForMissingFileFolderOrBadPath)
{
    EXPECT_FALSE(profile.Load(0, (folder + "/absent.ini").c_str()));
    EXPECT_FALSE(profile.Load(0, folder.c_str()));
    EXPECT_FALSE(profile.Load(0, ""));
    EXPECT_FALSE(profile.Load(0, nullptr));
    EXPECT_FALSE(profile.Load(0, (folder + "/" + std::string(300, 'a')).c_str()));
    EXPECT_FALSE(profile.SelectSection(0, "driver"));
}

TEST_F(Profile, LoadTakesPathLength)
{
    std::string path = Write("[s]\nv\n", "a.ini");
    std::string longer = path + "junk";
    EXPECT_TRUE(profile.Load(static_cast<int>(path.size()), longer.c_str()));
    EXPECT_TRUE(profile.SelectSection(0, "s"));
}

TEST_F(Profile, SecondLoadReplacesTheFirst)
{
    std::string perCamera = Write("[driver]\nSingleReadLimitMB=3\n", "d_r6odi.17.ini");
    std::string shared = Write("[crop]\nx=1\n", "d_r6odi.ini");
    ASSERT_TRUE(profile.Load(0, perCamera.c_str()));
    ASSERT_TRUE(profile.SelectSection(0, "driver"));
    ASSERT_TRUE(profile.Load(0, shared.c_str()));
    EXPECT_EQ(heap.Change(), 1);
    EXPECT_FALSE(profile.SelectSection(0, "driver"));
    EXPECT_TRUE(profile.SelectSection(0, "crop"));
    EXPECT_FALSE(profile.Load(0, (folder + "/absent.ini").c_str()));
    EXPECT_EQ(heap.Change(), 0);
    EXPECT_FALSE(profile.SelectSection(0, "crop"));
}

TEST_F(Profile, EmptyFileLoadsWithoutSections)
{
    LoadText("");
    EXPECT_FALSE(profile.SelectSection(0, ""));
    EXPECT_FALSE(profile.SelectSection(0, "driver"));
}

TEST_F(Profile, LargeFileGrowsItsBuffer)
{
    std::string content = "[filters]\n";
    for (int i = 0; i < 5000; ++i)
        content += std::to_string(i) + "=Filter" + std::to_string(i) + ",RED\n";
    content += "[driver]\nSingleReadLimitMB=48";
    LoadText(content);
    ASSERT_TRUE(profile.SelectSection(0, "filters"));
    Entries entries = All();
    ASSERT_EQ(entries.size(), 5000u);
    EXPECT_EQ(entries[4999], (std::pair<std::string, std::string>{"Filter4999,RED", "4999"}));
    ASSERT_TRUE(profile.SelectSection(0, "driver"));
    int32_t value = 0;
    EXPECT_TRUE(Integer("SingleReadLimitMB", &value));
    EXPECT_EQ(value, 48);
}

TEST_F(Profile, FailedAllocationFailsTheLoad)
{
    std::string path = Write("[s]\nv\n");
    emu::FailAllocations(1);
    EXPECT_FALSE(profile.Load(0, path.c_str()));
    EXPECT_EQ(heap.Change(), 0);
    EXPECT_FALSE(profile.SelectSection(0, "s"));
}

TEST_F(Profile, ArbitraryBytesStayInBounds)
{
    // Mostly the characters the reader reacts to, NUL and a high byte among them.
    const char alphabet[] = "[]=;#\r\n \tabcXYZ019\0\xff";
    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        noise.push_back(alphabet[(state >> 16) % (sizeof alphabet - 1)]);
    }
    LoadText(noise);
    for (const char* section : {"filters", "driver", "crop", "a", ""}) {
        profile.SelectSection(0, section);
        for (int capacity : {0, 1, 7, 63})
            All(capacity, capacity);
        int32_t value = 0;
        profile.ReadInteger(0, "x", &value);
    }
}

TEST_F(Profile, ReleaseFreesAndAllowsAnotherLoad)
{
    LoadText("[s]\nv\n");
    EXPECT_EQ(heap.Change(), 1);
    profile.Release();
    EXPECT_EQ(heap.Change(), 0);
    EXPECT_FALSE(profile.SelectSection(0, "s"));
    profile.Release();
    LoadText("[t]\nw\n");
    EXPECT_TRUE(profile.SelectSection(0, "t"));
}

} // namespace
