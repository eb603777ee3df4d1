#include <cctype>
#include <cstring>

#include "platform/emul/core.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"
#include "platform/emul/user_state.h"

using namespace emu;
using namespace emu::user;

namespace {

constexpr unsigned kFirstAtom = 0xC000;
constexpr unsigned kAtomCount = 0x10000 - kFirstAtom;
// The system cursors, IDC_ARROW to IDC_HELP.
constexpr ULONG_PTR kFirstSystemCursor = 32512;
constexpr ULONG_PTR kLastSystemCursor = 32651;

bool SameClassName(const std::string& a, const char* b)
{
    size_t length = std::strlen(b);
    if (a.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Atoms go round the 0xC000..0xFFFF range, so one that was unregistered is
// handed out again only after every other one has been.
ATOM AllocateAtom()
{
    State& s = S();
    for (unsigned tried = 0; tried < kAtomCount; ++tried) {
        ATOM atom = static_cast<ATOM>(s.nextAtom);
        s.nextAtom = s.nextAtom == 0xFFFF ? kFirstAtom : s.nextAtom + 1;
        if (s.classes.find(atom) == s.classes.end())
            return atom;
    }
    return 0;
}

// A class given by name or MAKEINTATOM; with an instance, only that
// instance's class of the name matches.
WindowClass* FindClass(LPCSTR className, HINSTANCE instance, bool anyInstance)
{
    State& s = S();
    if (IS_INTRESOURCE(className)) {
        auto it = s.classes.find(LOWORD(className));
        if (it == s.classes.end())
            return nullptr;
        if (!anyInstance && it->second.instance != instance)
            return nullptr;
        return &it->second;
    }
    WindowClass* other = nullptr;
    for (auto& entry : s.classes) {
        WindowClass& c = entry.second;
        if (!SameClassName(c.name, className))
            continue;
        if (c.instance == instance)
            return &c;
        if (other == nullptr)
            other = &c;
    }
    return anyInstance ? other : nullptr;
}

} // namespace

namespace emu::user {

WindowClass* ClassForWindow(LPCSTR className, HINSTANCE instance)
{
    // An atom names one registration, and a class that is not global serves
    // only the instance that registered it: a window asked for by the atom
    // with another instance finds nothing, as on Windows.
    return FindClass(className, instance, !IS_INTRESOURCE(className));
}

} // namespace emu::user

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc)
{
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpfnWndProc == nullptr ||
        wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName) ||
        wc->cbWndExtra < 0 || wc->cbClsExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    core::Guard g(core::Lock());
    if (FindClass(wc->lpszClassName, wc->hInstance, false) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    ATOM atom = AllocateAtom();
    if (atom == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    WindowClass& c = S().classes[atom];
    c.atom = atom;
    c.name = wc->lpszClassName;
    c.instance = wc->hInstance;
    c.procedure = wc->lpfnWndProc;
    c.windowExtraBytes = wc->cbWndExtra;
    ++core::Counters().classes;
    return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance)
{
    if (className == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    core::Guard g(core::Lock());
    WindowClass* c = FindClass(className, instance, false);
    if (c == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (c->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    S().classes.erase(c->atom);
    --core::Counters().classes;
    return TRUE;
}

DWORD WINAPI GetClassLongA(HWND window, int index)
{
    core::Guard g(core::Lock());
    Window* w = LookUpWindow(window);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index != GCW_ATOM) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return w->classAtom;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    ULONG_PTR id = reinterpret_cast<ULONG_PTR>(name);
    if (instance != nullptr || !IS_INTRESOURCE(name) || id < kFirstSystemCursor ||
        id > kLastSystemCursor) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    // The driver never draws; any distinct non-null value per cursor will do.
    return reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(0x00650000) | id);
}
