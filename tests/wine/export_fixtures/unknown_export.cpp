// A correct export beside one that is not part of the driver's interface.
#include "export_fixtures/fixture_support.h"

extern "C" int __cdecl d_IsColor(void)
{
    return FixtureOpaque(0);
}

extern "C" int __cdecl d_GetVersion(void)
{
    return FixtureOpaque(2);
}
