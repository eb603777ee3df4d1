// What a build goes without when Debian has no cfitsio and no libpng for
// its target (the Windows build): frames can still be taken and measured,
// and every command that needs a file format says that it is missing.
#include "fits_file.h"
#include "png_preview.h"

namespace capture {
namespace {

const char* const kNoFits = "this build of r6odi-capture has no FITS support (cfitsio was not available to it)";
const char* const kNoPng = "this build of r6odi-capture has no PNG support (libpng was not available to it)";

} // namespace

bool FitsAvailable()
{
    return false;
}

bool WriteFits(const std::string&, const Frame&, std::string* error)
{
    *error = kNoFits;
    return false;
}

FitsWrite WriteFits(const std::string&, const Frame&, const HeaderFacts&, const FitsWriteOptions&, std::string* error)
{
    *error = kNoFits;
    return FitsWrite::Failed;
}

bool ReadFits(const std::string&, Frame*, std::string* error)
{
    *error = kNoFits;
    return false;
}

bool WritePng(const std::string&, int, int, const std::vector<uint8_t>&, std::string* error)
{
    *error = kNoPng;
    return false;
}

} // namespace capture
