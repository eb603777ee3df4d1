#include "hostsupport/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "guarded_buffer.h"

using hostsupport::AppendText;
using hostsupport::CompareTexts;
using hostsupport::CopyText;
using hostsupport::FindText;
using hostsupport::JoinTexts;
using hostsupport::ReplaceExtension;
using hostsupport::SubText;
using hostsupport::TrimText;
using hostsupport::UpperCase;
using hostsupport_test::GuardedBuffer;

namespace {

const char kDevicePath[] = "\\\\?\\usb#vid_1278&pid_0507#ks00017#{79349dc7-cf70-438e-bc10-f454f02d2067}";

TEST(CopyText, FillsCapacityExactlyAndCutsBeyondIt)
{
    GuardedBuffer exact;
    CopyText(5, exact.data(), 0, "hello");
    EXPECT_EQ(exact.text(), "hello");
    EXPECT_TRUE(exact.UntouchedFrom(6));

    GuardedBuffer cut;
    CopyText(4, cut.data(), 0, "hello");
    EXPECT_EQ(cut.text(), "hell");
    EXPECT_TRUE(cut.UntouchedFrom(5));
}

TEST(CopyText, TakesLengthCharactersOrStopsAtNul)
{
    GuardedBuffer byLength;
    CopyText(20, byLength.data(), 3, "hello");
    EXPECT_EQ(byLength.text(), "hel");
    EXPECT_TRUE(byLength.UntouchedFrom(4));

    GuardedBuffer toNul;
    CopyText(20, toNul.data(), 0, "hello");
    EXPECT_EQ(toNul.text(), "hello");

    const char withNul[] = {'a', 'b', '\0', 'c', 'd', 'e'};
    GuardedBuffer nulInside;
    CopyText(20, nulInside.data(), 6, withNul);
    EXPECT_EQ(nulInside.text(), "ab");
    EXPECT_TRUE(nulInside.UntouchedFrom(3));
}

TEST(CopyText, ZeroCapacityWritesOnlyTheNulAndNegativeNothing)
{
    GuardedBuffer zero;
    CopyText(0, zero.data(), 0, "hello");
    EXPECT_EQ(zero.text(), "");
    EXPECT_TRUE(zero.UntouchedFrom(1));

    GuardedBuffer negative;
    CopyText(-1, negative.data(), 0, "hello");
    EXPECT_TRUE(negative.UntouchedFrom(0));

    CopyText(10, nullptr, 0, "hello");
    GuardedBuffer fromNull;
    CopyText(10, fromNull.data(), 0, nullptr);
    EXPECT_EQ(fromNull.text(), "");
}

TEST(CopyText, MovesOverlappingSource)
{
    GuardedBuffer buffer("abcdef");
    CopyText(20, buffer.data(), 0, buffer.data() + 2);
    EXPECT_EQ(buffer.text(), "cdef");
}

TEST(AppendText, AppendsAndCutsAtCapacity)
{
    GuardedBuffer exact("abc");
    AppendText(5, exact.data(), 0, "de");
    EXPECT_EQ(exact.text(), "abcde");
    EXPECT_TRUE(exact.UntouchedFrom(6));

    GuardedBuffer cut("abc");
    AppendText(4, cut.data(), 0, "de");
    EXPECT_EQ(cut.text(), "abcd");
    EXPECT_TRUE(cut.UntouchedFrom(5));

    GuardedBuffer byLength("abc");
    AppendText(20, byLength.data(), 1, "de");
    EXPECT_EQ(byLength.text(), "abcd");
}

TEST(AppendText, UnterminatedDestinationCountsAsFull)
{
    GuardedBuffer buffer("abcdef");
    AppendText(3, buffer.data(), 0, "xyz");
    EXPECT_EQ(buffer.text(), "abc");
    EXPECT_EQ(buffer.data()[4], 'e');
}

TEST(AppendText, AppendsItself)
{
    GuardedBuffer buffer("ab");
    AppendText(20, buffer.data(), 0, buffer.data());
    EXPECT_EQ(buffer.text(), "abab");
}

TEST(JoinTexts, JoinsAndCutsInEitherText)
{
    GuardedBuffer both;
    JoinTexts(5, both.data(), 0, "abc", 0, "de");
    EXPECT_EQ(both.text(), "abcde");
    EXPECT_TRUE(both.UntouchedFrom(6));

    GuardedBuffer inFirst;
    JoinTexts(2, inFirst.data(), 0, "abc", 0, "de");
    EXPECT_EQ(inFirst.text(), "ab");
    EXPECT_TRUE(inFirst.UntouchedFrom(3));

    GuardedBuffer inSecond;
    JoinTexts(4, inSecond.data(), 0, "abc", 0, "de");
    EXPECT_EQ(inSecond.text(), "abcd");
    EXPECT_TRUE(inSecond.UntouchedFrom(5));

    GuardedBuffer lengths;
    JoinTexts(20, lengths.data(), 2, "abc", 1, "de");
    EXPECT_EQ(lengths.text(), "abd");
}

TEST(JoinTexts, DestinationMayBeEitherText)
{
    GuardedBuffer first("1A2B3C4D");
    JoinTexts(63, first.data(), 0, first.data(), 0, "vellK6DriverPeerWindow");
    EXPECT_EQ(first.text(), "1A2B3C4DvellK6DriverPeerWindow");

    GuardedBuffer second("0");
    JoinTexts(260, second.data(), 0, kDevicePath, 0, "\\0");
    EXPECT_EQ(second.text(), std::string(kDevicePath) + "\\0");

    GuardedBuffer suffix("tail");
    JoinTexts(20, suffix.data(), 0, "head-", 0, suffix.data());
    EXPECT_EQ(suffix.text(), "head-tail");

    GuardedBuffer twice("ab");
    JoinTexts(20, twice.data(), 0, twice.data(), 0, twice.data());
    EXPECT_EQ(twice.text(), "abab");
}

TEST(CompareTexts, DevicePathEqualsItsUpperCase)
{
    char upper[261];
    CopyText(260, upper, 0, kDevicePath);
    UpperCase(260, upper);
    ASSERT_STRNE(upper, kDevicePath);
    EXPECT_EQ(CompareTexts(260, kDevicePath, 260, upper), 0);
    EXPECT_EQ(CompareTexts(0, upper, 0, kDevicePath), 0);
}

TEST(CompareTexts, OneDifferentCharacterOrLengthMatters)
{
    std::string other = kDevicePath;
    other[30] = '8';
    EXPECT_NE(CompareTexts(260, kDevicePath, 260, other.c_str()), 0);
    EXPECT_LT(CompareTexts(0, "abc", 0, "abcd"), 0);
    EXPECT_GT(CompareTexts(0, "ABCD", 0, "abc"), 0);
    EXPECT_LT(CompareTexts(0, "abc", 0, "ABD"), 0);
    EXPECT_GT(CompareTexts(0, "ABD", 0, "abc"), 0);
}

TEST(CompareTexts, LengthsLimitTheComparison)
{
    EXPECT_EQ(CompareTexts(3, "abcX", 0, "ABC"), 0);
    EXPECT_EQ(CompareTexts(3, "abcX", 3, "ABCY"), 0);
    EXPECT_NE(CompareTexts(4, "abcX", 4, "ABCY"), 0);
    EXPECT_EQ(CompareTexts(10, "ab\0X", 0, "AB"), 0);
    EXPECT_EQ(CompareTexts(0, "", 0, nullptr), 0);
}

TEST(CompareTexts, FoldsToLowerCaseAndComparesUnsigned)
{
    // 'Z' folds to 'z', which sorts after '[' and '_'.
    EXPECT_GT(CompareTexts(0, "Z", 0, "["), 0);
    EXPECT_GT(CompareTexts(0, "A", 0, "_"), 0);
    EXPECT_GT(CompareTexts(0, "\xE9", 0, "z"), 0);
    // Only ASCII letters fold.
    EXPECT_NE(CompareTexts(0, "\xE9", 0, "\xC9"), 0);
}

TEST(UpperCase, ChangesAsciiLettersWithinCapacity)
{
    GuardedBuffer path("\\\\?\\usb#vid_1278&pid_0507");
    UpperCase(260, path.data());
    EXPECT_EQ(path.text(), "\\\\?\\USB#VID_1278&PID_0507");

    GuardedBuffer part("abcdef");
    UpperCase(3, part.data());
    EXPECT_EQ(part.text(), "ABCdef");

    GuardedBuffer accented("caf\xE9");
    UpperCase(10, accented.data());
    EXPECT_EQ(accented.text(), "CAF\xE9");
}

TEST(TrimText, RemovesSurroundingSpacesAndTabs)
{
    GuardedBuffer both("  \tRed \t");
    TrimText(31, both.data());
    EXPECT_EQ(both.text(), "Red");

    GuardedBuffer inner(" Light Red ");
    TrimText(31, inner.data());
    EXPECT_EQ(inner.text(), "Light Red");

    GuardedBuffer blanks(" \t ");
    TrimText(31, blanks.data());
    EXPECT_EQ(blanks.text(), "");

    GuardedBuffer none("Red");
    TrimText(31, none.data());
    EXPECT_EQ(none.text(), "Red");
    EXPECT_TRUE(none.UntouchedFrom(4));
}

TEST(TrimText, TakesAnUnterminatedTextAsItsCapacity)
{
    GuardedBuffer unterminated(" abcdefgh");
    TrimText(5, unterminated.data());
    EXPECT_EQ(unterminated.text(), "abcd");
    EXPECT_EQ(unterminated.data()[6], 'f');
}

TEST(FindText, FindsSubstringAtOrAfterStart)
{
    EXPECT_EQ(FindText(63, "Red,RED", 0, ","), 3);
    EXPECT_EQ(FindText(63, ",RED", 0, ","), 0);
    EXPECT_EQ(FindText(63, "Clear", 0, ","), -1);
    EXPECT_EQ(FindText(63, "a,b,c", 2, ","), 3);
    EXPECT_EQ(FindText(63, "a,b,c", 3, ","), 3);
    EXPECT_EQ(FindText(63, "a,b,c", 4, ","), -1);
    EXPECT_EQ(FindText(63, "a,b,c", 40, ","), -1);
    EXPECT_EQ(FindText(63, "a,b,c", -5, ","), 1);
    EXPECT_EQ(FindText(63, "Red,RED", 0, "RED"), 4);
    EXPECT_EQ(FindText(63, "Red,RE", 0, "RED"), -1);
}

TEST(FindText, StopsAtCapacity)
{
    EXPECT_EQ(FindText(3, "abc,def", 0, ","), -1);
    EXPECT_EQ(FindText(4, "abc,def", 0, ","), 3);
    EXPECT_EQ(FindText(0, ",", 0, ","), -1);
    EXPECT_EQ(FindText(10, nullptr, 0, ","), -1);
}

TEST(FindText, EmptyCharactersAreFoundAtStart)
{
    EXPECT_EQ(FindText(63, "abc", 2, ""), 2);
    EXPECT_EQ(FindText(63, "abc", 3, ""), 3);
    EXPECT_EQ(FindText(63, "abc", 4, ""), -1);
}

TEST(SubText, TakesCountCharactersFromStart)
{
    GuardedBuffer name;
    SubText(31, name.data(), 0, "Red,RED", 0, 3);
    EXPECT_EQ(name.text(), "Red");
    EXPECT_TRUE(name.UntouchedFrom(4));

    GuardedBuffer rest;
    SubText(8, rest.data(), 0, "Red,RED", 4, -1);
    EXPECT_EQ(rest.text(), "RED");

    GuardedBuffer beyond;
    SubText(8, beyond.data(), 0, "Red,RED", 4, 100);
    EXPECT_EQ(beyond.text(), "RED");

    GuardedBuffer past;
    SubText(8, past.data(), 0, "Red,RED", 7, 3);
    EXPECT_EQ(past.text(), "");

    GuardedBuffer none;
    SubText(8, none.data(), 0, "Red,RED", 2, 0);
    EXPECT_EQ(none.text(), "");
}

TEST(SubText, RespectsCapacityAndSourceLength)
{
    GuardedBuffer cut;
    SubText(2, cut.data(), 0, "Red,RED", 4, 3);
    EXPECT_EQ(cut.text(), "RE");
    EXPECT_TRUE(cut.UntouchedFrom(3));

    GuardedBuffer bounded;
    SubText(8, bounded.data(), 5, "Red,RED", 4, 10);
    EXPECT_EQ(bounded.text(), "R");

    GuardedBuffer self("abcdef");
    SubText(20, self.data(), 0, self.data(), 2, 3);
    EXPECT_EQ(self.text(), "cde");
}

TEST(ReplaceExtension, ReplacesTheFileNameExtensionOnly)
{
    GuardedBuffer perCamera("C:\\dir.x\\d_r6odi.dll");
    ReplaceExtension(259, perCamera.data(), 0, "17.ini");
    EXPECT_EQ(perCamera.text(), "C:\\dir.x\\d_r6odi.17.ini");

    GuardedBuffer shared("C:\\dir.x\\d_r6odi.dll");
    ReplaceExtension(259, shared.data(), 0, "ini");
    EXPECT_EQ(shared.text(), "C:\\dir.x\\d_r6odi.ini");

    GuardedBuffer twoDots("C:\\d_r6odi.17.ini");
    ReplaceExtension(259, twoDots.data(), 0, "ini");
    EXPECT_EQ(twoDots.text(), "C:\\d_r6odi.17.ini");

    GuardedBuffer slashes("/opt/dir.x/d_r6odi.so");
    ReplaceExtension(259, slashes.data(), 0, "ini");
    EXPECT_EQ(slashes.text(), "/opt/dir.x/d_r6odi.ini");
}

TEST(ReplaceExtension, NameWithoutDotGetsDotAndExtension)
{
    GuardedBuffer folderDot("C:\\dir.x\\driver");
    ReplaceExtension(259, folderDot.data(), 0, "ini");
    EXPECT_EQ(folderDot.text(), "C:\\dir.x\\driver.ini");

    GuardedBuffer drive("C:driver");
    ReplaceExtension(259, drive.data(), 0, "ini");
    EXPECT_EQ(drive.text(), "C:driver.ini");

    GuardedBuffer byLength("driver");
    ReplaceExtension(259, byLength.data(), 2, "ini");
    EXPECT_EQ(byLength.text(), "driver.in");
}

TEST(ReplaceExtension, CutsAtCapacity)
{
    GuardedBuffer exact("a\\b.dll");
    ReplaceExtension(10, exact.data(), 0, "17.ini");
    EXPECT_EQ(exact.text(), "a\\b.17.ini");
    EXPECT_TRUE(exact.UntouchedFrom(11));

    GuardedBuffer shorter("a\\b.dll");
    ReplaceExtension(9, shorter.data(), 0, "17.ini");
    EXPECT_EQ(shorter.text(), "a\\b.17.in");
    EXPECT_TRUE(shorter.UntouchedFrom(10));

    GuardedBuffer full("a\\bcd");
    ReplaceExtension(5, full.data(), 0, "ini");
    EXPECT_EQ(full.text(), "a\\bcd");
    EXPECT_TRUE(full.UntouchedFrom(6));
}

} // namespace
