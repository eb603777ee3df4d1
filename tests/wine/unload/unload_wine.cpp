// A host that unloads the driver without d_Finalize while an exposure runs,
// through the real loader: it loads the DLL, creates the camera object,
// starts a 3-second exposure, frees the library and pumps its messages for
// 30 s, in which the exposure's worker wakes. Had the module gone with the
// FreeLibrary, the worker would wake in unmapped memory and the process
// would die. Then the host loads the DLL again, finds the one still loaded
// (the exposure over), finalizes it, and its last FreeLibrary unloads it.
//
//   unload_wine PATH-OF-d_r6odi.dll
#include <windows.h>

#include <cstdio>

namespace {

typedef int(WINAPI* HwndCall)(HWND);
typedef int(WINAPI* ExposeCall)(DWORD, int);
typedef int(__cdecl* PlainCall)(void);

const DWORD kExposureMs = 3000;
const DWORD kPumpMs = 30000;

int failures = 0;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("  FAILED: %s\n", what);
        ++failures;
    }
}

template <typename Function>
Function Resolve(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The host's own message loop, as an imaging application runs it.
void PumpFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: unload_wine PATH-OF-d_r6odi.dll\n");
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    if (module == nullptr) {
        std::printf("  FAILED: %s does not load\n", argv[1]);
        return 1;
    }
    auto initialize = Resolve<HwndCall>(module, "d_Initialize");
    auto startExposure = Resolve<ExposeCall>(module, "d_StartExposure");
    Check(initialize != nullptr && startExposure != nullptr, "exports found");
    if (failures != 0)
        return 1;
    Check(initialize(nullptr) == 1, "d_Initialize");
    Check(startExposure(kExposureMs, 1) == 1, "d_StartExposure");
    Check(FreeLibrary(module) != FALSE, "FreeLibrary without d_Finalize");
    Check(GetModuleHandleA("d_r6odi.dll") == module, "the camera object keeps the module loaded");
    PumpFor(kPumpMs);
    std::printf("  pumped messages for %lu ms after the unload\n", static_cast<unsigned long>(kPumpMs));

    HMODULE again = LoadLibraryA(argv[1]);
    Check(again == module, "loaded again, the module is the one still in memory");
    if (again != nullptr) {
        auto isExposing = Resolve<PlainCall>(again, "d_IsExposing");
        auto finalize = Resolve<PlainCall>(again, "d_Finalize");
        Check(isExposing != nullptr && isExposing() == 0, "the exposure ended meanwhile");
        Check(finalize != nullptr && finalize() == 1, "d_Finalize");
        Check(FreeLibrary(again) != FALSE, "FreeLibrary after d_Finalize");
    }
    Check(GetModuleHandleA("d_r6odi.dll") == nullptr, "finalized, the last FreeLibrary unloads the module");
    std::printf("unload_wine: %s\n", failures == 0 ? "passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
