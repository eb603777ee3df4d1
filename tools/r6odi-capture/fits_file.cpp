#include "fits_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fitsio.h>

#include "disk_file.h"

namespace capture {
namespace {

constexpr size_t kFitsBlock = 2880;
constexpr size_t kCard = 80;
// The data go out in pieces of about this size: large enough that each
// write is cheap, small enough that the encoded piece is still in the
// processor's cache when the system copies it.
constexpr size_t kWritePiece = 1 << 20;

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
void PutString(fitsfile* file, const char* key, const std::string& value, const char* comment, int* status)
{
    fits_update_key(file, TSTRING, key, const_cast<char*>(value.c_str()), comment, status);
}

void PutInt(fitsfile* file, const char* key, int value, const char* comment, int* status)
{
    fits_update_key(file, TINT, key, &value, comment, status);
}

void PutReal(fitsfile* file, const char* key, double value, int decimals, const char* comment, int* status)
{
    fits_update_key_fixdbl(file, key, value, decimals, comment, status);
}

void PutLogical(fitsfile* file, const char* key, bool value, const char* comment, int* status)
{
    int logical = value ? 1 : 0;
    fits_update_key(file, TLOGICAL, key, &logical, comment, status);
}

const char* ImageType(FrameKind kind)
{
    switch (kind) {
    case FrameKind::Dark:
        return "Dark Frame";
    case FrameKind::Bias:
        return "Bias Frame";
    case FrameKind::Flat:
        return "Flat Frame";
    case FrameKind::Light:
        break;
    }
    return "Light Frame";
}

void PutOptics(fitsfile* file, const FrameInfo& info, const HeaderFacts& facts, int* status)
{
    if (facts.pixelWidthUm > 0.0 && facts.pixelHeightUm > 0.0) {
        PutReal(file, "XPIXSZ", facts.pixelWidthUm * info.binX, 3, "pixel width, binned [um]", status);
        PutReal(file, "YPIXSZ", facts.pixelHeightUm * info.binY, 3, "pixel height, binned [um]", status);
        PutReal(file, "PIXSIZE1", facts.pixelWidthUm * info.binX, 3, "pixel width, binned [um]", status);
        PutReal(file, "PIXSIZE2", facts.pixelHeightUm * info.binY, 3, "pixel height, binned [um]", status);
    }
    if (facts.focalLengthMm > 0.0)
        PutReal(file, "FOCALLEN", facts.focalLengthMm, 1, "focal length [mm]", status);
    if (facts.apertureMm > 0.0)
        PutReal(file, "APTDIA", facts.apertureMm, 1, "aperture diameter [mm]", status);
    if (!facts.telescope.empty())
        PutString(file, "TELESCOP", facts.telescope, "telescope", status);
    if (!facts.observer.empty())
        PutString(file, "OBSERVER", facts.observer, "observer", status);
    if (!facts.object.empty())
        PutString(file, "OBJECT", facts.object, "object observed", status);
}

void PutTemperatures(fitsfile* file, const FrameInfo& info, int* status)
{
    // A failed reading leaves its keyword out: no value is better than a
    // wrong one that a program would take at its word.
    if (info.hasCcdTemperature)
        PutReal(file, "CCD-TEMP", info.ccdTemperature, 2, "CCD temperature at start [C]", status);
    if (info.hasEndTemperature)
        PutReal(file, "CCDTEND", info.endTemperature, 2, "CCD temperature at end [C]", status);
    if (info.hasSetTemperature)
        PutReal(file, "SET-TEMP", info.setTemperature, 2, "CCD temperature wanted [C]", status);
    else
        fits_write_comment(file, "No temperature was asked for: the sensor's, as found, is in CCD-TEMP.", status);
}

void PutSetup(fitsfile* file, const HeaderFacts& facts, int* status)
{
    if (!facts.setupKnown)
        return;
    PutString(file, "READMODE", facts.readMode == 1 ? "Standard" : "Low Noise", "camera read mode", status);
    PutReal(file, "PREFLASH", facts.preflashSeconds, 3, "preflash before the exposure [s]", status);
    PutLogical(file, "WINHEAT", facts.windowHeating, "CCD chamber window heated", status);
}

// A frame described only as light or dark (its kind left at Light) keeps
// the meaning of its shutter.
FrameKind KindOfFrame(const FrameInfo& info)
{
    if (info.kind == FrameKind::Bias || info.kind == FrameKind::Flat)
        return info.kind;
    return info.light ? FrameKind::Light : FrameKind::Dark;
}

void PutKeywords(fitsfile* file, const FrameInfo& info, const HeaderFacts& facts, int height, int* status)
{
    const FrameKind kind = KindOfFrame(info);
    PutString(file, "ROWORDER", "BOTTOM-UP", "first row is the bottom of the image", status);
    PutReal(file, "EXPTIME", info.exposureSeconds, 3, "exposure time [s]", status);
    if (kind == FrameKind::Dark || kind == FrameKind::Bias)
        PutReal(file, "DARKTIME", info.exposureSeconds, 3, "dark current integration time [s]", status);
    PutString(file, "DATE-OBS", FitsDate(info.startWallMs), "UTC start of the exposure", status);
    PutString(file, "IMAGETYP", ImageType(kind), "frame type", status);
    PutInt(file, "XBINNING", info.binX, "horizontal binning factor", status);
    PutInt(file, "YBINNING", info.binY, "vertical binning factor", status);
    PutOptics(file, info, facts, status);
    PutTemperatures(file, info, status);
    if (!info.filter.empty())
        PutString(file, "FILTER", info.filter, "filter in the light path", status);
    PutString(file, "INSTRUME", info.instrument, "camera", status);
    PutSetup(file, facts, status);
    PutInt(file, "XORGSUBF", info.originX, "subframe origin, binned columns from the left", status);
    // Counted the way the data rows run, from the bottom of the sensor.
    int fromBottom = info.sensorRows > 0 ? info.sensorRows - info.originY - height : info.originY;
    PutInt(file, "YORGSUBF", fromBottom, "subframe origin, binned rows from the bottom", status);
    PutString(file, "BUNIT", "ADU", "pixel unit", status);
    PutString(file, "SWCREATE", std::string("r6odi-capture ") + R6ODI_VERSION, "software that wrote the file",
              status);
    if (std::isnan(facts.writtenWallMs))
        fits_write_date(file, status);
    else
        PutString(file, "DATE", FitsDate(facts.writtenWallMs), "UTC time the file was written", status);
}

std::string Card(const char* key, long value, const char* comment)
{
    char card[FLEN_CARD] = {};
    int status = 0;
    std::string text = std::to_string(value);
    fits_make_key(key, const_cast<char*>(text.c_str()), comment, card, &status);
    return card;
}

// The header as FITS blocks: cfitsio formats every card (in a header of no
// data, kept in memory), and the axes are put in where NAXIS stands.
bool BuildHeader(const Frame& frame, const HeaderFacts& facts, std::string* header, std::string* error)
{
    void* memory = nullptr;
    size_t memorySize = 0;
    fitsfile* file = nullptr;
    int status = 0;
    fits_create_memfile(&file, &memory, &memorySize, kFitsBlock * 4, std::realloc, &status);
    fits_create_img(file, USHORT_IMG, 0, nullptr, &status);
    PutKeywords(file, frame.info, facts, frame.height, &status);
    int keys = 0;
    fits_get_hdrspace(file, &keys, nullptr, &status);
    header->clear();
    auto append = [header](const std::string& card) { header->append(card).append(kCard - card.size(), ' '); };
    for (int key = 1; key <= keys && status == 0; ++key) {
        char card[FLEN_CARD] = {};
        fits_read_record(file, key, card, &status);
        if (std::strncmp(card, "NAXIS   ", 8) != 0) {
            append(card);
            continue;
        }
        append(Card("NAXIS", 2, "number of data axes"));
        append(Card("NAXIS1", frame.width, "length of data axis 1"));
        append(Card("NAXIS2", frame.height, "length of data axis 2"));
    }
    int closeStatus = 0;
    if (file != nullptr)
        fits_close_file(file, &closeStatus);
    std::free(memory);
    if (status != 0) {
        *error = CfitsioMessage(status);
        return false;
    }
    header->append("END").append(kCard - 3, ' ');
    header->append((kFitsBlock - header->size() % kFitsBlock) % kFitsBlock, ' ');
    return true;
}

// The uncompressed file: header, then the data encoded piece by piece into
// one reused buffer, then zeros to the end of the last block.
bool WritePlain(DiskFile* out, const Frame& frame, const HeaderFacts& facts, std::string* error)
{
    std::string header;
    if (!BuildHeader(frame, facts, &header, error) || !WriteDiskFile(out, header.data(), header.size(), error))
        return false;
    size_t rowBytes = (size_t)frame.width * 2;
    int rowsPerPiece = (int)std::max<size_t>(1, kWritePiece / rowBytes);
    static thread_local std::vector<unsigned char> piece;
    piece.resize((size_t)rowsPerPiece * rowBytes);
    for (int row = 0; row < frame.height; row += rowsPerPiece) {
        int rows = std::min(rowsPerPiece, frame.height - row);
        EncodeRows(frame, row, rows, piece.data());
        if (!WriteDiskFile(out, piece.data(), (size_t)rows * rowBytes, error))
            return false;
    }
    size_t data = rowBytes * (size_t)frame.height;
    static const unsigned char zeros[kFitsBlock] = {};
    size_t fill = (kFitsBlock - data % kFitsBlock) % kFitsBlock;
    return fill == 0 || WriteDiskFile(out, zeros, fill, error);
}

// The compressed file is cfitsio's work from end to end; it is flushed
// after cfitsio has closed it.
bool WriteRice(const std::string& temporary, const Frame& frame, const HeaderFacts& facts, bool durable,
               std::string* error)
{
    std::vector<uint16_t> bottomUp(frame.pixels.size());
    for (int row = 0; row < frame.height; ++row)
        std::memcpy(&bottomUp[(size_t)row * frame.width], &frame.pixels[(size_t)(frame.height - 1 - row) * frame.width],
                    (size_t)frame.width * 2);
    int status = 0;
    fitsfile* file = nullptr;
    // fits_create_file would read brackets or a leading '!' in the folder's
    // name as instructions; the disk-file form takes the name as it is.
    fits_create_diskfile(&file, temporary.c_str(), &status);
    fits_set_compression_type(file, RICE_1, &status);
    long axes[2] = {frame.width, frame.height};
    fits_create_img(file, USHORT_IMG, 2, axes, &status);
    PutKeywords(file, frame.info, facts, frame.height, &status);
    fits_write_img(file, TUSHORT, 1, (LONGLONG)bottomUp.size(), bottomUp.data(), &status);
    int closeStatus = 0;
    if (file != nullptr)
        fits_close_file(file, &closeStatus);
    if (status == 0)
        status = closeStatus;
    if (status != 0) {
        *error = CfitsioMessage(status);
        return false;
    }
    return !durable || SyncDiskFile(temporary, error);
}

} // namespace

void EncodeRows(const Frame& frame, int firstRow, int rows, unsigned char* out)
{
    const size_t width = (size_t)frame.width;
    for (int row = firstRow; row < firstRow + rows; ++row) {
        const uint16_t* source = frame.pixels.data() + (size_t)(frame.height - 1 - row) * width;
        size_t column = 0;
        // Eight pixels at a time, a block the compiler turns into vector
        // instructions: flip the top bit (minus 32768) and swap the bytes.
        for (; column + 8 <= width; column += 8, out += 16) {
            uint16_t block[8];
            std::memcpy(block, source + column, 16);
            for (uint16_t& value : block) {
                value ^= 0x8000;
                value = (uint16_t)((value << 8) | (value >> 8));
            }
            std::memcpy(out, block, 16);
        }
        for (; column < width; ++column, out += 2) {
            uint16_t value = (uint16_t)(source[column] ^ 0x8000);
            out[0] = (unsigned char)(value >> 8);
            out[1] = (unsigned char)(value & 0xFF);
        }
    }
}

FitsWrite WriteFits(const std::string& path, const Frame& frame, const HeaderFacts& facts,
                    const FitsWriteOptions& options, std::string* error)
{
    if (frame.width <= 0 || frame.height <= 0 || frame.pixels.size() != (size_t)frame.width * (size_t)frame.height) {
        *error = "no frame to write to " + path;
        return FitsWrite::Failed;
    }
    const std::string temporary = path + ".part";
    std::string reason;
    bool written;
    if (options.rice) {
        std::remove(temporary.c_str());
        written = WriteRice(temporary, frame, facts, options.durable, &reason);
    } else {
        DiskFile out;
        written = CreateDiskFile(temporary, &out, &reason) && WritePlain(&out, frame, facts, &reason) &&
                  CloseDiskFile(&out, options.durable, &reason);
        if (out.handle != -1)
            DiscardDiskFile(&out);
    }
    Publish published = Publish::Failed;
    if (written)
        published = PublishFile(temporary, path, options.replace, options.durable, &reason);
    if (published == Publish::Done)
        return FitsWrite::Done;
    std::remove(temporary.c_str());
    *error = published == Publish::Exists ? reason : "cannot write " + path + ": " + reason;
    return published == Publish::Exists ? FitsWrite::Exists : FitsWrite::Failed;
}

bool WriteFits(const std::string& path, const Frame& frame, std::string* error)
{
    FitsWriteOptions options;
    options.replace = true;
    return WriteFits(path, frame, HeaderFacts(), options, error) == FitsWrite::Done;
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
    // A compressed image lives in the first extension, behind an empty
    // primary header.
    if (status == 0 && axisCount == 0) {
        int type = 0;
        fits_movabs_hdu(file, 2, &type, &status);
        fits_get_img_dim(file, &axisCount, &status);
        if (status != 0)
            status = 0, axisCount = 0;
    }
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
