#include <cfloat>

#include "device/camera.h"
#include "state/driver_state.h"
#include "exposure/aa_camera.h"
#include "hostsupport/number.h"
#include "protocol/sensor_readings.h"
#include "setup/instance_list.h"
#include "setup/setup_dialog.h"

namespace k6dlg {
namespace {

constexpr int kFieldCapacity = 31;

// Regulation runs in ticks of 10 s; the dialog speaks of minutes.
constexpr float kTicksPerMinute = 6.0f;

constexpr double kLongestPreflash = 65.535; // 65535 ms, the most the command carries
constexpr int32_t kMaxClearCount = 20;
constexpr double kSmallestStepPerMinute = 0.1;
constexpr double kLowestSetTemperature = -273.0;

// A typed value beyond a float's range would make the conversion undefined;
// it is held at the largest float of its sign instead.
float ToFloat(double value)
{
    if (value > FLT_MAX)
        return FLT_MAX;
    if (value < -FLT_MAX)
        return -FLT_MAX;
    return static_cast<float>(value);
}

void ShowReal(HWND window, int id, double value)
{
    char text[kFieldCapacity + 1];
    hostsupport::RealToText(value, 1, kFieldCapacity, text);
    SetDlgItemTextA(window, id, text);
}

void ShowRounded(HWND window, int id, float value)
{
    ShowReal(window, id, r6odi::RoundToHundredths(value));
}

bool ReadReal(HWND window, int id, double* value)
{
    char text[kFieldCapacity + 1] = {};
    GetDlgItemTextA(window, id, text, kFieldCapacity + 1);
    bool ok = false;
    double parsed = hostsupport::TextToReal(0, text, &ok);
    if (ok)
        *value = parsed;
    return ok;
}

bool ReadInteger(HWND window, int id, int32_t* value)
{
    char text[kFieldCapacity + 1] = {};
    GetDlgItemTextA(window, id, text, kFieldCapacity + 1);
    bool ok = false;
    int32_t parsed = hostsupport::TextToInteger(0, text, 10, &ok);
    if (ok)
        *value = parsed;
    return ok;
}

void SetReadOnly(HWND window, int id, bool readOnly)
{
    SendDlgItemMessageA(window, id, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

// Entries in list order. The entry whose id is the one chosen last is
// selected (the last of several); when none is, the first entry, so that
// OK always names a camera that is there.
void FillCameraList(HWND window)
{
    SendDlgItemMessageA(window, kCameraList, CB_RESETCONTENT, 0, 0);
    int selected = -1;
    int position = 0;
    for (CDriverInstanceListElem* entry; (entry = InstanceAt(position)) != nullptr; ++position) {
        SendDlgItemMessageA(window, kCameraList, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(entry->text));
        if (entry->cameraId == driverState.selectedCameraId)
            selected = position;
    }
    if (selected < 0 && position > 0)
        selected = 0;
    SendDlgItemMessageA(window, kCameraList, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void FillReadModeList(HWND window)
{
    SendDlgItemMessageA(window, kReadModeList, CB_RESETCONTENT, 0, 0);
    char name[kFieldCapacity + 1];
    for (uint32_t mode = 0; r6odi::CameraReadModeName(driverState.camera, mode, kFieldCapacity, name);
         ++mode)
        SendDlgItemMessageA(window, kReadModeList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageA(window, kReadModeList, CB_SETCURSEL,
                        static_cast<WPARAM>(driverState.readMode), 0);
}

void ShowSettings(HWND window)
{
    FillCameraList(window);
    FillReadModeList(window);
    SetReadOnly(window, kPreflashTimeEdit, !driverState.preflashSupported);
    ShowRounded(window, kPreflashTimeEdit, driverState.preflashTime);
    SetReadOnly(window, kClearCountEdit, !driverState.preflashSupported);
    char count[kFieldCapacity + 1];
    hostsupport::IntegerToText(driverState.clearCount, kFieldCapacity, count, 10);
    SetDlgItemTextA(window, kClearCountEdit, count);
    ShowRounded(window, kMaxStepEdit, driverState.maxTempStep * kTicksPerMinute);
    SetReadOnly(window, kCcdTemperatureEdit, true);
    if (driverState.ccdTemperature > kNoTemperature)
        ShowReal(window, kCcdTemperatureEdit, driverState.ccdTemperature);
    else
        SetDlgItemTextA(window, kCcdTemperatureEdit, "N/A");
    if (driverState.setTemperature != kNoTemperature)
        ShowRounded(window, kSetTemperatureEdit, driverState.setTemperature);
    CheckDlgButton(window, kWindowHeatingCheck, driverState.windowHeating ? BST_CHECKED : BST_UNCHECKED);
}

// Every field is read back, so a value left as shown is stored as shown; a
// field that does not parse leaves its value alone.
void StoreSettings(HWND window)
{
    int position = static_cast<int>(SendDlgItemMessageA(window, kCameraList, CB_GETCURSEL, 0, 0));
    if (CDriverInstanceListElem* entry = InstanceAt(position))
        driverState.selectedCameraId = entry->cameraId;
    driverState.readMode = static_cast<int32_t>(SendDlgItemMessageA(window, kReadModeList, CB_GETCURSEL, 0, 0));
    double real;
    if (ReadReal(window, kPreflashTimeEdit, &real))
        driverState.preflashTime = ToFloat(real > kLongestPreflash ? kLongestPreflash : real);
    int32_t clears;
    if (ReadInteger(window, kClearCountEdit, &clears)) {
        if (clears == 0)
            clears = 1;
        // Compared unsigned: a negative count is taken as a huge one.
        if (static_cast<uint32_t>(clears) > static_cast<uint32_t>(kMaxClearCount))
            clears = kMaxClearCount;
        driverState.clearCount = clears;
    }
    if (ReadReal(window, kMaxStepEdit, &real)) {
        if (real < kSmallestStepPerMinute)
            real = kSmallestStepPerMinute;
        driverState.maxTempStep = ToFloat(real) / kTicksPerMinute;
    }
    if (ReadReal(window, kSetTemperatureEdit, &real))
        driverState.setTemperature = ToFloat(real < kLowestSetTemperature ? kLowestSetTemperature : real);
    driverState.windowHeating = IsDlgButtonChecked(window, kWindowHeatingCheck) == BST_CHECKED;
}

} // namespace

INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowSettings(window);
        return TRUE;
    case WM_COMMAND:
        // Exactly the click (notification 0) of OK or Cancel; the caption's
        // close box arrives as Cancel.
        if (wParam == IDOK) {
            StoreSettings(window);
            EndDialog(window, 1);
            return TRUE;
        }
        if (wParam == IDCANCEL) {
            EndDialog(window, 1);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace k6dlg
