#include "sim/default_cameras.h"

namespace sim {
namespace {

CameraDescription TypeOneCamera(uint32_t id, const char* serial)
{
    CameraDescription camera;
    camera.type = 1;
    camera.id = id;
    camera.flags = 0x0021; // five-position filter wheel, preflash
    camera.width = 1392;
    camera.height = 1040;
    camera.reportedValue1 = 645;
    camera.reportedValue2 = 645;
    camera.description = "KX-814 Mono";
    camera.infoText2 = "FW 2.14";
    camera.infoText3 = "1392x1040 CCD";
    camera.vendorId = 0x1278;
    camera.productId = 0x0507;
    camera.serial = serial;
    return camera;
}

CameraDescription TypeTwoCamera()
{
    CameraDescription camera;
    camera.type = 2;
    camera.id = 20005;
    camera.flags = 0x0707; // seven filter positions, the larger integer scale
    camera.width = 2750;
    camera.height = 2200;
    camera.reportedValue1 = 454;
    camera.reportedValue2 = 454;
    camera.description = "KX-694 Cooled";
    camera.infoText2 = "FW 3.02";
    camera.infoText3 = "2750x2200 CCD";
    camera.vendorId = 0x1278;
    camera.productId = 0x0509;
    camera.serial = "KM00005";
    return camera;
}

CameraDescription TypeThreeCamera()
{
    CameraDescription camera;
    camera.type = 3;
    camera.id = 30003;
    camera.flags = 0x0000;
    camera.binningFactors = {1}; // the large sensor has no hardware binning
    camera.width = 4008;
    camera.height = 2672;
    camera.reportedValue1 = 900;
    camera.reportedValue2 = 900;
    camera.description = "KL-11000 Large";
    camera.infoText2 = "FW 1.07";
    camera.infoText3 = "4008x2672 CCD";
    camera.vendorId = 0x1278;
    camera.productId = 0x0525;
    camera.serial = "KL00003";
    return camera;
}

} // namespace

std::vector<CameraDescription> DefaultCameras()
{
    return {TypeOneCamera(10017, "KS00017"), TypeTwoCamera(), TypeThreeCamera(),
            TypeOneCamera(10042, "KS00042")};
}

std::vector<std::shared_ptr<SimCamera>> AttachCameras(SimBus& bus,
                                                      const std::vector<CameraDescription>& cameras)
{
    std::vector<std::shared_ptr<SimCamera>> attached;
    for (const CameraDescription& camera : cameras)
        attached.push_back(bus.Attach(camera));
    return attached;
}

} // namespace sim
