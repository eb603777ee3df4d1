#include "setup/instance_list.h"

#include "device/camera.h"
#include "device/enumeration.h"
#include "state/driver_state.h"
#include "hostsupport/memory.h"
#include "hostsupport/number.h"
#include "hostsupport/text.h"

namespace k6dlg {
namespace {

constexpr int kIdTextCapacity = 15;

// Labels an entry from a camera opened for its id; false when the probe
// could not be opened or has no description, so the entry must go.
bool LabelEntry(CDriverInstanceListElem* entry)
{
    r6odi::CCamera* probe = r6odi::ProbeCamera(entry->cameraId);
    if (probe == r6odi::kNoProbe)
        return false;
    bool described = r6odi::CameraGetString(probe, 0, kInstanceTextCapacity, entry->text);
    // The probe goes at once: it holds the claim that the driver's own
    // camera will want once the user has chosen.
    r6odi::DestroyCamera(probe);
    if (!described)
        return false;
    hostsupport::TrimText(kInstanceTextCapacity, entry->text);
    hostsupport::AppendText(kInstanceTextCapacity, entry->text, 0, ", Id: ");
    char idText[kIdTextCapacity + 1];
    hostsupport::IntegerToText(entry->cameraId, kIdTextCapacity, idText, 10);
    hostsupport::AppendText(kInstanceTextCapacity, entry->text, 0, idText);
    return true;
}

} // namespace

void AddInstance(int32_t cameraId)
{
    CBList* list = driverState.instanceList;
    if (list == nullptr)
        return;
    auto* entry = hostsupport::New<CDriverInstanceListElem>();
    if (entry == nullptr)
        return; // a camera left out of the list is all that memory costs here
    entry->cameraId = cameraId;
    list->Append(entry);
}

int BuildInstanceList()
{
    CBList* list = driverState.instanceList;
    if (list == nullptr)
        return 0;
    list->Clear();
    r6odi::EnumerateCameras(AddInstance);
    CBListElem* element;
    bool more = list->First(&element);
    while (more) {
        // The walk runs on the list's own cursor, and nothing the probe
        // does touches this list, so the cursor survives the labelling.
        if (LabelEntry(static_cast<CDriverInstanceListElem*>(element))) {
            more = list->Next(&element);
        } else {
            list->RemoveCurrent();
            hostsupport::Delete(element);
            more = list->Current(&element);
        }
    }
    return list->Count();
}

CDriverInstanceListElem* InstanceAt(int position)
{
    CBList* list = driverState.instanceList;
    if (list == nullptr || position < 0)
        return nullptr;
    CBListElem* element;
    bool more = list->First(&element);
    for (int i = 0; more && i < position; ++i)
        more = list->Next(&element);
    return more ? static_cast<CDriverInstanceListElem*>(element) : nullptr;
}

} // namespace k6dlg
