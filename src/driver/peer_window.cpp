#include "driver/peer_window.h"

#include "device/event_handler.h"
#include "state/driver_state.h"
#include "hostsupport/number.h"
#include "hostsupport/text.h"

namespace {

const char kPeerClassSuffix[] = "vellK6DriverPeerWindow";

// The owner of a peer window, or null when the window is not one of ours or
// carries no owner (yet, during creation, or any more, after its owner let go).
r6odi::CEventHandler* OwnerOf(HWND window)
{
    if (window == nullptr || driverState.peerClassAtom == 0)
        return nullptr;
    if (static_cast<WORD>(GetClassLongA(window, GCW_ATOM)) != driverState.peerClassAtom)
        return nullptr;
    return reinterpret_cast<r6odi::CEventHandler*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

} // namespace

void RegisterPeerWindowClass()
{
    // A name of its own at each load, so that a class left behind by an
    // earlier copy of the module can never collide with this one.
    char name[64];
    hostsupport::IntegerToText(static_cast<int32_t>(GetTickCount()), 63, name, 16);
    hostsupport::AppendText(63, name, 0, kPeerClassSuffix);

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = 0;
    wc.lpfnWndProc = PeerWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = driverState.moduleInstance;
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = name;
    wc.hIconSm = nullptr;
    driverState.peerClassAtom = static_cast<WORD>(RegisterClassExA(&wc));
}

LRESULT CALLBACK PeerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    r6odi::CEventHandler* owner = OwnerOf(window);
    if (owner != nullptr) {
        LRESULT result = reinterpret_cast<LRESULT>(window);
        if (owner->HandleMessage(message, wParam, lParam, &result))
            return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
