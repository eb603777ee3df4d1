// The emulated dialog manager beyond what the setup dialog asks of it: the
// order a sorted combo box keeps, the application's WM_QUIT, and a user who
// leaves the dialog waiting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/emul/control.h"
#include "platform/emul/dialog_control.h"
#include "platform/win32.h"
#include "setup/setup_dialog.h"

namespace {

std::vector<std::string> sortedEntries;

INT_PTR CALLBACK FillSortedList(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2", "Beta"})
        SendDlgItemMessageA(dialog, 211, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    for (int i = 0; i < SendDlgItemMessageA(dialog, 211, CB_GETCOUNT, 0, 0); ++i) {
        char text[32] = {};
        SendDlgItemMessageA(dialog, 211, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        sortedEntries.push_back(text);
    }
    EndDialog(dialog, 7);
    return TRUE;
}

INT_PTR CALLBACK Passive(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class DialogManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        emu::TakeMisuseReports();
        before_ = emu::Snapshot();
        ASSERT_EQ(k6dlg::WriteSetupTemplate(block_.bytes, sizeof block_.bytes), k6dlg::kTemplateSize);
    }
    void TearDown() override
    {
        emu::SetDialogUser({});
        EXPECT_EQ(emu::Snapshot().windows, before_.windows);
        EXPECT_EQ(emu::Snapshot().timers, before_.timers);
    }
    INT_PTR Run(DLGPROC procedure)
    {
        return DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(block_.bytes), nullptr,
                                       procedure, 0);
    }

private:
    struct {
        alignas(8) BYTE bytes[k6dlg::kTemplateBlockSize] = {};
    } block_;
    emu::Counts before_;
};

TEST_F(DialogManager, SortedComboBoxKeepsCaseBlindOrderAndEndingInInitDialogEndsAtOnce)
{
    sortedEntries.clear();
    emu::SetDialogUser([](HWND) { ADD_FAILURE() << "the dialog waited after ending in WM_INITDIALOG"; });
    EXPECT_EQ(Run(FillSortedList), 7);
    EXPECT_EQ(sortedEntries, (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "Beta", "gamma"}));
}

// A WM_QUIT posted while the dialog runs ends it and is given back to the
// application's own loop.
TEST_F(DialogManager, QuitEndsTheDialogAndStaysForTheApplication)
{
    emu::SetDialogUser([](HWND) { PostQuitMessage(3); });
    EXPECT_EQ(Run(Passive), 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
}

// Cancel reaches a procedure that ignores it: the dialog stays until a user
// who does nothing more makes the emulation end it, reporting why.
TEST_F(DialogManager, AUserWhoDoesNothingEndsTheDialogWithAReport)
{
    int calls = 0;
    emu::SetDialogUser([&calls](HWND dialog) {
        if (calls++ == 0)
            emu::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(Run(Passive), 0);
    EXPECT_EQ(calls, 2);
    std::vector<std::string> reports = emu::TakeMisuseReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("did nothing"), std::string::npos);
    EXPECT_FALSE(EndDialog(nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

} // namespace

namespace {

// A template written by hand: no font, one control whose class is named
// rather than given by its atom.
std::vector<WORD> NamedClassTemplate(const char16_t* className)
{
    std::vector<WORD> words = {0x0000, 0x8000, 0, 0, 1, 0, 0, 50, 20, 0, 0, 'T', 0, 0};
    // The control (at byte 28, 4-byte aligned): child | visible, id 5.
    for (WORD w : {WORD(0x0000), WORD(0x5000), WORD(0), WORD(0), WORD(1), WORD(1), WORD(40), WORD(12), WORD(5)})
        words.push_back(w);
    for (const char16_t* c = className; *c != 0; ++c)
        words.push_back(*c);
    for (WORD w : {WORD(0), WORD('h'), WORD('i'), WORD(0), WORD(0)})
        words.push_back(w);
    return words;
}

emu::ControlView namedView;

INT_PTR CALLBACK LookAtControl5(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    emu::ViewControl(dialog, 5, &namedView);
    EndDialog(dialog, 1);
    return TRUE;
}

TEST(DialogManagerNames, AControlClassGivenByNameIsBuilt)
{
    struct Case {
        const char16_t* name;
        INT_PTR result;
        WORD atom;
    } cases[] = {{u"Edit", 1, 0x0081}, {u"BUTTON", 1, 0x0080}, {u"ListBox", -1, 0}};
    for (const Case& c : cases) {
        std::vector<WORD> words = NamedClassTemplate(c.name);
        ASSERT_EQ(reinterpret_cast<uintptr_t>(words.data()) % 4, 0u);
        words.resize(words.size() + 64, 0);
        namedView = emu::ControlView{};
        EXPECT_EQ(DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), nullptr,
                                          LookAtControl5, 0),
                  c.result);
        EXPECT_EQ(namedView.classAtom, c.atom);
        if (c.result == 1) {
            EXPECT_EQ(namedView.text, "hi");
        }
    }
}

} // namespace
