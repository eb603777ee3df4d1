// The emulated dialog manager refuses what Windows' would not build, and
// makes nothing for it.
#include <cstring>

#include "platform/emul/control.h"
#include "platform/emul/dialog_control.h"
#include "setup/setup_dialog.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

namespace {

INT_PTR CALLBACK NeverCalled(HWND, UINT, WPARAM, LPARAM)
{
    ADD_FAILURE() << "a refused template reached its procedure";
    return FALSE;
}

// The setup template, then one change to it.
struct Mangled {
    const char* name;
    std::function<void(std::vector<BYTE>&)> change;
    DWORD error;
};

void PutWord(std::vector<BYTE>& bytes, size_t at, WORD value) { std::memcpy(&bytes[at], &value, 2); }

constexpr size_t kFirstControl = 92;
constexpr size_t kCaption = 22;

class MalformedTemplate : public ::testing::TestWithParam<Mangled> {};

TEST_P(MalformedTemplate, IsRefusedWithNothingCreated)
{
    // 64 KiB: however far a refused template makes the reader go, it stays
    // inside this buffer.
    std::vector<BYTE> bytes(0x10000 + 8, 0);
    ASSERT_EQ(k6dlg::WriteSetupTemplate(bytes.data(), k6dlg::kTemplateBlockSize), k6dlg::kTemplateSize);
    GetParam().change(bytes);
    bytes.resize(0x10000 + 8, 0);
    emu::Counts before = emu::Snapshot();
    SetLastError(0);
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), nullptr,
                                      NeverCalled, 0),
              -1);
    EXPECT_EQ(GetLastError(), GetParam().error);
    EXPECT_EQ(emu::Snapshot().windows, before.windows);
}

const Mangled kMangled[] = {
    {"Extended", [](auto& b) { PutWord(b, 0, 1); PutWord(b, 2, 0xFFFF); }, ERROR_INVALID_PARAMETER},
    // A menu or a class of the dialog's own takes room; a character less
    // in the caption keeps the controls where they were.
    {"MenuByOrdinal", [](auto& b) {
         b.erase(b.begin() + 18, b.begin() + 20);
         b.insert(b.begin() + 18, {0xFF, 0xFF, 7, 0});
         b.erase(b.begin() + 24, b.begin() + 26);
     }, ERROR_RESOURCE_NAME_NOT_FOUND},
    {"DialogClassByName", [](auto& b) {
         b.insert(b.begin() + 20, {'X', 0});
         b.erase(b.begin() + 24, b.begin() + 26);
     }, ERROR_CLASS_DOES_NOT_EXIST},
    {"UnknownControlAtom", [](auto& b) { PutWord(b, kFirstControl + 20, 0x0090); }, ERROR_CLASS_DOES_NOT_EXIST},
    {"ListBoxIsNotEmulated", [](auto& b) { PutWord(b, kFirstControl + 20, 0x0083); }, ERROR_CLASS_DOES_NOT_EXIST},
    {"CaptionWithoutEnd", [](auto& b) {
         for (size_t i = kCaption; i < b.size(); i += 2)
             PutWord(b, i, 'A');
     }, ERROR_INVALID_PARAMETER},
    {"MoreControlsThanThereAre", [](auto& b) { PutWord(b, 8, 0xFFFF); }, ERROR_INVALID_PARAMETER},
};

INSTANTIATE_TEST_SUITE_P(Cases, MalformedTemplate, ::testing::ValuesIn(kMangled),
                         [](const ::testing::TestParamInfo<Mangled>& info) { return info.param.name; });

TEST(DialogTemplateReader, RefusesAnUnalignedOrNullStart)
{
    alignas(8) BYTE bytes[k6dlg::kTemplateBlockSize] = {};
    ASSERT_EQ(k6dlg::WriteSetupTemplate(bytes, sizeof bytes), k6dlg::kTemplateSize);
    emu::DialogTemplateView view;
    DWORD error = 0;
    EXPECT_TRUE(emu::ParseDialogTemplate(bytes, k6dlg::kTemplateSize, &view, &error));
    EXPECT_FALSE(emu::ParseDialogTemplate(bytes, k6dlg::kTemplateSize - 1, &view, &error));
    EXPECT_FALSE(emu::ParseDialogTemplate(bytes + 2, sizeof bytes - 2, &view, &error));
    EXPECT_FALSE(emu::ParseDialogTemplate(nullptr, 0, &view, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

} // namespace
