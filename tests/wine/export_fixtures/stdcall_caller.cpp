// A "caller" export declared with an argument and the standard convention:
// it removes 4 bytes that its caller will remove again.
#include "export_fixtures/fixture_support.h"

extern "C" int __stdcall d_GetOK(int unused)
{
    return FixtureOpaque(unused) != 0;
}
