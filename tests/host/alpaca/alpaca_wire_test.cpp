// The server's wire formats and its mapping onto the driver's frame, without
// a server: ImageBytes metadata and element order, the parameter rules, and
// the window that makes d_Subframe enclose any rectangle.
#include <gtest/gtest.h>

#include <random>

#include "driver_window.h"
#include "image_encoding.h"
#include "request.h"

namespace alpaca {
namespace {

TEST(ImageBytes, WorkedExampleOfTheStandard)
{
    // NumX 3, NumY 2, ClientTransactionID 42, ServerTransactionID 7.
    const unsigned char want[44] = {1, 0, 0, 0, 0, 0, 0, 0, 42, 0, 0, 0, 7, 0, 0, 0, 44, 0, 0, 0, 2, 0,
                                    0, 0, 8, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ImageBytesHeader(42, 7, 3, 2), std::string(reinterpret_cast<const char*>(want), 44));
    // Rows 0: 1 2 3, 1: 4 5 6 go out column by column.
    Image image(3, 2, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(image.Columns(), (std::vector<uint16_t>{1, 4, 2, 5, 3, 6}));
    std::string json = JsonImageOpening();
    AppendJsonColumns(image, 0, 2, &json);
    AppendJsonColumns(image, 2, 3, &json);
    EXPECT_EQ(json + JsonImageClosing(9, 10),
              "{\"Type\":2,\"Rank\":2,\"Value\":[[1,4],[2,5],[3,6]],\"ClientTransactionID\":9,"
              "\"ServerTransactionID\":10,\"ErrorNumber\":0,\"ErrorMessage\":\"\"}");
}

TEST(Request, ParametersByTheStandardsRules)
{
    struct Case {
        const char* text;
        bool put;
        bool idsOk;
        uint32_t transaction;
        bool binOk;
        int32_t bin;
    } cases[] = {
        {"BinX=3&ClientTransactionID=12", true, true, 12, true, 3},
        {"binx=3&clienttransactionid=12", false, true, 12, true, 3},   // GET: any casing
        {"bINX=3&clienttransactionid=12", true, true, 0, false, 0},     // PUT: exact casing only
        {"BinX=%2B4&ClientID=4294967295", true, true, 0, true, 4},      // decoded: +4
        {"BinX=3&ClientID=4294967296", true, false, 0, true, 3},
        {"BinX=3&ClientTransactionID=-1", true, false, 0, true, 3},
        {"BinX=asduio6fghZZ", true, true, 0, false, 0},
        {"BinX=2.5", true, true, 0, false, 0},
        {"BinX=", true, true, 0, false, 0},
        {"BinX=2147483648", true, true, 0, false, 0},
    };
    for (const Case& c : cases) {
        Request request(c.text, c.put);
        EXPECT_EQ(request.ReadIds(), c.idsOk) << c.text;
        if (c.idsOk) {
            EXPECT_EQ(request.ClientTransactionId(), c.transaction) << c.text;
        }
        int32_t bin = 0;
        EXPECT_EQ(request.Int("BinX", &bin), c.binOk) << c.text;
        if (c.binOk) {
            EXPECT_EQ(bin, c.bin) << c.text;
        }
    }
    bool on = false;
    for (const char* text : {"On=TRUE", "On=true", "On=True"})
        EXPECT_TRUE(Request(text, true).Bool("On", &on) && on) << text;
    for (const char* text : {"On=", "On=123456", "On=asdqwe", "On=1"})
        EXPECT_FALSE(Request(text, true).Bool("On", &on)) << text;
}

// d_Subframe's own arithmetic on the binned sensor: the frame it makes of
// a window, y from the top.
DriverWindow DriverFrame(int bw, int bh, DriverWindow w)
{
    w.frameX = (int)((int64_t)w.x * bw / 100000);
    w.frameWidth = (int)((int64_t)w.width * bw / 100000);
    w.frameHeight = (int)((int64_t)w.height * bh / 100000);
    w.frameY = bh - w.frameHeight - (int)((int64_t)w.y * bh / 100000);
    if (w.frameX >= bw)
        w.frameX = bw - 1;
    if (w.frameY >= bh)
        w.frameY = bh - 1;
    if (w.frameX + w.frameWidth > bw)
        w.frameWidth = bw - w.frameX;
    if (w.frameY + w.frameHeight > bh)
        w.frameHeight = bh - w.frameY;
    return w;
}

TEST(DriverWindow, TheDriversFrameEnclosesEveryRectangle)
{
    std::mt19937 random(20261208);
    for (auto [bw, bh] : {std::pair{1392, 1040}, {464, 346}, {4008, 2672}, {1, 1}, {687, 733}})
        for (int i = 0; i < 4000; ++i) {
            int nx = (int)(random() % (unsigned)bw) + 1;
            int ny = (int)(random() % (unsigned)bh) + 1;
            int x = (int)(random() % (unsigned)(bw - nx + 1));
            int y = (int)(random() % (unsigned)(bh - ny + 1));
            DriverWindow chosen = EnclosingWindow(bw, bh, x, y, nx, ny);
            DriverWindow made = DriverFrame(bw, bh, chosen);
            ASSERT_EQ(made.frameX, chosen.frameX);
            ASSERT_EQ(made.frameY, chosen.frameY);
            ASSERT_EQ(made.frameWidth, chosen.frameWidth);
            ASSERT_EQ(made.frameHeight, chosen.frameHeight);
            ASSERT_TRUE(made.frameX <= x && made.frameX + made.frameWidth >= x + nx) << bw << " " << x << "+" << nx;
            ASSERT_TRUE(made.frameY <= y && made.frameY + made.frameHeight >= y + ny) << bh << " " << y << "+" << ny;
            // Never more than a pixel or two beyond the rectangle: the
            // readout stays the size asked.
            ASSERT_LE(made.frameWidth - nx, 1 + bw / 100000 + 1);
        }
}

} // namespace
} // namespace alpaca
