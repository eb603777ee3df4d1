// Loading the x86_64 build of the driver through the real loader.
#include <cctype>
#include <cstring>

#include "contract/harness.h"
#include "wine/wine_program.h"

using namespace wine_tests;

namespace {

bool EndsWithIgnoringCase(const char* text, const char* tail)
{
    size_t n = std::strlen(text);
    size_t m = std::strlen(tail);
    if (m > n)
        return false;
    for (size_t i = 0; i < m; ++i)
        if (std::tolower(static_cast<unsigned char>(text[n - m + i])) !=
            std::tolower(static_cast<unsigned char>(tail[i])))
            return false;
    return true;
}

} // namespace

CONTRACT_TEST(Driver, LoadsAndUnloads)
{
    REQUIRE(DriverPath() != nullptr);
    CHECK(GetModuleHandleA("d_r6odi.dll") == nullptr);

    HMODULE module = LoadLibraryA(DriverPath());
    REQUIRE(module != nullptr);
    CHECK(GetModuleHandleA("d_r6odi.dll") == module);
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    CHECK(length > 0 && length < sizeof path);
    CHECK(EndsWithIgnoringCase(path, "\\d_r6odi.dll"));

    CHECK(FreeLibrary(module));
    CHECK(GetModuleHandleA("d_r6odi.dll") == nullptr);
}

CONTRACT_TEST(Driver, LoadsAgainAfterUnloading)
{
    REQUIRE(DriverPath() != nullptr);
    // The second load runs process attach again: whatever the first
    // detach left registered (a window class under the same instance)
    // must not make it fail.
    for (int round = 0; round < 2; ++round) {
        HMODULE module = LoadLibraryA(DriverPath());
        REQUIRE(module != nullptr);
        CHECK(FreeLibrary(module));
    }
    CHECK(GetModuleHandleA("d_r6odi.dll") == nullptr);
}

CONTRACT_TEST(Driver, ReferencesAreCounted)
{
    REQUIRE(DriverPath() != nullptr);
    HMODULE first = LoadLibraryA(DriverPath());
    HMODULE second = LoadLibraryA(DriverPath());
    REQUIRE(first != nullptr);
    CHECK(second == first);
    CHECK(FreeLibrary(second));
    CHECK(GetModuleHandleA("d_r6odi.dll") == first);
    CHECK(FreeLibrary(first));
    CHECK(GetModuleHandleA("d_r6odi.dll") == nullptr);
}

CONTRACT_TEST(Driver, EntryPointIsNotExported)
{
    REQUIRE(DriverPath() != nullptr);
    HMODULE module = LoadLibraryA(DriverPath());
    REQUIRE(module != nullptr);
    CHECK(GetProcAddress(module, "DllMain") == nullptr);
    CHECK(GetProcAddress(module, "DllMainCRTStartup") == nullptr);
    CHECK(FreeLibrary(module));
}
