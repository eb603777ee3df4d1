// The peer window class of the loaded DLL, as the real window manager keeps
// it: registered under the module's instance at load, gone after unload,
// and a new one at every further load.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "contract/harness.h"
#include "wine/wine_program.h"

using namespace wine_tests;

namespace {

const char kPeerClassSuffix[] = "vellK6DriverPeerWindow";

struct ImageRange {
    uintptr_t begin;
    uintptr_t end;
    bool Holds(const void* address) const
    {
        auto at = reinterpret_cast<uintptr_t>(address);
        return at >= begin && at < end;
    }
};

ImageRange ImageOf(HMODULE module)
{
    auto base = reinterpret_cast<uintptr_t>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return {base, base + nt->OptionalHeader.SizeOfImage};
}

// The atoms of the classes registered with `instance`. A lookup by atom also
// finds the global and the system classes; those are found under any other
// instance too (`elsewhere`), the module's own are not.
std::vector<ATOM> ClassesRegisteredWith(HINSTANCE instance, HINSTANCE elsewhere)
{
    std::vector<ATOM> atoms;
    for (unsigned atom = 0xC000; atom <= 0xFFFF; ++atom) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        if (!GetClassInfoExA(instance, MAKEINTATOM(atom), &wc))
            continue;
        WNDCLASSEXA other{};
        other.cbSize = sizeof other;
        if (!GetClassInfoExA(elsewhere, MAKEINTATOM(atom), &other))
            atoms.push_back(static_cast<ATOM>(atom));
    }
    return atoms;
}

bool EndsWith(const char* text, const char* tail)
{
    size_t n = std::strlen(text);
    size_t m = std::strlen(tail);
    return m <= n && std::memcmp(text + n - m, tail, m) == 0;
}

// The part of the class name before the fixed text: the tick count of the
// load in hexadecimal, 1 to 8 digits. Returns false when it is not that.
bool ReadTickPrefix(const char* name, DWORD* tick)
{
    size_t digits = std::strlen(name) - (sizeof kPeerClassSuffix - 1);
    if (digits < 1 || digits > 8)
        return false;
    char prefix[9];
    std::memcpy(prefix, name, digits);
    prefix[digits] = '\0';
    if (std::strspn(prefix, "0123456789abcdefABCDEF") != digits)
        return false;
    *tick = static_cast<DWORD>(std::strtoul(prefix, nullptr, 16));
    return true;
}

// A window of the class, so that the window manager names the class.
// Its procedure, with no owner stored, answers as DefWindowProcA does.
void CheckClassName(HMODULE module, ATOM atom, DWORD loadedFrom, DWORD loadedUntil,
                    char (&name)[64])
{
    name[0] = '\0';
    HWND window = CreateWindowExA(0, MAKEINTATOM(atom), "peer", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, module, nullptr);
    REQUIRE(window != nullptr);
    CHECK(GetClassNameA(window, name, sizeof name) > 0);
    char title[16] = {};
    CHECK_EQ(GetWindowTextA(window, title, sizeof title), 4);
    CHECK_TEXT(title, "peer");
    CHECK(DestroyWindow(window));

    CHECK(EndsWith(name, kPeerClassSuffix));
    DWORD tick = 0;
    CHECK(ReadTickPrefix(name, &tick));
    // Unsigned differences: right across a wrap of the tick count too.
    CHECK(tick - loadedFrom <= loadedUntil - loadedFrom);
    WNDCLASSEXA byName{};
    byName.cbSize = sizeof byName;
    CHECK_EQ(GetClassInfoExA(module, name, &byName), atom);
}

void CheckAttributes(HMODULE module, ATOM atom)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    REQUIRE(GetClassInfoExA(module, MAKEINTATOM(atom), &wc));
    CHECK(ImageOf(module).Holds(reinterpret_cast<const void*>(wc.lpfnWndProc)));
    CHECK_EQ(wc.style, 0u);
    CHECK_EQ(wc.cbClsExtra, 0);
    CHECK_EQ(wc.cbWndExtra, 0);
    CHECK(wc.hIcon == nullptr);
    CHECK(wc.hIconSm == nullptr);
    CHECK(wc.hbrBackground == nullptr);
    CHECK(wc.lpszMenuName == nullptr);
    CHECK(wc.hCursor == LoadCursorA(nullptr, IDC_ARROW));
}

// The one peer class of a freshly loaded module, or 0.
ATOM PeerClassOf(HMODULE module)
{
    std::vector<ATOM> classes = ClassesRegisteredWith(module, GetModuleHandleA(nullptr));
    CHECK_EQ(classes.size(), 1u);
    return classes.size() == 1 ? classes[0] : 0;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

CONTRACT_TEST(Driver, PeerWindowClassLivesAndDiesWithTheModule)
{
    REQUIRE(DriverPath() != nullptr);
    HINSTANCE self = GetModuleHandleA(nullptr);
    for (int round = 0; round < 3; ++round) {
        DWORD loadedFrom = GetTickCount();
        HMODULE module = LoadLibraryA(DriverPath());
        DWORD loadedUntil = GetTickCount();
        REQUIRE(module != nullptr);
        char name[64] = {};
        ATOM atom = PeerClassOf(module);
        if (atom != 0) {
            CheckAttributes(module, atom);
            CheckClassName(module, atom, loadedFrom, loadedUntil, name);
        }
        REQUIRE(FreeLibrary(module));
        REQUIRE(GetModuleHandleA("d_r6odi.dll") == nullptr);

        // Unloading does not take a class with it: the module must have.
        CHECK(ClassesRegisteredWith(module, self).empty());
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        if (name[0] != '\0')
            CHECK(!GetClassInfoExA(module, name, &wc));
    }
}

CONTRACT_TEST(Driver, PeerWindowProcedureIgnoresWindowsOfOtherClasses)
{
    REQUIRE(DriverPath() != nullptr);
    HMODULE module = LoadLibraryA(DriverPath());
    REQUIRE(module != nullptr);
    ATOM peerAtom = PeerClassOf(module);
    WNDCLASSEXA peer{};
    peer.cbSize = sizeof peer;
    if (peerAtom != 0 && CHECK(GetClassInfoExA(module, MAKEINTATOM(peerAtom), &peer))) {
        char className[64];
        contract::UniqueName(className, sizeof className, "plain");
        WNDCLASSEXA plain{};
        plain.cbSize = sizeof plain;
        plain.lpfnWndProc = PlainWindowProc;
        plain.hInstance = GetModuleHandleA(nullptr);
        plain.lpszClassName = className;
        ATOM plainAtom = RegisterClassExA(&plain);
        HWND window = plainAtom ? CreateWindowExA(0, className, "foreign", 0, 0, 0, 0, 0,
                                                  HWND_MESSAGE, nullptr, plain.hInstance, nullptr)
                                : nullptr;
        CHECK(window != nullptr);
        if (window) {
            // User data that would crash the procedure if it took it for an
            // owner: only windows of its own class have one.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0x10);
            char text[16] = {};
            CHECK_EQ(CallWindowProcA(peer.lpfnWndProc, window, WM_GETTEXT, sizeof text,
                                     reinterpret_cast<LPARAM>(text)),
                     7);
            CHECK_TEXT(text, "foreign");
            CHECK(DestroyWindow(window));
        }
        if (plainAtom)
            CHECK(UnregisterClassA(className, plain.hInstance));
    }
    CHECK(FreeLibrary(module));
}
