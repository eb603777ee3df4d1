// d_StartExposure with three arguments instead of two: it removes 12 bytes.
#include "export_fixtures/fixture_support.h"

extern "C" int __stdcall d_StartExposure(int milliseconds, int shutter, int extra)
{
    return FixtureOpaque(milliseconds + shutter + extra);
}
