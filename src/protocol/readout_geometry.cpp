#include "protocol/readout_geometry.h"

#include "device/camera.h"
#include "device/interface_classes.h"

namespace r6odi {
namespace {

// Keeps a crop edge on the binned sensor: below 0 to 0, at or past the
// end to the last pixel.
int64_t KeptOnSensor(int64_t edge, int64_t extent)
{
    if (edge < 0)
        return 0;
    if (edge >= extent)
        return extent - 1;
    return edge;
}

// Shortens a crop extent that would reach past the end of the sensor.
int64_t KeptWithin(int64_t start, int64_t length, int64_t extent)
{
    return start + length > extent ? extent - start : length;
}

// Type 3 cameras put pad columns ahead of every row: two pixels of two
// samples or four pixels of one, the same number of bytes either way.
uint32_t PadColumnsOf(const CCamera& camera)
{
    if (camera.cameraType != kCameraType3)
        return 0;
    return camera.doubleSample == 1 ? 2 : 4;
}

// Fits one axis of a frame into the region: its start onto the region, its
// far edge inside it. The region lies on the sensor, so the frame does too.
// Leaves a length of 0 or less when nothing remains.
void FitAxis(int64_t* start, int64_t* length, int64_t regionStart, int64_t regionExtent)
{
    const int64_t regionEnd = regionStart + regionExtent;
    if (*start < regionStart)
        *start = regionStart;
    else if (*start >= regionEnd)
        *start = regionEnd - 1;
    if (*length > regionExtent)
        *length = regionExtent;
    if (*start + *length > regionEnd)
        *length = regionEnd - *start;
}

void SizeTransfer(const CCamera& camera, FrameGeometry* frame)
{
    frame->samplesPerPixel = camera.doubleSample == 1 ? 2 : 1;
    frame->padColumns = PadColumnsOf(camera);
    frame->sampleOffset = (camera.cameraType == kCameraType3 && frame->samplesPerPixel == 2) ? 1 : 0;
    const uint64_t width = static_cast<uint64_t>(frame->width);
    const uint64_t height = static_cast<uint64_t>(frame->height);
    frame->rowBytes = (width + frame->padColumns) * 2 * frame->samplesPerPixel;
    frame->transferBytes = frame->rowBytes * height;
    frame->pixelBytes = width * height * 2;
}

} // namespace

bool HasCrop(const CCamera& camera)
{
    // Anything below 0 is an unset or meaningless crop; only a complete
    // one restricts the readout.
    return camera.cropX >= 0 && camera.cropY >= 0 && camera.cropWidth >= 0 && camera.cropHeight >= 0;
}

int64_t BinnedExtent(uint16_t sensorPixels, int32_t factor)
{
    // A negative factor read as unsigned is larger than any sensor, which
    // leaves nothing either.
    if (factor < 1)
        return 0;
    return sensorPixels / factor;
}

ReadoutRegion RegionOf(const CCamera& camera, int64_t binnedWidth, int64_t binnedHeight)
{
    if (!HasCrop(camera))
        return ReadoutRegion{0, 0, binnedWidth, binnedHeight};
    ReadoutRegion region;
    region.left = KeptOnSensor(camera.cropX / camera.hwBinX, binnedWidth);
    region.top = KeptOnSensor(camera.cropY / camera.hwBinY, binnedHeight);
    region.width = KeptWithin(region.left, camera.cropWidth / camera.hwBinX, binnedWidth);
    region.height = KeptWithin(region.top, camera.cropHeight / camera.hwBinY, binnedHeight);
    return region;
}

ReadoutRegion HostRegion(const CCamera& camera)
{
    const int64_t binnedWidth = BinnedExtent(camera.info.width, camera.hwBinX);
    const int64_t binnedHeight = BinnedExtent(camera.info.height, camera.hwBinY);
    if (binnedWidth < 1 || binnedHeight < 1)
        return ReadoutRegion{0, 0, 0, 0};
    return RegionOf(camera, binnedWidth, binnedHeight);
}

bool FitIntoRegion(const ReadoutRegion& region, int64_t* x, int64_t* y, int64_t* width, int64_t* height)
{
    FitAxis(x, width, region.left, region.width);
    FitAxis(y, height, region.top, region.height);
    return *width >= 1 && *height >= 1;
}

bool FitFrame(const CCamera& camera, const ReadoutRequest& request, FrameGeometry* frame)
{
    if (request.width < 1 || request.height < 1)
        return false;
    frame->binnedWidth = BinnedExtent(camera.info.width, camera.hwBinX);
    frame->binnedHeight = BinnedExtent(camera.info.height, camera.hwBinY);
    if (frame->binnedWidth < 1 || frame->binnedHeight < 1)
        return false;
    const ReadoutRegion region = RegionOf(camera, frame->binnedWidth, frame->binnedHeight);
    frame->x = request.x;
    frame->y = request.y;
    frame->width = request.width;
    frame->height = request.height;
    if (!FitIntoRegion(region, &frame->x, &frame->y, &frame->width, &frame->height))
        return false;
    frame->firstRow = frame->binnedHeight - frame->y - frame->height;
    SizeTransfer(camera, frame);
    return true;
}

} // namespace r6odi
