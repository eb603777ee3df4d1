// Exports a few of the driver's functions with the right conventions, listed
// in its .def the way the driver's .def lists them (a stdcall function as an
// alias of its decorated symbol). The export check must accept it.
#include "export_fixtures/fixture_support.h"

// Placed between exports and returning with a plain ret: the check must not
// count it as part of the export before it.
extern "C" __attribute__((noinline)) int FixtureHelper(int value)
{
    return FixtureOpaque(value) * 3;
}

extern "C" int __stdcall d_FilterWheel(int operation, int value)
{
    if (operation == 0)
        return FixtureHelper(value);
    if (operation == 5)
        return FixtureOpaque(value) + 1;
    return 0;
}

extern "C" int __cdecl d_BinningCount(void)
{
    return FixtureOpaque(16);
}

extern "C" int __cdecl d_GetOK(void)
{
    return FixtureHelper(0) == 0;
}

// A rarely taken branch that the compiler may move out of line: its return
// belongs to the export all the same.
extern "C" int __stdcall d_Subframe(int x, int y, int width, int height, int code)
{
    if (__builtin_expect(code == 12345, 0)) {
        FixtureRarely(x);
        return FixtureOpaque(y);
    }
    return FixtureOpaque(x + y + width + height + code);
}
