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
