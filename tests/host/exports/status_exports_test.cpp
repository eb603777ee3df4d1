// Name, status line, temperature and filter wheel through their exports on a
// connected camera.
#include <climits>
#include <string>

#include "host/exports/exports_fixture.h"

namespace {

class StatusExportsTest : public ExportsTest {
protected:
    void SetUp() override
    {
        ExportsTest::SetUp();
        Plug(1, 768, 512);
        ASSERT_NO_FATAL_FAILURE(Connect());
        camera->ClearWireLog();
    }

    static std::string Text(INT_PTR result) { return reinterpret_cast<const char*>(result); }

    // The sensor reports `count` for the temperature from now on.
    void SensorCount(uint16_t count)
    {
        camera->DefineCommand(15, [count](sim::CameraState&, const sim::Bytes&) {
            return sim::Bytes{0x80, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
        });
    }
};

struct InfoCase {
    float celsius;
    float utilization;
    const char* text;
};

const InfoCase kInfoCases[] = {
    {kNoTemperature, 0.0f, "T: N/A 0%"},
    {kNoTemperature, 0.456f, "T: N/A 46%"},
    {20.0f, 1.0f, "T: 20.0\xB0" "C 100%"},
    {-10.456f, 0.5f, "T: -10.46\xB0" "C 50%"},
    {-0.004f, 0.004f, "T: 0.0\xB0" "C 0%"},
    {12.345f, 0.0049f, "T: 12.35\xB0" "C 0%"},
    {-99.999f, -1.0f, "T: -100.0\xB0" "C -99%"},
};

TEST_F(StatusExportsTest, InfoShowsTemperatureAndUtilization)
{
    for (const InfoCase& c : kInfoCases) {
        driverState.camera->ccdTemperature = c.celsius;
        driverState.camera->smoothedUtilization = c.utilization;
        INT_PTR result = d_GetInfo();
        EXPECT_EQ(Text(result), c.text);
        EXPECT_EQ(reinterpret_cast<const char*>(result), driverState.infoText);
    }
    EXPECT_EQ(CommandsSent(), "");
}

TEST_F(StatusExportsTest, NameIsTheDescriptionCutTo14Characters)
{
    d_Finalize();
    bus.Detach(camera);
    camera.reset();
    Attach(1, 90, "KS00090", "ABCDEFGHIJKLMNO");
    ASSERT_EQ(d_Initialize(nullptr), 1);
    ASSERT_TRUE(driverState.camera->Open(90));
    EXPECT_EQ(Text(d_GetName()), "ABCDEFGHIJKLMN");
    EXPECT_EQ(reinterpret_cast<const char*>(d_GetName()), driverState.nameText);
}

struct TemperatureCase {
    uint16_t count; // a type 1 camera's count
    int millis;     // the reading x 1000 + 0.5, truncated toward zero
};

const TemperatureCase kTemperatureCases[] = {
    {9756, -49}, // -49.666 + 0.5
    {9761, -5},  // -5.720 + 0.5
    {9762, 3},
    {9766, 38},  // 37.726 + 0.5
};

TEST_F(StatusExportsTest, TemperatureIsInThousandthsRoundedHalfUpTowardZero)
{
    for (const TemperatureCase& c : kTemperatureCases) {
        SensorCount(c.count);
        camera->ClearWireLog();
        EXPECT_EQ(d_GetTemperature(), c.millis) << "count " << c.count;
        EXPECT_EQ(camera->CommandWrites(), (Writes{{15, 0}}));
    }
}

TEST_F(StatusExportsTest, FailedReadingIsNoReadingNeverAnEarlierOne)
{
    SensorCount(9766);
    ASSERT_EQ(d_GetTemperature(), 38);
    camera->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(15));
    EXPECT_EQ(d_GetTemperature(), -274000);
    camera->InjectReplyFault(sim::ReplyFault::Lost().ForCommand(15));
    EXPECT_EQ(d_GetTemperature(), -274000);
    EXPECT_EQ(d_GetTemperature(), 38);
}

struct FilterStep {
    int operation;
    int value;
    INT_PTR result;
    int currentFilter; // afterwards
    const char* commands;
};

// A five-position wheel, used in this order.
const FilterStep kFilterSteps[] = {
    {0, 0, 5, 0, ""},
    {4, 3, 1, 2, "14"},
    {5, 0, 2, 2, ""},
    {4, 6, 0, 2, "14"},       // the camera has no sixth position
    {4, 256, 0, 2, "14"},     // position 255, the last that one byte carries
    {4, 257, 0, 2, ""},       // one byte cannot carry 256, nor anything below 0
    {4, 0, 0, 2, ""},
    {4, INT_MIN, 0, 2, ""},
    {2, 0, 1, 1, ""},         // the record alone moves
    {5, 0, 1, 1, ""},
    {4, 5, 1, 4, "14"},
    {3, 7, 1, 4, ""},
    {6, 0, 0, 4, ""},
    {-1, 0, 0, 4, ""},
};

TEST_F(StatusExportsTest, FilterWheelOperations)
{
    for (const FilterStep& s : kFilterSteps) {
        camera->ClearWireLog();
        EXPECT_EQ(d_FilterWheel(s.operation, s.value), s.result)
            << "operation " << s.operation << ", value " << s.value;
        EXPECT_EQ(driverState.currentFilter, s.currentFilter);
        EXPECT_EQ(CommandsSent(), s.commands);
    }
    EXPECT_EQ(camera->Settings().filterPosition, 4);
    EXPECT_EQ(Text(d_FilterWheel(1, 0)), "Kx Camera Internal Filter Wheel");
}

} // namespace
