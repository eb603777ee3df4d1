// Everything the driver says about a camera comes from its stored CameraInfo
// block, its own fields and fixed answers; none of it talks to the camera,
// so a disconnected camera answers from its last connection.
#include "device/camera.h"
#include "hostsupport/text.h"
#include "protocol/readout_geometry.h"

namespace r6odi {
namespace {

const char kManufacturer[] = "Kelvarin Instruments";

// The crop replaces the sensor size only when the readout applies it and it
// fits: the host is told the size of what it will receive.
int32_t CroppedSize(const CCamera& camera, int32_t crop, uint16_t sensor)
{
    return (HasCrop(camera) && crop <= static_cast<int32_t>(sensor)) ? crop : sensor;
}

bool BooleanProperty(const CCamera& camera, uint32_t index, BYTE* value)
{
    switch (index) {
    case 0: // Connected
        *value = camera.IsConnected() ? 1 : 0;
        return true;
    case 1:
    case 2:
    case 3:
    case 4:
    case 8:
        *value = 1;
        return true;
    case 5:
    case 7:
        *value = 0;
        return true;
    case 6: // HasFilterWheel
        *value = (camera.info.flags & (kFlagFilterWheel5 | kFlagFilterWheel6)) != 0 ? 1 : 0;
        return true;
    case 9: // PreflashSupported
        *value = (camera.info.flags & kFlagPreflash) != 0 ? 1 : 0;
        return true;
    default:
        return false;
    }
}

bool IntegerProperty(const CCamera& camera, uint32_t index, int32_t* value)
{
    static const int32_t kFixed[16] = {0, 0, 0, 0, 0, 4, 4, 2, 0, 0, 6, 2, 0, 6, 2, 0};
    switch (index) {
    case 0: // CameraId
        *value = static_cast<int32_t>(camera.info.id);
        return true;
    case 1: // ImageWidth
        *value = CroppedSize(camera, camera.cropWidth, camera.info.width);
        return true;
    case 2: // ImageHeight
        *value = CroppedSize(camera, camera.cropHeight, camera.info.height);
        return true;
    case 3:
        *value = camera.info.reportedValue1;
        return true;
    case 4:
        *value = camera.info.reportedValue2;
        return true;
    case 8: // FilterCount
        *value = FilterCountOf(camera.info.flags);
        return true;
    case 9:
        *value = (camera.info.flags & kFlagFastClock) != 0 ? 200000 : 100000;
        return true;
    default:
        if (index >= 16)
            return false;
        *value = kFixed[index];
        return true;
    }
}

} // namespace

int FilterCountOf(uint16_t flags)
{
    bool five = (flags & kFlagFilterWheel5) != 0;
    bool six = (flags & kFlagFilterWheel6) != 0;
    if (five && six)
        return (flags >> 8) & 0x0F;
    if (five)
        return 5;
    if (six)
        return 6;
    return 0;
}

bool CameraGetBoolean(CCamera* camera, uint32_t index, BYTE* value)
{
    return BooleanProperty(*camera, index, value);
}

bool CameraGetInteger(CCamera* camera, uint32_t index, int32_t* value)
{
    return IntegerProperty(*camera, index, value);
}

bool CameraGetString(CCamera* camera, uint32_t index, int capacity, char* destination)
{
    const CameraInfo& info = camera->info;
    switch (index) {
    case 0: // CameraDescription
        hostsupport::CopyText(capacity, destination, kCameraTextLength, info.description);
        return true;
    case 1: // Manufacturer
        hostsupport::CopyText(capacity, destination, 0, kManufacturer);
        return true;
    case 2:
        hostsupport::CopyText(capacity, destination, kCameraTextLength, info.infoText2);
        return true;
    case 3:
        hostsupport::CopyText(capacity, destination, kCameraTextLength, info.infoText3);
        return true;
    default:
        return false;
    }
}

bool CameraReadModeName(CCamera*, uint32_t index, int capacity, char* destination)
{
    static const char* const kNames[2] = {"Low Noise", "Standard"};
    if (index >= 2)
        return false;
    hostsupport::CopyText(capacity, destination, 0, kNames[index]);
    return true;
}

} // namespace r6odi
