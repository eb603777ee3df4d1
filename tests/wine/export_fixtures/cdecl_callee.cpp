// A "callee" export compiled with the C convention: it returns without
// removing its five arguments.
#include "export_fixtures/fixture_support.h"

extern "C" int __cdecl d_Subframe(int x, int y, int width, int height, int code)
{
    return FixtureOpaque(x + y + width + height) + code;
}
