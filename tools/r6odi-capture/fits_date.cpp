#include "fits_file.h"
#include "utc_text.h"

namespace capture {

std::string FitsDate(double wallMs)
{
    return r6host::UtcText(wallMs);
}

} // namespace capture
