// A "callee" export compiled with the C convention whose body ends in a
// jump to another function: the wrong return is in that function.
#include "export_fixtures/fixture_support.h"

extern "C" int __cdecl d_SetupCCD(int flag)
{
    return FixtureOpaque(flag);
}
