#include <cstring>

#include "setup/setup_dialog.h"

namespace k6dlg {
namespace {

// The predefined window classes, named in a template by their atoms.
constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;
constexpr WORD kComboBox = 0x0085;

constexpr DWORD kDialogStyle = 0x80C80AC0; // popup, caption, system menu, centred, foreground, modal frame, font
constexpr DWORD kLabel = 0x50000000;       // child, visible, left-aligned text
constexpr DWORD kCameraListStyle = 0x50210003;   // child, visible, vscroll, tab stop, drop-down list
constexpr DWORD kReadModeListStyle = 0x50210103; // the same, sorted
constexpr DWORD kEditStyle = 0x50810000;         // child, visible, border, tab stop, left
constexpr DWORD kCheckStyle = 0x50010003;        // child, visible, tab stop, auto check box
constexpr DWORD kDefaultButtonStyle = 0x50010001;
constexpr DWORD kButtonStyle = 0x50010000;

// Texts of a template are cut here, as every text of this dialog fits.
constexpr int kTextLimit = 50;

struct ControlEntry {
    WORD id;
    WORD classAtom;
    DWORD style;
    short x, y, cx, cy;
    const char* text; // ANSI; empty for none
};

// "\xB0" is the degree sign of the ANSI code page.
const ControlEntry kControls[] = {
    {200, kStatic, kLabel, 5, 5, 100, 12, "Select K5/K6/K7 camera:"},
    {kCameraList, kComboBox, kCameraListStyle, 5, 16, 110, 50, ""},
    {210, kStatic, kLabel, 5, 34, 100, 12, "Camera read mode:"},
    {kReadModeList, kComboBox, kReadModeListStyle, 5, 45, 110, 50, ""},
    {220, kStatic, kLabel, 5, 63, 100, 12, "Preflash time [s]:"},
    {kPreflashTimeEdit, kEdit, kEditStyle, 75, 61, 40, 12, ""},
    {230, kStatic, kLabel, 5, 81, 100, 12, "Num. of clears:"},
    {kClearCountEdit, kEdit, kEditStyle, 75, 79, 40, 12, ""},
    {240, kStatic, kLabel, 5, 99, 100, 12, "Max. step [\xB0" "C/min]:"},
    {kMaxStepEdit, kEdit, kEditStyle, 75, 97, 40, 12, ""},
    {250, kStatic, kLabel, 5, 117, 100, 12, "Act. CCD temp [\xB0" "C]:"},
    {kCcdTemperatureEdit, kEdit, kEditStyle, 75, 115, 40, 12, ""},
    {260, kStatic, kLabel, 5, 135, 100, 12, "Set CCD temp [\xB0" "C]:"},
    {kSetTemperatureEdit, kEdit, kEditStyle, 75, 133, 40, 12, ""},
    {kWindowHeatingCheck, kButton, kCheckStyle, 5, 153, 110, 12, "CCD chamber window heating"},
    {IDOK, kButton, kDefaultButtonStyle, 5, 171, 50, 16, "OK"},
    {IDCANCEL, kButton, kButtonStyle, 65, 171, 50, 16, "Cancel"},
};
constexpr WORD kControlCount = sizeof kControls / sizeof kControls[0];
static_assert(kControlCount == 17, "the dialog has 17 controls");

// Appends little-endian fields and UTF-16 texts to the block, refusing
// anything that would run past its end.
class TemplateWriter {
public:
    TemplateWriter(BYTE* block, size_t capacity) : block_(block), capacity_(capacity) {}

    void Word(WORD value) { Bytes(&value, sizeof value); }
    void Dword(DWORD value) { Bytes(&value, sizeof value); }
    void Short(short value) { Bytes(&value, sizeof value); }

    // The text from the ANSI code page, cut at kTextLimit characters, and
    // its terminating zero.
    void Text(const char* text)
    {
        int length = static_cast<int>(strnlen(text, kTextLimit));
        size_t room = (capacity_ - used_) / sizeof(WCHAR);
        if (!ok_ || room < static_cast<size_t>(length) + 1) {
            ok_ = false;
            return;
        }
        auto* destination = reinterpret_cast<WCHAR*>(block_ + used_);
        int written = length == 0 ? 0
                                  : MultiByteToWideChar(CP_ACP, 0, text, length, destination,
                                                        static_cast<int>(room) - 1);
        if (written <= 0 && length != 0) {
            ok_ = false;
            return;
        }
        used_ += static_cast<size_t>(written) * sizeof(WCHAR);
        Word(0);
    }

    // Zero bytes (the block is zero-filled) up to the next 4-byte boundary.
    void AlignToDword()
    {
        size_t aligned = (used_ + 3) & ~static_cast<size_t>(3);
        if (aligned > capacity_)
            ok_ = false;
        else
            used_ = aligned;
    }

    size_t Used() const { return ok_ ? used_ : 0; }

private:
    void Bytes(const void* data, size_t size)
    {
        if (!ok_ || capacity_ - used_ < size) {
            ok_ = false;
            return;
        }
        std::memcpy(block_ + used_, data, size);
        used_ += size;
    }

    BYTE* block_;
    size_t capacity_;
    size_t used_ = 0;
    bool ok_ = true;
};

void WriteHeader(TemplateWriter& out)
{
    out.Dword(kDialogStyle);
    out.Dword(0); // extended style
    out.Word(kControlCount);
    out.Short(10);
    out.Short(10);
    out.Short(120);
    out.Short(194);
    out.Word(0); // no menu
    out.Word(0); // the default dialog class
    out.Text("K5/K6/K7 CCD Camera");
    out.Word(8); // point size, since DS_SETFONT is set
    out.Text("MS Sans Serif");
}

void WriteControl(TemplateWriter& out, const ControlEntry& control)
{
    out.AlignToDword();
    out.Dword(control.style);
    out.Dword(0); // extended style
    out.Short(control.x);
    out.Short(control.y);
    out.Short(control.cx);
    out.Short(control.cy);
    out.Word(control.id);
    out.Word(0xFFFF); // the class follows as an atom
    out.Word(control.classAtom);
    out.Text(control.text);
    out.Word(0); // no creation data
}

} // namespace

size_t WriteSetupTemplate(BYTE* block, size_t capacity)
{
    TemplateWriter out(block, capacity);
    WriteHeader(out);
    for (const ControlEntry& control : kControls)
        WriteControl(out, control);
    return out.Used();
}

INT_PTR ShowSetupDialog(HINSTANCE instance, HWND owner)
{
    HGLOBAL memory = GlobalAlloc(GMEM_ZEROINIT, kTemplateBlockSize);
    if (memory == nullptr)
        return -1;
    auto* block = static_cast<BYTE*>(GlobalLock(memory));
    size_t used = block == nullptr ? 0 : WriteSetupTemplate(block, kTemplateBlockSize);
    GlobalUnlock(memory);
    INT_PTR result = -1;
    if (used != 0)
        result = DialogBoxIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(block), owner,
                                         SetupDialogProc, 0);
    GlobalFree(memory);
    return result;
}

} // namespace k6dlg
