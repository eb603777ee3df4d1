#include "fits_file.h"

#include <algorithm>
#include <cstdio>

#include <fitsio.h>

namespace capture {
namespace {

std::string CfitsioMessage(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    // The error stack holds the detail of the first failure (the file name,
    // the system's reason); it must be emptied in any case.
    char detail[FLEN_ERRMSG] = {};
    std::string message = text;
    if (fits_read_errmsg(detail) != 0 && detail[0] != '\0')
        message += std::string(" (") + detail + ")";
    fits_clear_errmsg();
    return message;
}

// Each keyword call does nothing once status is set, so the calls can run
// one after another and the first failure is reported at the end.
void PutString(fitsfile* file, const char* key, const std::string& value, const char* comment,
               int* status)
{
    fits_update_key(file, TSTRING, key, const_cast<char*>(value.c_str()), comment, status);
}

void PutInt(fitsfile* file, const char* key, int value, const char* comment, int* status)
{
    fits_update_key(file, TINT, key, &value, comment, status);
}

void PutReal(fitsfile* file, const char* key, double value, int decimals, const char* comment,
             int* status)
{
    fits_update_key_fixdbl(file, key, value, decimals, comment, status);
}

void PutKeywords(fitsfile* file, const FrameInfo& info, int* status)
{
    PutString(file, "ROWORDER", "BOTTOM-UP", "first row is the bottom of the image", status);
    PutReal(file, "EXPTIME", info.exposureSeconds, 3, "exposure time [s]", status);
    PutString(file, "DATE-OBS", FitsDate(info.startWallMs), "UTC start of the exposure", status);
    PutString(file, "IMAGETYP", info.light ? "Light Frame" : "Dark Frame", "frame type", status);
    PutInt(file, "XBINNING", info.binX, "horizontal binning factor", status);
    PutInt(file, "YBINNING", info.binY, "vertical binning factor", status);
    if (info.hasCcdTemperature)
        PutReal(file, "CCD-TEMP", info.ccdTemperature, 2, "CCD temperature at start [C]", status);
    if (info.hasSetTemperature)
        PutReal(file, "SET-TEMP", info.setTemperature, 2, "CCD temperature wanted [C]", status);
    if (!info.filter.empty())
        PutString(file, "FILTER", info.filter, "filter in the light path", status);
    PutString(file, "INSTRUME", info.instrument, "camera", status);
    PutInt(file, "XORGSUBF", info.originX, "subframe origin, binned columns from the left", status);
    PutInt(file, "YORGSUBF", info.originY, "subframe origin, binned rows from the top", status);
    PutString(file, "BUNIT", "ADU", "pixel unit", status);
    PutString(file, "SWCREATE", "r6odi-capture", "software that wrote the file", status);
    fits_write_date(file, status);
}

// FITS rows go from the bottom of the image up; the host's buffer starts
// with the top row.
void PutPixels(fitsfile* file, const Frame& frame, int* status)
{
    for (int row = 0; row < frame.height && *status == 0; ++row) {
        const uint16_t* source = frame.pixels.data() + (size_t)(frame.height - 1 - row) * frame.width;
        LONGLONG first = (LONGLONG)row * frame.width + 1;
        fits_write_img(file, TUSHORT, first, frame.width, const_cast<uint16_t*>(source), status);
    }
}

} // namespace

bool WriteFits(const std::string& path, const Frame& frame, std::string* error)
{
    if (frame.width <= 0 || frame.height <= 0 ||
        frame.pixels.size() != (size_t)frame.width * (size_t)frame.height) {
        *error = "no frame to write to " + path;
        return false;
    }
    std::string temporary = path + ".part";
    std::remove(temporary.c_str());
    int status = 0;
    fitsfile* file = nullptr;
    // fits_create_file would read brackets or a leading '!' in the folder's
    // name as instructions; the disk-file form takes the name as it is.
    fits_create_diskfile(&file, temporary.c_str(), &status);
    long axes[2] = {frame.width, frame.height};
    fits_create_img(file, USHORT_IMG, 2, axes, &status);
    PutKeywords(file, frame.info, &status);
    PutPixels(file, frame, &status);
    int closeStatus = 0;
    if (file != nullptr)
        fits_close_file(file, &closeStatus);
    if (status == 0)
        status = closeStatus;
    if (status == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot rename " + temporary + " to " + path;
        std::remove(temporary.c_str());
        return false;
    }
    if (status != 0) {
        *error = "cannot write " + path + ": " + CfitsioMessage(status);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool ReadFits(const std::string& path, Frame* frame, std::string* error)
{
    int status = 0;
    fitsfile* file = nullptr;
    if (fits_open_diskfile(&file, path.c_str(), READONLY, &status) != 0) {
        *error = "cannot read " + path + ": " + CfitsioMessage(status);
        return false;
    }
    int axisCount = 0;
    long axes[2] = {0, 0};
    fits_get_img_dim(file, &axisCount, &status);
    if (status == 0 && axisCount != 2) {
        fits_close_file(file, &status);
        *error = path + " holds no two-dimensional image";
        return false;
    }
    fits_get_img_size(file, 2, axes, &status);
    char order[FLEN_VALUE] = "BOTTOM-UP";
    int keyStatus = 0;
    fits_read_key(file, TSTRING, "ROWORDER", order, nullptr, &keyStatus);
    if (status == 0 && (axes[0] <= 0 || axes[1] <= 0 || axes[0] > 65535 || axes[1] > 65535))
        status = BAD_NAXES;
    std::vector<uint16_t> pixels;
    if (status == 0) {
        pixels.resize((size_t)axes[0] * (size_t)axes[1]);
        int anyNull = 0;
        unsigned short blank = 0;
        fits_read_img(file, TUSHORT, 1, (LONGLONG)pixels.size(), &blank, pixels.data(), &anyNull, &status);
    }
    int closeStatus = 0;
    fits_close_file(file, &closeStatus);
    if (status != 0) {
        *error = "cannot read " + path + ": " + CfitsioMessage(status);
        return false;
    }
    frame->width = (int)axes[0];
    frame->height = (int)axes[1];
    frame->pixels.assign(pixels.size(), 0);
    bool bottomUp = std::string(order) != "TOP-DOWN";
    for (int row = 0; row < frame->height; ++row) {
        int source = bottomUp ? frame->height - 1 - row : row;
        std::copy(pixels.begin() + (std::ptrdiff_t)source * frame->width,
                  pixels.begin() + (std::ptrdiff_t)(source + 1) * frame->width,
                  frame->pixels.begin() + (std::ptrdiff_t)row * frame->width);
    }
    return true;
}

} // namespace capture
