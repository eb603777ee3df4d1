#include "utc_text.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace r6host {

std::string UtcText(double wallMs)
{
    double seconds = std::floor(wallMs / 1000.0);
    int millis = (int)(wallMs - seconds * 1000.0);
    std::time_t whole = (std::time_t)seconds;
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &whole);
#else
    gmtime_r(&whole, &utc);
#endif
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

} // namespace r6host
