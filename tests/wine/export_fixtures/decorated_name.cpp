// A stdcall export listed by its decorated symbol instead of through an
// alias: the table gets "d_Initialize@4".
#include "export_fixtures/fixture_support.h"

extern "C" int __stdcall d_Initialize(int window)
{
    return FixtureOpaque(window) != 0;
}
