#include "config/camera_configuration.h"

#include <cstring>

#include "config/filter_list_elem.h"
#include "device/camera.h"
#include "state/driver_state.h"
#include "hostsupport/memory.h"
#include "hostsupport/number.h"
#include "hostsupport/profile.h"
#include "hostsupport/text.h"

namespace r6odi {
namespace {

constexpr int kPathLength = MAX_PATH - 1;
constexpr int kIdTextLength = 63;
// A module path and the longest extension, never cut.
constexpr int kRoomyPathLength = kPathLength + kIdTextLength + 8;
constexpr int kEntryCapacity = 63;
constexpr int kKeyCapacity = 7;
constexpr int kColourTextLength = 8;
constexpr int32_t kLargestReadLimitMB = 48;
constexpr uint32_t kMegabyte = 1048576;

struct NamedColour {
    const char* name;
    uint32_t colour;
};

const NamedColour kColours[] = {
    {"BLACK", 0x000000},   {"BLUE", 0x7F0000},   {"GREEN", 0x007F00},    {"CYAN", 0x7F7F00},
    {"RED", 0x00007F},     {"MAGENTA", 0x7F007F}, {"YELLOW", 0x007F7F},  {"LGRAY", 0xBFBFBF},
    {"DGRAY", 0x7F7F7F},   {"LBLUE", 0xFF0000},  {"LGREEN", 0x00FF00},   {"LCYAN", 0xFFFF00},
    {"LRED", 0x0000FF},    {"LMAGENTA", 0xFF00FF}, {"LYELLOW", 0x00FFFF}, {"WHITE", 0xFFFFFF},
};

// The module's own path, or false when it cannot be had whole: a path cut
// short would name some other file.
bool ModulePath(char (&path)[MAX_PATH])
{
    DWORD length = GetModuleFileNameA(driverState.moduleInstance, path, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}

// The name is formed with room to spare and used only when it fits a path
// whole: cut to fit, it would name some other file.
bool LoadWithExtension(CProfile* profile, const char* modulePath, const char* extension)
{
    char path[kRoomyPathLength + 1];
    hostsupport::CopyText(kRoomyPathLength, path, 0, modulePath);
    hostsupport::ReplaceExtension(kRoomyPathLength, path, 0, extension);
    if (std::strlen(path) > static_cast<size_t>(kPathLength))
        return false;
    return profile->Load(0, path);
}

bool LoadConfigurationFile(CProfile* profile, int32_t id)
{
    char modulePath[MAX_PATH];
    if (!ModulePath(modulePath))
        return false;
    char extension[kIdTextLength + 1];
    hostsupport::IntegerToText(id, kIdTextLength, extension, 10);
    hostsupport::AppendText(kIdTextLength, extension, 0, ".ini");
    return LoadWithExtension(profile, modulePath, extension) ||
           LoadWithExtension(profile, modulePath, "ini");
}

void AppendFilter(CCamera* camera, const char* name, int nameLength, uint32_t colour)
{
    CFilterListElem* filter = hostsupport::New<CFilterListElem>();
    if (filter == nullptr)
        return;
    hostsupport::CopyText(kFilterNameCapacity, filter->name, nameLength, name);
    filter->colour = colour;
    camera->filters.Append(filter);
}

// One [filters] entry: "name" or "name,colour"; a leading comma adds nothing.
void AddFilterEntry(CCamera* camera, const char* value)
{
    int comma = hostsupport::FindText(kEntryCapacity, value, 0, ",");
    if (comma < 0) {
        AppendFilter(camera, value, 0, 0);
        return;
    }
    if (comma == 0)
        return;
    char name[kFilterNameCapacity + 1];
    hostsupport::CopyText(kFilterNameCapacity, name, comma, value);
    hostsupport::TrimText(kFilterNameCapacity, name);
    char colourText[kColourTextLength + 1];
    hostsupport::CopyText(kColourTextLength, colourText, 0, value + comma + 1);
    hostsupport::TrimText(kColourTextLength, colourText);
    hostsupport::UpperCase(kColourTextLength, colourText);
    AppendFilter(camera, name, 0, ColourOf(colourText));
}

void ReadFilters(CCamera* camera, CProfile* profile)
{
    if (!profile->SelectSection(0, "filters"))
        return;
    int positions = FilterCountOf(camera->info.flags);
    char value[kEntryCapacity + 1];
    char key[kKeyCapacity + 1];
    int visited = 0;
    for (bool more = profile->FirstEntry(value, kEntryCapacity, key, kKeyCapacity); more;
         more = profile->NextEntry(value, kEntryCapacity, key, kKeyCapacity)) {
        if (visited + 1 > positions)
            break;
        ++visited;
        AddFilterEntry(camera, value);
    }
    for (; visited < positions; ++visited)
        AppendFilter(camera, "Undefined", 0, 0);
}

void ReadDriverSettings(CCamera* camera, CProfile* profile)
{
    if (!profile->SelectSection(0, "driver"))
        return;
    int32_t megabytes;
    if (!profile->ReadInteger(0, "SingleReadLimitMB", &megabytes))
        return;
    if (megabytes == 0)
        megabytes = 1;
    if (static_cast<uint32_t>(megabytes) > static_cast<uint32_t>(kLargestReadLimitMB))
        megabytes = kLargestReadLimitMB;
    camera->singleReadLimit = static_cast<uint32_t>(megabytes) * kMegabyte;
}

void ReadCrop(CCamera* camera, CProfile* profile)
{
    if (!profile->SelectSection(0, "crop"))
        return;
    profile->ReadInteger(0, "x", &camera->cropX);
    profile->ReadInteger(0, "y", &camera->cropY);
    profile->ReadInteger(0, "w", &camera->cropWidth);
    if (!profile->ReadInteger(0, "h", &camera->cropHeight))
        profile->ReadInteger(0, "d", &camera->cropHeight);
}

} // namespace

uint32_t ColourOf(const char* text)
{
    bool isNumber = false;
    int32_t number = hostsupport::TextToInteger(0, text, 10, &isNumber);
    if (isNumber)
        return static_cast<uint32_t>(number);
    for (const NamedColour& c : kColours)
        if (hostsupport::CompareTexts(0, text, 0, c.name) == 0)
            return c.colour;
    return 0;
}

void LoadCameraConfiguration(CCamera* camera, int32_t id)
{
    CProfile profile;
    bool loaded = LoadConfigurationFile(&profile, id);
    camera->filters.Clear();
    if (!loaded)
        return;
    ReadFilters(camera, &profile);
    ReadDriverSettings(camera, &profile);
    ReadCrop(camera, &profile);
    profile.Release();
}

bool CCamera::Open(int32_t id)
{
    requestedId = id;
    Connect();
    hwBinX = hwBinY = swBinX = swBinY = doubleSample = 1;
    cropX = cropY = cropWidth = cropHeight = -1;
    LoadCameraConfiguration(this, id);
    return IsConnected();
}

} // namespace r6odi
