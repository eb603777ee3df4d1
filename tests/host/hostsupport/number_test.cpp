#include "hostsupport/number.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "guarded_buffer.h"

using hostsupport::IntegerToText;
using hostsupport::RealToText;
using hostsupport::TextToInteger;
using hostsupport::TextToReal;
using hostsupport_test::GuardedBuffer;

namespace {

std::string IntegerText(int32_t value, int radix, int capacity = 63)
{
    GuardedBuffer buffer;
    IntegerToText(value, capacity, buffer.data(), radix);
    EXPECT_TRUE(buffer.UntouchedFrom(capacity + 1));
    return buffer.text();
}

std::string RealText(double value, int precision = 1, int capacity = 31)
{
    GuardedBuffer buffer;
    RealToText(value, precision, capacity, buffer.data());
    EXPECT_TRUE(buffer.UntouchedFrom(capacity + 1));
    return buffer.text();
}

// Parses and reports the flag; the flag starts opposite to what a correct
// parser must leave, so a parser that never writes it fails.
struct Parsed {
    int32_t value;
    bool ok;
};
Parsed Integer(const char* text, int radix = 10, int length = 0)
{
    bool okFalse = false;
    int32_t first = TextToInteger(length, text, radix, &okFalse);
    bool okTrue = true;
    int32_t second = TextToInteger(length, text, radix, &okTrue);
    EXPECT_EQ(first, second);
    EXPECT_EQ(okFalse, okTrue);
    return {first, okFalse};
}

TEST(IntegerToText, DecimalIsSigned)
{
    EXPECT_EQ(IntegerText(-1, 10), "-1");
    EXPECT_EQ(IntegerText(0, 10), "0");
    EXPECT_EQ(IntegerText(17, 10), "17");
    EXPECT_EQ(IntegerText(INT_MIN, 10), "-2147483648");
    EXPECT_EQ(IntegerText(INT_MAX, 10), "2147483647");
}

TEST(IntegerToText, OtherRadixesWriteTheUnsignedPattern)
{
    EXPECT_EQ(IntegerText(0x1A2B3C, 16), "1A2B3C");
    EXPECT_EQ(IntegerText(0, 16), "0");
    EXPECT_EQ(IntegerText(-1, 16), "FFFFFFFF");
    EXPECT_EQ(IntegerText(INT_MIN, 16), "80000000");
    EXPECT_EQ(IntegerText(5, 2), "101");
    EXPECT_EQ(IntegerText(35, 36), "Z");
    EXPECT_EQ(IntegerText(8, 8), "10");
}

TEST(IntegerToText, UnsupportedRadixGivesEmptyText)
{
    EXPECT_EQ(IntegerText(17, 1), "");
    EXPECT_EQ(IntegerText(17, 37), "");
    EXPECT_EQ(IntegerText(17, 0), "");
}

TEST(IntegerToText, CutsToCapacity)
{
    EXPECT_EQ(IntegerText(-2147483647 - 1, 10, 11), "-2147483648");
    EXPECT_EQ(IntegerText(-2147483647 - 1, 10, 10), "-214748364");
    EXPECT_EQ(IntegerText(12345, 10, 0), "");
}

TEST(TextToInteger, ReadsWholeTextWithBlanksAndSign)
{
    Parsed plain = Integer("17");
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.value, 17);

    Parsed blanks = Integer(" \t-42 \t");
    EXPECT_TRUE(blanks.ok);
    EXPECT_EQ(blanks.value, -42);

    Parsed plus = Integer("+7");
    EXPECT_TRUE(plus.ok);
    EXPECT_EQ(plus.value, 7);

    Parsed zeros = Integer("0048");
    EXPECT_TRUE(zeros.ok);
    EXPECT_EQ(zeros.value, 48);
}

TEST(TextToInteger, DecimalRangeEndsAreExact)
{
    EXPECT_EQ(Integer("2147483647").value, INT_MAX);
    EXPECT_TRUE(Integer("2147483647").ok);
    EXPECT_EQ(Integer("-2147483648").value, INT_MIN);
    EXPECT_TRUE(Integer("-2147483648").ok);
    EXPECT_FALSE(Integer("2147483648").ok);
    EXPECT_FALSE(Integer("-2147483649").ok);
    EXPECT_FALSE(Integer("4294967296").ok);
    EXPECT_FALSE(Integer("99999999999999999999999").ok);
}

TEST(TextToInteger, RejectsAnythingButOneNumber)
{
    for (const char* text : {"", "   ", "-", "+", "12a", "a12", "1 2", "0x10", "--1", "+-1", "1.0", "1e3"}) {
        Parsed parsed = Integer(text);
        EXPECT_FALSE(parsed.ok) << '"' << text << '"';
        EXPECT_EQ(parsed.value, 0) << '"' << text << '"';
    }
    EXPECT_FALSE(Integer(nullptr).ok);
    EXPECT_FALSE(Integer("17", 1).ok);
    EXPECT_FALSE(Integer("17", 37).ok);
}

TEST(TextToInteger, HexadecimalIsTheInverseOfIntegerToText)
{
    EXPECT_EQ(Integer("ff", 16).value, 255);
    EXPECT_EQ(Integer("FF", 16).value, 255);
    EXPECT_EQ(Integer("FFFFFFFF", 16).value, -1);
    EXPECT_EQ(Integer("-80000000", 16).value, INT_MIN);
    EXPECT_FALSE(Integer("100000000", 16).ok);
    EXPECT_FALSE(Integer("-80000001", 16).ok);
    EXPECT_FALSE(Integer("fg", 16).ok);
    EXPECT_FALSE(Integer("2", 2).ok);
    for (int32_t value : {0, 1, -1, INT_MIN, INT_MAX, 0x1234ABCD}) {
        for (int radix : {2, 10, 16, 36}) {
            Parsed back = Integer(IntegerText(value, radix).c_str(), radix);
            EXPECT_TRUE(back.ok);
            EXPECT_EQ(back.value, value) << "radix " << radix;
        }
    }
}

TEST(TextToInteger, LengthLimitsTheText)
{
    EXPECT_EQ(Integer("123456", 10, 3).value, 123);
    const char withNul[] = {'1', '2', '\0', '9'};
    Parsed nul = Integer(withNul, 10, 4);
    EXPECT_TRUE(nul.ok);
    EXPECT_EQ(nul.value, 12);
    EXPECT_EQ(TextToInteger(0, "5", 10, nullptr), 5);
}

TEST(RealToText, WritesDriverValuesRecognisably)
{
    EXPECT_EQ(RealText(-10.5), "-10.5");
    EXPECT_EQ(RealText(12.35), "12.35");
    EXPECT_EQ(RealText(0.0), "0.0");
    EXPECT_EQ(RealText(65.535), "65.535");
    EXPECT_EQ(RealText(3.0), "3.0");
    EXPECT_EQ(RealText(-274.0), "-274.0");
}

TEST(RealToText, FloatsShowNoBinaryNoise)
{
    EXPECT_EQ(RealText(12.35f), "12.35");
    EXPECT_EQ(RealText(65.535f), "65.535");
    EXPECT_EQ(RealText(-10.05f), "-10.05");
    EXPECT_EQ(RealText(0.5f * 6.0f), "3.0");
    EXPECT_EQ(RealText(0.1f / 6.0f * 6.0f), "0.1");
}

TEST(RealToText, RoundsToFourDecimalsAndKeepsPrecisionDecimals)
{
    EXPECT_EQ(RealText(1.0 / 3.0), "0.3333");
    EXPECT_EQ(RealText(2.0 / 3.0), "0.6667");
    EXPECT_EQ(RealText(3.0, 0), "3");
    EXPECT_EQ(RealText(3.0, 3), "3.000");
    EXPECT_EQ(RealText(1.0 / 3.0, 6), "0.333333");
    EXPECT_EQ(RealText(3.0, -2), "3");
    EXPECT_EQ(RealText(99.99996), "100.0");
}

TEST(RealToText, ZeroHasNoSign)
{
    EXPECT_EQ(RealText(-0.0), "0.0");
    EXPECT_EQ(RealText(-0.00001), "0.0");
    EXPECT_EQ(RealText(-0.00001, 0), "0");
}

TEST(RealToText, NonFiniteAndHugeValues)
{
    EXPECT_EQ(RealText(NAN), "nan");
    EXPECT_EQ(RealText(INFINITY), "inf");
    EXPECT_EQ(RealText(-INFINITY), "-inf");
    std::string huge = RealText(-1.7976931348623157e308, 1, 350);
    EXPECT_EQ(huge.size(), 1u + 309u + 2u);
    EXPECT_EQ(huge.substr(0, 6), "-17976");
}

TEST(RealToText, CutsToCapacity)
{
    EXPECT_EQ(RealText(65.535, 1, 6), "65.535");
    EXPECT_EQ(RealText(65.535, 1, 5), "65.53");
    EXPECT_EQ(RealText(65.535, 1, 0), "");
}

TEST(TextToReal, RoundTripsTheTextsOfRealToText)
{
    for (double value : {-10.5, 12.35, 0.0, 65.535, -274.0, 0.1}) {
        bool ok = false;
        double back = TextToReal(0, RealText(value).c_str(), &ok);
        EXPECT_TRUE(ok) << value;
        EXPECT_EQ(back, value);
    }
}

TEST(TextToReal, AcceptsDecimalForms)
{
    struct Case {
        const char* text;
        double value;
    };
    for (Case c : {Case{" 1.5 ", 1.5}, Case{"+2", 2.0}, Case{".5", 0.5}, Case{"5.", 5.0},
                   Case{"-1e-3", -0.001}, Case{"1E2", 100.0}, Case{"\t-0", 0.0}, Case{"100", 100.0}}) {
        bool ok = false;
        double value = TextToReal(0, c.text, &ok);
        EXPECT_TRUE(ok) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(TextToReal(3, "1.5xyz", nullptr), 1.5);
}

TEST(TextToReal, RejectsEverythingElse)
{
    for (const char* text : {"", " ", "abc", "1.2.3", "1e", "1e+", "--1", "+-1", "-+1", "inf", "nan",
                             "0x1p3", "1e999", "12,5", ".", "-.", "1 2", "e5"}) {
        bool ok = true;
        double value = TextToReal(0, text, &ok);
        EXPECT_FALSE(ok) << '"' << text << '"';
        EXPECT_EQ(value, 0.0) << '"' << text << '"';
    }
}

} // namespace
