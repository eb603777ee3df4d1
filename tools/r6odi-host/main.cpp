// The command-line host: plugs the default cameras into the simulated bus,
// lists what the system's enumeration finds in each interface class, then
// loads the driver module the way an imaging application does and shows
// which cameras the driver reports, which ones its claims take, and a short
// session with one of them (temperature, set point, a binned frame).
#include <algorithm>
#include <cstdio>
#include <vector>

#include "device/camera.h"
#include "device/enumeration.h"
#include "driver/module_lifecycle.h"
#include "hostsupport/memory.h"
#include "platform/emul/control.h"
#include "sim/bus_installation.h"
#include "sim/default_cameras.h"
#include "sim/interface_survey.h"
#include "sim/pixel_source.h"
#include "sim/sim_bus.h"
#include "sim/survey_table.h"

namespace {

std::vector<int32_t> reportedIds;

void CollectId(int32_t id)
{
    reportedIds.push_back(id);
}

void ListDriverIds()
{
    reportedIds.clear();
    r6odi::EnumerateCameras(CollectId);
    std::printf("\nThe driver reports %zu camera(s):", reportedIds.size());
    for (int32_t id : reportedIds)
        std::printf(" %d", id);
    std::printf("\n");
}

// Opens one camera object per camera on the bus, each taking the first free
// one, so the claims show in which order the driver hands the cameras out.
void ShowClaims()
{
    std::printf("\nClaims, each asking for the first free camera:\n");
    std::vector<r6odi::CCamera*> cameras;
    for (;;) {
        r6odi::CCamera* camera = hostsupport::New<r6odi::CCamera>();
        if (camera == nullptr || !camera->Open(-1)) {
            r6odi::DestroyCamera(camera);
            break;
        }
        std::printf("  camera %zu: type %d, id %u, %s\n", cameras.size() + 1, camera->cameraType,
                    camera->info.id, camera->devicePath);
        cameras.push_back(camera);
    }
    std::printf("  no free camera left after %zu claim(s)\n", cameras.size());
    for (r6odi::CCamera* camera : cameras)
        r6odi::DestroyCamera(camera);
}

// One short session with the first free camera: its temperature, a set
// point, and a binned frame checked pixel by pixel against what the camera
// sent.
bool ShowSession(sim::SimBus& bus)
{
    r6odi::CCamera* camera = hostsupport::New<r6odi::CCamera>();
    if (camera == nullptr || !camera->Open(-1)) {
        r6odi::DestroyCamera(camera);
        std::printf("\nNo camera to observe with.\n");
        return false;
    }
    std::printf("\nSession with camera %u (%.14s):\n", camera->info.id, camera->info.description);
    float celsius = 0.0f;
    if (r6odi::CameraGetValue(camera, 0, &celsius))
        std::printf("  CCD temperature %.2f C\n", celsius);
    camera->SetTemperature(-10.0f);
    bool ok = r6odi::CameraSetBinning(camera, 2, 2) && camera->SetReadMode(0);
    const int32_t width = camera->info.width / 2;
    const int32_t height = camera->info.height / 2;
    std::vector<uint16_t> frame(static_cast<size_t>(width) * height);
    ok = ok && r6odi::CameraReadImage(camera, 0, 0, width, height,
                                      static_cast<uint32_t>(frame.size() * 2), frame.data());
    if (!ok) {
        std::printf("  readout failed: %s\n", camera->lastError);
        r6odi::DestroyCamera(camera);
        return false;
    }
    std::vector<uint16_t> expected;
    for (const auto& peer : bus.Cameras())
        if (peer->Description().id == camera->info.id)
            peer->WithState([&](sim::CameraState& state) {
                expected = sim::ExpectedFrame(state, 0, 0, width, height);
            });
    auto range = std::minmax_element(frame.begin(), frame.end());
    bool same = frame == expected;
    std::printf("  2 x 2 binned, double-sample frame %d x %d: values %u..%u, %s\n", width, height,
                *range.first, *range.second, same ? "every pixel as sent" : "PIXELS DIFFER");
    r6odi::DestroyCamera(camera);
    return same;
}

} // namespace

int main()
{
    emu::UseRealTime(true);
    sim::SimBus bus;
    sim::BusInstallation installation(bus);
    sim::AttachCameras(bus, sim::DefaultCameras());
    std::fputs(sim::SurveyTable(sim::SurveyAllClasses()).c_str(), stdout);

    HINSTANCE module = emu::LoadModule(DllMain, "d_r6odi.dll");
    if (module == nullptr) {
        std::fprintf(stderr, "the driver module did not load\n");
        return 1;
    }
    ListDriverIds();
    ShowClaims();
    bool observed = ShowSession(bus);
    emu::FreeModule(module);
    if (!observed)
        return 1;

    emu::Counts left = emu::Snapshot();
    if (left.handles != 0 || left.windows != 0 || left.classes != 0 || left.heapBlocks != 0) {
        std::fprintf(stderr, "the driver left %ld handle(s), %ld window(s), %ld class(es), %ld heap block(s)\n",
                     left.handles, left.windows, left.classes, left.heapBlocks);
        return 1;
    }
    return 0;
}
