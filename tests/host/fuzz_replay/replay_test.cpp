// Every fuzz target, replayed as an ordinary test of the host build (and so
// also of the sanitizer build, which has no libFuzzer): first each input
// kept in tests/fuzz/regressions/<target>/ (inputs that once broke an
// invariant or the sanitizers), then a fixed set of pseudo-random inputs.
//
// R6ODI_FUZZ_REPLAY_INPUTS sets the number of pseudo-random inputs per
// target (default 400). A target that finds a broken invariant aborts with
// its message, which fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

extern "C" int ProfileFuzzOneInput(const uint8_t* data, size_t size);
extern "C" int ReadoutFuzzOneInput(const uint8_t* data, size_t size);
extern "C" int ReplyFuzzOneInput(const uint8_t* data, size_t size);
extern "C" int ImageStreamFuzzOneInput(const uint8_t* data, size_t size);
extern "C" int BroadcastFuzzOneInput(const uint8_t* data, size_t size);
extern "C" int SetupFuzzOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;
typedef int (*Target)(const uint8_t*, size_t);

struct FuzzTarget {
    const char* name;
    Target run;
};

const FuzzTarget kTargets[] = {
    {"profile", ProfileFuzzOneInput},         {"readout", ReadoutFuzzOneInput},
    {"reply", ReplyFuzzOneInput},             {"image_stream", ImageStreamFuzzOneInput},
    {"broadcast", BroadcastFuzzOneInput},     {"setup", SetupFuzzOneInput},
};

// The compiler may name this file relative to the build folder, which is
// where the test program lies.
fs::path RegressionFolder(const char* target)
{
    fs::path source(__FILE__);
    if (source.is_relative())
        source = fs::read_symlink("/proc/self/exe").parent_path() / source;
    return source.parent_path().parent_path().parent_path() / "fuzz" / "regressions" / target;
}

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

int GeneratedInputs()
{
    const char* text = std::getenv("R6ODI_FUZZ_REPLAY_INPUTS");
    return text != nullptr ? std::atoi(text) : 400;
}

void PrintTo(const FuzzTarget& target, std::ostream* out) { *out << target.name; }

class FuzzReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzReplay, KeptAndGeneratedInputsHoldEveryInvariant)
{
    const FuzzTarget& target = GetParam();
    int kept = 0;
    const fs::path folder = RegressionFolder(target.name);
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::vector<uint8_t> input = ReadFile(file);
        EXPECT_EQ(target.run(input.data(), input.size()), 0);
        ++kept;
    }
    // The same inputs on every run, so that a failure here repeats.
    std::mt19937 random(20261208);
    const int generated = GeneratedInputs();
    for (int i = 0; i < generated; ++i) {
        std::vector<uint8_t> input(random() % 600);
        for (uint8_t& byte : input)
            byte = static_cast<uint8_t>(random());
        target.run(input.data(), input.size());
    }
    std::printf("  %s: %d kept inputs, %d generated inputs replayed\n", target.name, kept, generated);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                             std::string name = info.param.name;
                             name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
                             return name;
                         });

} // namespace
