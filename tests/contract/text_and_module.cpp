// The ANSI-to-UTF-16 conversion behind the setup dialog's template and the
// module path behind the configuration file's location.
#include <cstring>

#include "contract/harness.h"

CONTRACT_TEST(Text, DegreeSignOfCodePage1252)
{
    WCHAR wide[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    CHECK_EQ(MultiByteToWideChar(1252, 0, "\xB0", 1, wide, 4), 1);
    CHECK_EQ(wide[0], 0x00B0);
    CHECK_EQ(wide[1], 0xFFFF); // an explicit length writes no terminator
}

CONTRACT_TEST(Text, AnsiCodePageKeepsAscii)
{
    const char* text = "K5/K6/K7 CCD Camera";
    WCHAR wide[32];
    int length = static_cast<int>(std::strlen(text));
    REQUIRE(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 32) == length + 1);
    for (int i = 0; i <= length; ++i)
        CHECK_EQ(wide[i], static_cast<unsigned char>(text[i]));
}

CONTRACT_TEST(Text, SizeQueryCountsTheTerminatorOfANulTerminatedSource)
{
    CHECK_EQ(MultiByteToWideChar(1252, 0, "ab\xB0", -1, nullptr, 0), 4);
    CHECK_EQ(MultiByteToWideChar(1252, 0, "ab\xB0", 3, nullptr, 0), 3);
}

CONTRACT_TEST(Text, TooSmallBufferFails)
{
    WCHAR wide[4] = {};
    SetLastError(ERROR_SUCCESS);
    CHECK_EQ(MultiByteToWideChar(1252, 0, "ab\xB0", -1, wide, 3), 0);
    CHECK_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    CHECK_EQ(MultiByteToWideChar(1252, 0, "ab\xB0", -1, wide, 4), 4);
    CHECK_EQ(wide[0], 'a');
    CHECK_EQ(wide[2], 0x00B0);
    CHECK_EQ(wide[3], 0);
}

CONTRACT_TEST(Module, FileNameIsAFullPathWithAnExtension)
{
    char path[MAX_PATH + 1];
    std::memset(path, 'x', sizeof path);
    DWORD length = GetModuleFileNameA(contract::ModuleInstance(), path, sizeof path);
    REQUIRE(length > 0 && length < sizeof path);
    CHECK_EQ(std::strlen(path), length);
    // The configuration file is found by replacing the extension of the
    // file name part, so both must be there.
    const char* name = std::strrchr(path, '\\');
    REQUIRE(name != nullptr);
    CHECK(std::strchr(name, '.') != nullptr);

    char again[MAX_PATH + 1];
    CHECK_EQ(GetModuleFileNameA(contract::ModuleInstance(), again, sizeof again), length);
    CHECK_TEXT(again, path);
}

CONTRACT_TEST(Module, TooSmallBufferGetsAPrefix)
{
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(contract::ModuleInstance(), path, sizeof path);
    REQUIRE(length > 5);

    // The result is the buffer size and the error says it was too small.
    // Whether the last byte then holds a terminator differs (Windows writes
    // one, Wine and Windows XP the next character), so a caller terminates
    // the text itself.
    char small[8];
    std::memset(small, 'x', sizeof small);
    SetLastError(ERROR_SUCCESS);
    CHECK_EQ(GetModuleFileNameA(contract::ModuleInstance(), small, 5), 5u);
    CHECK_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    CHECK(std::strncmp(small, path, 4) == 0);
    CHECK(small[4] == '\0' || small[4] == path[4]);
    CHECK_EQ(small[5], 'x');

    // Room for the characters but not for the terminator is too small too.
    char exact[MAX_PATH + 1];
    std::memset(exact, 'x', sizeof exact);
    SetLastError(ERROR_SUCCESS);
    CHECK_EQ(GetModuleFileNameA(contract::ModuleInstance(), exact, length), length);
    CHECK_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    CHECK(std::strncmp(exact, path, length - 1) == 0);
    CHECK_EQ(exact[length], 'x');

    std::memset(exact, 'x', sizeof exact);
    CHECK_EQ(GetModuleFileNameA(contract::ModuleInstance(), exact, length + 1), length);
    CHECK_TEXT(exact, path);
}

CONTRACT_TEST(Module, NullModuleIsTheProgram)
{
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    REQUIRE(length > 0 && length < sizeof path);
    CHECK_EQ(std::strlen(path), length);
    CHECK(std::strstr(path, "contract_tests") != nullptr);
}
