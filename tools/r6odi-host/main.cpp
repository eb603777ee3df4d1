// The command-line host: plugs the default cameras into the simulated bus,
// lists what the system's enumeration finds in each interface class, then
// loads the driver module the way an imaging application does and shows
// which cameras the driver reports and which ones its claims take.
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
    emu::FreeModule(module);

    emu::Counts left = emu::Snapshot();
    if (left.handles != 0 || left.windows != 0 || left.classes != 0 || left.heapBlocks != 0) {
        std::fprintf(stderr, "the driver left %ld handle(s), %ld window(s), %ld class(es), %ld heap block(s)\n",
                     left.handles, left.windows, left.classes, left.heapBlocks);
        return 1;
    }
    return 0;
}
