#include "hostsupport/number.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "hostsupport/text.h"

namespace hostsupport {
namespace {

constexpr int kMostDecimals = 9;
constexpr int kUsualDecimals = 4;

bool RadixSupported(int radix) { return radix >= 2 && radix <= 36; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// The characters of a source text, without the blanks around it.
struct Span {
    const char* begin;
    const char* end;
};

Span TrimmedSource(int length, const char* text)
{
    if (text == nullptr)
        return {nullptr, nullptr};
    size_t count = length > 0 ? static_cast<size_t>(length) : std::strlen(text);
    const void* nul = std::memchr(text, 0, count);
    const char* end = nul ? static_cast<const char*>(nul) : text + count;
    const char* begin = text;
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
    return {begin, end};
}

bool Report(bool* ok, bool value)
{
    if (ok)
        *ok = value;
    return value;
}

// Digits, then an optional fraction, with at least one digit in all.
const char* SkipMantissa(const char* at, const char* end)
{
    const char* start = at;
    int digits = 0;
    while (at < end && IsDigit(*at)) {
        ++at;
        ++digits;
    }
    if (at < end && *at == '.') {
        ++at;
        while (at < end && IsDigit(*at)) {
            ++at;
            ++digits;
        }
    }
    return digits > 0 ? at : start;
}

// "e", an optional sign and at least one digit; nothing when absent.
const char* SkipExponent(const char* at, const char* end)
{
    if (at == end || (*at != 'e' && *at != 'E'))
        return at;
    const char* digits = at + 1;
    if (digits < end && (*digits == '+' || *digits == '-'))
        ++digits;
    const char* after = digits;
    while (after < end && IsDigit(*after))
        ++after;
    return after > digits ? after : at;
}

// Drops trailing zeros of the fraction down to `keep` decimals, the point
// with them when none are kept, and the sign of a value rounded to zero.
int TidyFixed(char* text, int length, int keep)
{
    const char* dot = static_cast<const char*>(std::memchr(text, '.', static_cast<size_t>(length)));
    if (dot != nullptr) {
        int fractionStart = static_cast<int>(dot - text) + 1;
        while (length - fractionStart > keep && text[length - 1] == '0')
            --length;
        if (length == fractionStart)
            --length;
    }
    bool zero = true;
    for (int i = 0; i < length; ++i)
        zero = zero && (text[i] == '-' || text[i] == '0' || text[i] == '.');
    if (zero && text[0] == '-') {
        std::memmove(text, text + 1, static_cast<size_t>(length - 1));
        --length;
    }
    return length;
}

} // namespace

void IntegerToText(int32_t value, int capacity, char* destination, int radix)
{
    if (!RadixSupported(radix)) {
        CopyText(capacity, destination, 0, "");
        return;
    }
    bool negative = radix == 10 && value < 0;
    uint32_t rest = static_cast<uint32_t>(value);
    if (negative)
        rest = 0u - rest;
    char reversed[40];
    int count = 0;
    do {
        reversed[count++] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[rest % static_cast<uint32_t>(radix)];
        rest /= static_cast<uint32_t>(radix);
    } while (rest != 0);
    char text[41];
    int length = 0;
    if (negative)
        text[length++] = '-';
    while (count > 0)
        text[length++] = reversed[--count];
    CopyText(capacity, destination, length, text);
}

int32_t TextToInteger(int length, const char* text, int radix, bool* ok)
{
    Report(ok, false);
    Span span = TrimmedSource(length, text);
    if (!RadixSupported(radix) || span.begin == span.end)
        return 0;
    const char* at = span.begin;
    bool negative = *at == '-';
    if (*at == '-' || *at == '+')
        ++at;
    if (at == span.end)
        return 0;
    uint64_t limit = negative ? 0x80000000u : (radix == 10 ? 0x7FFFFFFFu : 0xFFFFFFFFu);
    uint64_t magnitude = 0;
    for (; at < span.end; ++at) {
        int digit = DigitValue(*at);
        if (digit >= radix)
            return 0;
        magnitude = magnitude * static_cast<uint64_t>(radix) + static_cast<uint64_t>(digit);
        if (magnitude > limit)
            return 0;
    }
    Report(ok, true);
    int64_t signedValue = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(signedValue)));
}

void RealToText(double value, int precision, int capacity, char* destination)
{
    if (std::isnan(value)) {
        CopyText(capacity, destination, 0, "nan");
        return;
    }
    if (std::isinf(value)) {
        CopyText(capacity, destination, 0, value < 0 ? "-inf" : "inf");
        return;
    }
    int keep = precision < 0 ? 0 : (precision > kMostDecimals ? kMostDecimals : precision);
    int decimals = keep > kUsualDecimals ? keep : kUsualDecimals;
    // Room for the 309 integer digits of the largest double, the sign, the
    // point and the decimals.
    char text[336];
    std::to_chars_result written =
        std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, decimals);
    if (written.ec != std::errc()) {
        CopyText(capacity, destination, 0, "");
        return;
    }
    int length = TidyFixed(text, static_cast<int>(written.ptr - text), keep);
    CopyText(capacity, destination, length, text);
}

double TextToReal(int length, const char* text, bool* ok)
{
    Report(ok, false);
    Span span = TrimmedSource(length, text);
    const char* at = span.begin;
    if (at == span.end)
        return 0;
    // from_chars takes a '-' but no '+'.
    if (*at == '+')
        ++at;
    const char* number = at;
    if (number == span.begin && *at == '-')
        ++at;
    const char* afterMantissa = SkipMantissa(at, span.end);
    if (afterMantissa == at || SkipExponent(afterMantissa, span.end) != span.end)
        return 0;
    double value = 0;
    std::from_chars_result read =
        std::from_chars(number, span.end, value, std::chars_format::general);
    if (read.ec != std::errc() || read.ptr != span.end)
        return 0;
    Report(ok, true);
    return value;
}

} // namespace hostsupport
