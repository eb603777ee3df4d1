// libFuzzer target: arbitrary bytes as a configuration file.
//
// Each input is written to a scratch file and read the way a camera's Open
// reads its configuration: the three sections, their entries with the
// driver's capacities and with tiny ones, and the integer keys. The
// sanitizers catch any access outside a buffer; the checks here catch a
// text that overruns its capacity or lacks its NUL, a heap block left
// behind, and number conversions that do not survive a round trip.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hostsupport/number.h"
#include "hostsupport/profile.h"
#include "platform/emul/control.h"

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "profile_fuzz: %s\n", what);
        std::abort();
    }
}

// One scratch file for the whole run, removed at exit.
class ScratchFile {
public:
    ScratchFile()
    {
        path = Folder() + "/profile_fuzz-XXXXXX";
        int descriptor = mkstemp(path.data());
        Require(descriptor >= 0, "cannot create the scratch file");
        close(descriptor);
    }
    ~ScratchFile() { std::remove(path.c_str()); }

    void Fill(const uint8_t* data, size_t size) const
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        Require(file != nullptr, "cannot write the scratch file");
        if (size != 0)
            Require(std::fwrite(data, 1, size, file) == size, "short write to the scratch file");
        std::fclose(file);
    }

    const char* Path() const { return path.c_str(); }

private:
    // Memory-backed when possible: a file per input on a disk costs
    // milliseconds, which would make the fuzzer a hundred times slower.
    static std::string Folder()
    {
        const char* folder = std::getenv("TMPDIR");
        if (folder != nullptr && *folder != '\0')
            return folder;
        if (access("/dev/shm", W_OK) == 0)
            return "/dev/shm";
        return "/tmp";
    }

    std::string path;
};

void RequireText(const char* buffer, int capacity)
{
    Require(std::memchr(buffer, 0, static_cast<size_t>(capacity) + 1) != nullptr,
            "delivered text overruns its capacity");
}

// Buffers of exactly capacity + 1 bytes, so that AddressSanitizer sees a
// write of one byte more.
template <int FirstCapacity, int SecondCapacity>
void WalkEntries(CProfile& profile)
{
    char first[FirstCapacity + 1];
    char second[SecondCapacity + 1];
    int count = 0;
    for (bool more = profile.FirstEntry(first, FirstCapacity, second, SecondCapacity); more;
         more = profile.NextEntry(first, FirstCapacity, second, SecondCapacity)) {
        RequireText(first, FirstCapacity);
        RequireText(second, SecondCapacity);
        Require(++count <= 1 << 20, "more entries than lines");
    }
    Require(!profile.NextEntry(first, FirstCapacity, second, SecondCapacity), "entries after the end");
}

void ReadConfiguration(const char* path)
{
    CProfile profile;
    if (!profile.Load(0, path))
        return;
    for (const char* section : {"filters", "driver", "crop"}) {
        if (!profile.SelectSection(0, section))
            continue;
        WalkEntries<63, 7>(profile);
        WalkEntries<0, 0>(profile);
        WalkEntries<1, 1>(profile);
        WalkEntries<3, 2>(profile);
        for (const char* key : {"SingleReadLimitMB", "x", "y", "w", "h", "d"}) {
            int32_t value = 0x5A5A5A5A;
            if (!profile.ReadInteger(0, key, &value))
                Require(value == 0x5A5A5A5A, "failed ReadInteger changed its value");
        }
    }
}

void ConvertNumbers(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 4096)
        return;
    const char* text = reinterpret_cast<const char*>(data);
    int length = static_cast<int>(size);
    for (int radix : {10, 16}) {
        bool ok = false;
        int32_t value = hostsupport::TextToInteger(length, text, radix, &ok);
        if (!ok)
            continue;
        char written[34];
        hostsupport::IntegerToText(value, 33, written, radix);
        bool again = false;
        Require(hostsupport::TextToInteger(0, written, radix, &again) == value && again,
                "integer text does not read back");
    }
    bool ok = false;
    double real = hostsupport::TextToReal(length, text, &ok);
    if (ok) {
        char written[400];
        hostsupport::RealToText(real, 1, 399, written);
        RequireText(written, 399);
        bool again = false;
        hostsupport::TextToReal(0, written, &again);
        Require(again, "real text does not read back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ScratchFile scratch;
    scratch.Fill(data, size);
    long before = emu::Snapshot().heapBlocks;
    ReadConfiguration(scratch.Path());
    Require(emu::Snapshot().heapBlocks == before, "heap blocks left behind");
    ConvertNumbers(data, size);
    return 0;
}
