// d_GetOK under the ordinal of d_GetName.
#include "export_fixtures/fixture_support.h"

extern "C" int __cdecl d_GetOK(void)
{
    return FixtureOpaque(1);
}
