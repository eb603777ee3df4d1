#include "driver/module_hold.h"

#include "platform/win32.h"

namespace {

// References taken and not yet given back; only the host's thread changes it.
long heldReferences = 0;
HMODULE heldModule = nullptr;

} // namespace

void HoldModule()
{
    // Taken from an address of the module's own code, the reference is to
    // this module whatever the host called it. Loader lock not held: this
    // runs inside an export, never in DllMain.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&HoldModule),
                            &module))
        return;
    heldModule = module;
    ++heldReferences;
}

void LetGoOfModule()
{
    // Never the last reference: the host that called the export holds one.
    if (heldReferences == 0)
        return;
    --heldReferences;
    FreeLibrary(heldModule);
}
