#include "contract/module/contract_module.h"

namespace {

LONG calls = 0;
LONG detaches = 0;

} // namespace

void* ContractModuleAddress(void)
{
    return reinterpret_cast<void*>(&ContractModuleCalls);
}

BOOL WINAPI ContractModuleEntry(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        ++detaches;
    return TRUE;
}

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return ContractModuleEntry(instance, reason, reserved);
}
#endif

LRESULT CALLBACK ContractModuleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ++calls;
    return DefWindowProcA(window, message, wParam, lParam);
}

void CALLBACK ContractModuleTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    ++calls;
}

DWORD WINAPI ContractModuleThread(LPVOID event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

LONG ContractModuleCalls(void)
{
    return calls;
}

LONG ContractModuleDetaches(void)
{
    return detaches;
}
