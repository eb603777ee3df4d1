// Window classes and the hidden peer window: registration by atom, the
// user-data slot that carries the owner, default processing and the order
// in which a class can be unregistered.
#include "contract/test_window.h"

using contract::TestWindow;

CONTRACT_TEST(Windows, HiddenWindowOfAClassGivenByAtom)
{
    TestWindow test;
    REQUIRE(test.atom() != 0);
    REQUIRE(test.window() != nullptr);
    CHECK(IsWindow(test.window()));
    CHECK_EQ(static_cast<ATOM>(GetClassLongA(test.window(), GCW_ATOM)), test.atom());

    // Creation messages reach the procedure before CreateWindowExA returns,
    // WM_NCCREATE first: the owner cannot have stored itself yet.
    int ncCreate = contract::FirstIndexOf(WM_NCCREATE);
    int create = contract::FirstIndexOf(WM_CREATE);
    CHECK(ncCreate >= 0);
    CHECK(create > ncCreate);
}

CONTRACT_TEST(Windows, UserDataHoldsAPointer)
{
    TestWindow test;
    REQUIRE(test.window() != nullptr);
    static int owner;
    LONG_PTR value = reinterpret_cast<LONG_PTR>(&owner);

    CHECK_EQ(GetWindowLongPtrA(test.window(), GWLP_USERDATA), 0);
    CHECK_EQ(SetWindowLongPtrA(test.window(), GWLP_USERDATA, value), 0);
    CHECK_EQ(GetWindowLongPtrA(test.window(), GWLP_USERDATA), value);
    CHECK_EQ(SetWindowLongPtrA(test.window(), GWLP_USERDATA, 0), value);
    CHECK_EQ(GetWindowLongPtrA(test.window(), GWLP_USERDATA), 0);
}

CONTRACT_TEST(Windows, DefaultProcessing)
{
    TestWindow test;
    REQUIRE(test.window() != nullptr);
    CHECK_EQ(DefWindowProcA(test.window(), WM_USER + 5, 1, 2), 0);
    CHECK_EQ(SendMessageA(test.window(), WM_USER + 6, 3, 4), 0);
    std::vector<contract::ReceivedMessage> sent = contract::Received(WM_USER + 6);
    REQUIRE(sent.size() == 1u);
    CHECK_EQ(sent[0].wParam, 3u);
    CHECK_EQ(sent[0].lParam, 4);

    // WM_CLOSE by default destroys the window, with WM_DESTROY before
    // WM_NCDESTROY.
    CHECK_EQ(DefWindowProcA(test.window(), WM_CLOSE, 0, 0), 0);
    CHECK(!IsWindow(test.window()));
    int destroy = contract::FirstIndexOf(WM_DESTROY);
    CHECK(destroy >= 0);
    CHECK(contract::FirstIndexOf(WM_NCDESTROY) > destroy);
}

CONTRACT_TEST(Windows, ClassWithWindowsCannotBeUnregistered)
{
    char name[64];
    ATOM atom = contract::RegisterRecordingClass(name, sizeof name);
    REQUIRE(atom != 0);
    HWND window = contract::CreateHiddenWindow(atom);
    REQUIRE(window != nullptr);

    SetLastError(ERROR_SUCCESS);
    CHECK(!UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));
    CHECK_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);

    CHECK(DestroyWindow(window));
    CHECK(!IsWindow(window));
    CHECK(UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));

    SetLastError(ERROR_SUCCESS);
    CHECK(!UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));
    CHECK_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
    CHECK(contract::CreateHiddenWindow(atom) == nullptr);
}

CONTRACT_TEST(Windows, SameNameCannotBeRegisteredTwice)
{
    char name[64];
    ATOM atom = contract::RegisterRecordingClass(name, sizeof name);
    REQUIRE(atom != 0);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.lpfnWndProc = contract::RecordingWindowProc;
    wc.hInstance = contract::ModuleInstance();
    wc.lpszClassName = name;
    SetLastError(ERROR_SUCCESS);
    CHECK_EQ(RegisterClassExA(&wc), 0);
    CHECK_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
    CHECK(UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));

    // Once unregistered, the name is free again.
    ATOM again = RegisterClassExA(&wc);
    CHECK(again != 0);
    if (again != 0)
        CHECK(UnregisterClassA(MAKEINTATOM(again), contract::ModuleInstance()));
}

// The peer window class is registered by the driver's module and its
// windows are made from the atom with the same instance; an atom does not
// find the class for another module's instance.
CONTRACT_TEST(Windows, ClassAtomServesOnlyTheInstanceThatRegisteredIt)
{
    char name[64];
    ATOM atom = contract::RegisterRecordingClass(name, sizeof name);
    REQUIRE(atom != 0);
    HINSTANCE other = contract::OtherModuleInstance();
    REQUIRE(other != nullptr && other != contract::ModuleInstance());
    HWND stray = CreateWindowExA(WS_EX_TOOLWINDOW, MAKEINTATOM(atom), "", 0, -1, -1, 0, 0, nullptr,
                                 nullptr, other, nullptr);
    CHECK(stray == nullptr);
    if (stray != nullptr)
        DestroyWindow(stray);
    HWND window = contract::CreateHiddenWindow(atom);
    CHECK(window != nullptr);
    if (window != nullptr)
        CHECK(DestroyWindow(window));
    CHECK(UnregisterClassA(MAKEINTATOM(atom), contract::ModuleInstance()));
}
