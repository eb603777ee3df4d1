// Windows: the module is loaded as an imaging application loads it, from
// beside the host (or wherever R6ODI_DRIVER points), and every export is
// looked up by its undecorated name.
#include <cstdlib>

#include "driver_api.h"

namespace r6host {
namespace {

HMODULE module = nullptr;

template <typename Function>
bool Bind(const char* name, Function* slot, std::string* missing)
{
    *slot = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (*slot == nullptr) {
        if (!missing->empty())
            *missing += ", ";
        *missing += name;
    }
    return *slot != nullptr;
}

} // namespace

bool BindDriver(DriverApi* api, std::string* error)
{
    const char* path = std::getenv("R6ODI_DRIVER");
    if (path == nullptr || *path == '\0')
        path = "d_r6odi.dll";
    module = LoadLibraryA(path);
    if (module == nullptr) {
        *error = std::string("cannot load the driver module ") + path + " (error " +
                 std::to_string(GetLastError()) + ")";
        return false;
    }
    std::string missing;
    Bind("d_Initialize", &api->Initialize, &missing);
    Bind("d_Finalize", &api->Finalize, &missing);
    Bind("d_SetupCCD", &api->SetupCCD, &missing);
    Bind("d_GetOK", &api->GetOK, &missing);
    Bind("d_Subframe", &api->Subframe, &missing);
    Bind("d_MoveFrame", &api->MoveFrame, &missing);
    Bind("d_GetWidth", &api->GetWidth, &missing);
    Bind("d_GetHeight", &api->GetHeight, &missing);
    Bind("d_BinningCount", &api->BinningCount, &missing);
    Bind("d_BinningName", &api->BinningName, &missing);
    Bind("d_GetName", &api->GetName, &missing);
    Bind("d_GetInfo", &api->GetInfo, &missing);
    Bind("d_GetTemperature", &api->GetTemperature, &missing);
    Bind("d_IsColor", &api->IsColor, &missing);
    Bind("d_StartExposure", &api->StartExposure, &missing);
    Bind("d_IsExposing", &api->IsExposing, &missing);
    Bind("d_StartDownload", &api->StartDownload, &missing);
    Bind("d_InterruptExposure", &api->InterruptExposure, &missing);
    Bind("d_ReadImage", &api->ReadImage, &missing);
    Bind("d_EndDownload", &api->EndDownload, &missing);
    Bind("d_FilterWheel", &api->FilterWheel, &missing);
    if (!missing.empty()) {
        *error = std::string("the driver module ") + path + " lacks " + missing;
        FreeLibrary(module);
        module = nullptr;
        return false;
    }
    return true;
}

void UnbindDriver()
{
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
}

} // namespace r6host
