// The setup dialog's template, read back as the dialog manager reads it and
// compared field by field with the dialog as it is meant to look.
#include <cstring>

#include "setup/setup_dialog.h"
#include "setup_fixture.h"

namespace {

struct ExpectedControl {
    WORD id;
    WORD classAtom;
    DWORD style;
    short x, y, cx, cy;
    std::u16string text;
};

const ExpectedControl kExpected[] = {
    {200, 0x0082, 0x50000000, 5, 5, 100, 12, u"Select K5/K6/K7 camera:"},
    {201, 0x0085, 0x50210003, 5, 16, 110, 50, u""},
    {210, 0x0082, 0x50000000, 5, 34, 100, 12, u"Camera read mode:"},
    {211, 0x0085, 0x50210103, 5, 45, 110, 50, u""},
    {220, 0x0082, 0x50000000, 5, 63, 100, 12, u"Preflash time [s]:"},
    {221, 0x0081, 0x50810000, 75, 61, 40, 12, u""},
    {230, 0x0082, 0x50000000, 5, 81, 100, 12, u"Num. of clears:"},
    {231, 0x0081, 0x50810000, 75, 79, 40, 12, u""},
    {240, 0x0082, 0x50000000, 5, 99, 100, 12, u"Max. step [°C/min]:"},
    {241, 0x0081, 0x50810000, 75, 97, 40, 12, u""},
    {250, 0x0082, 0x50000000, 5, 117, 100, 12, u"Act. CCD temp [°C]:"},
    {251, 0x0081, 0x50810000, 75, 115, 40, 12, u""},
    {260, 0x0082, 0x50000000, 5, 135, 100, 12, u"Set CCD temp [°C]:"},
    {261, 0x0081, 0x50810000, 75, 133, 40, 12, u""},
    {270, 0x0080, 0x50010003, 5, 153, 110, 12, u"CCD chamber window heating"},
    {1, 0x0080, 0x50010001, 5, 171, 50, 16, u"OK"},
    {2, 0x0080, 0x50010000, 65, 171, 50, 16, u"Cancel"},
};

// The block as ShowSetupDialog fills it: 1024 zero bytes, 4-byte aligned.
struct Block {
    alignas(8) BYTE bytes[k6dlg::kTemplateBlockSize] = {};
};

TEST(SetupTemplate, EveryFieldReadsBackAsTheDialogIsDrawn)
{
    Block block;
    ASSERT_EQ(k6dlg::WriteSetupTemplate(block.bytes, sizeof block.bytes), 882u);
    emu::DialogTemplateView view;
    DWORD error;
    ASSERT_TRUE(emu::ParseDialogTemplate(block.bytes, sizeof block.bytes, &view, &error));
    EXPECT_EQ(view.size, 882u);
    EXPECT_EQ(view.style, 0x80C80AC0u);
    EXPECT_EQ(view.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER |
                                             DS_SETFOREGROUND | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(view.exStyle, 0u);
    EXPECT_EQ((std::vector<short>{view.x, view.y, view.cx, view.cy}), (std::vector<short>{10, 10, 120, 194}));
    EXPECT_FALSE(view.menu.present);
    EXPECT_FALSE(view.windowClass.present);
    EXPECT_EQ(view.caption, u"K5/K6/K7 CCD Camera");
    EXPECT_EQ(view.pointSize, 8);
    EXPECT_EQ(view.faceName, u"MS Sans Serif");
    ASSERT_EQ(view.items.size(), 17u);
    for (size_t i = 0; i < view.items.size(); ++i) {
        const emu::DialogItemTemplate& item = view.items[i];
        const ExpectedControl& want = kExpected[i];
        SCOPED_TRACE("control " + std::to_string(want.id));
        EXPECT_EQ(item.offset % 4, 0u);
        EXPECT_EQ(item.id, want.id);
        EXPECT_TRUE(item.windowClass.isOrdinal);
        EXPECT_EQ(item.windowClass.ordinal, want.classAtom);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ((std::vector<short>{item.x, item.y, item.cx, item.cy}),
                  (std::vector<short>{want.x, want.y, want.cx, want.cy}));
        EXPECT_FALSE(item.title.isOrdinal);
        EXPECT_EQ(item.title.text, want.text);
        EXPECT_EQ(item.title.present, !want.text.empty()); // no text: a single zero WORD
        EXPECT_TRUE(item.creationData.empty());
    }
    for (size_t i = 882; i < sizeof block.bytes; ++i)
        ASSERT_EQ(block.bytes[i], 0) << "byte " << i;
}

// Between controls the padding is the block's own zeros, and the first
// control starts where the font name ends.
TEST(SetupTemplate, PaddingIsZeroAndTheFirstControlFollowsTheHeader)
{
    Block block;
    std::memset(block.bytes, 0, sizeof block.bytes);
    ASSERT_EQ(k6dlg::WriteSetupTemplate(block.bytes, sizeof block.bytes), 882u);
    emu::DialogTemplateView view;
    DWORD error;
    ASSERT_TRUE(emu::ParseDialogTemplate(block.bytes, 882, &view, &error));
    EXPECT_EQ(view.items[0].offset, 92u); // 18 fixed + 2 + 2 + 40 caption + 2 + 28 font name
    for (size_t i = 1; i < view.items.size(); ++i) {
        // 18 fixed bytes, the class atom (4), the text and its zero, no creation data (2).
        size_t end = view.items[i - 1].offset + 26 + 2 * view.items[i - 1].title.text.size();
        EXPECT_EQ(view.items[i].offset, (end + 3) & ~size_t(3));
        for (size_t b = end; b < view.items[i].offset; ++b)
            EXPECT_EQ(block.bytes[b], 0);
    }
}

TEST(SetupTemplate, ABlockTooSmallTakesNothing)
{
    for (size_t capacity : {size_t(0), size_t(91), size_t(881)}) {
        Block block;
        EXPECT_EQ(k6dlg::WriteSetupTemplate(block.bytes, capacity), 0u) << capacity;
    }
    Block block;
    EXPECT_EQ(k6dlg::WriteSetupTemplate(block.bytes, 882), 882u);
}

} // namespace
