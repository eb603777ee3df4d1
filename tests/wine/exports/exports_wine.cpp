// The exported interface through the real loader: loads the x86_64 build of
// d_r6odi.dll with LoadLibraryA, finds its 21 exports by name (and each by
// its ordinal at the same address), and runs the conformance cases of the
// states that need no camera, each in a freshly loaded module.
//
//   exports_wine PATH-OF-d_r6odi.dll
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/exports/export_cases.h"

namespace {

using conformance::ExportTable;

int failures = 0;

void Failure(const char* what, const char* detail)
{
    std::printf("  FAILED: %s: %s\n", what, detail);
    ++failures;
}

// The ordinals are 1..21 in the alphabetical order of the names, which is
// the order of the table.
bool FindExports(HMODULE module, ExportTable* table)
{
    bool all = true;
    WORD ordinal = 0;
#define R6ODI_FIND_EXPORT(name)                                                               \
    {                                                                                         \
        ++ordinal;                                                                            \
        FARPROC byName = GetProcAddress(module, #name);                                       \
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));                \
        if (byName == nullptr) {                                                              \
            Failure(#name, "not exported");                                                   \
            all = false;                                                                      \
        } else if (byOrdinal != byName) {                                                     \
            Failure(#name, "not at its ordinal");                                             \
        }                                                                                     \
        std::memcpy(&table->name, &byName, sizeof byName);                                    \
    }
    R6ODI_EXPORTS(R6ODI_FIND_EXPORT)
#undef R6ODI_FIND_EXPORT
    if (GetProcAddress(module, MAKEINTRESOURCEA(ordinal + 1)) != nullptr)
        Failure("export table", "more than 21 ordinals");
    return all;
}

void RunCase(const char* path, conformance::State state, size_t index)
{
    static const char* const kStateNames[] = {"no object", "not connected"};
    const conformance::ExportCall& c = conformance::kCalls[index];
    char what[160];
    std::snprintf(what, sizeof what, "%s, %s", c.call, kStateNames[state]);
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        Failure(what, "LoadLibraryA failed");
        return;
    }
    ExportTable exports = {};
    if (FindExports(module, &exports)) {
        if (state == conformance::kNotConnected && exports.d_Initialize(nullptr) != 1)
            Failure(what, "d_Initialize did not return 1");
        std::vector<uint16_t> buffer(conformance::kBufferPixels, 0x5A5A);
        const INT_PTR result = c.run(exports, buffer.data());
        const std::string message =
            conformance::CheckResult(conformance::kAnswers[index].in[state], result);
        if (!message.empty())
            Failure(what, message.c_str());
        for (uint16_t pixel : buffer) {
            if (pixel != 0x5A5A) {
                Failure(what, "wrote into the host's buffer");
                break;
            }
        }
        exports.d_Finalize();
        if (exports.d_GetOK() != 0)
            Failure(what, "a camera is still reported after d_Finalize");
    }
    if (!FreeLibrary(module))
        Failure(what, "FreeLibrary failed");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: exports_wine PATH-OF-d_r6odi.dll\n");
        return 2;
    }
    int cases = 0;
    for (conformance::State state : {conformance::kNoObject, conformance::kNotConnected}) {
        for (size_t index = 0; index < conformance::kCallCount; ++index) {
            RunCase(argv[1], state, index);
            ++cases;
        }
    }
    if (GetModuleHandleA("d_r6odi.dll") != nullptr)
        Failure("d_r6odi.dll", "still loaded after the last FreeLibrary");
    std::printf("%d cases, %d failures\n", cases, failures);
    return failures == 0 ? 0 : 1;
}
