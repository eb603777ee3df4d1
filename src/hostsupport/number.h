// Conversions between numbers and bounded 8-bit texts.
//
// Texts follow the conventions of text.h (a source length of 0 reads to the
// NUL, a destination holds at most capacity characters and a NUL). Nothing
// here depends on the C locale: the decimal point is always '.', and no
// digit grouping is ever written or accepted.
#pragma once

#include <cstdint>

namespace hostsupport {

// Writes the value in the given radix (2 to 36). Radix 10 writes it signed
// ("-1", "-2147483648"); every other radix writes the 32-bit pattern as an
// unsigned number, so -1 in radix 16 is "FFFFFFFF" and a 32-bit tick count
// never takes more than 8 hexadecimal digits. Digits above 9 are upper-case
// letters; no leading zeros and no prefix are written. A number longer than
// the capacity is cut like any other text; an unsupported radix leaves an
// empty text.
void IntegerToText(int32_t value, int capacity, char* destination, int radix);

// Reads a whole text as an integer in the given radix (2 to 36; letters in
// either case). Blanks (spaces, tabs) may surround it and one '+' or '-' may
// precede the digits; anything else, an empty text or an unsupported radix
// sets *ok false and returns 0. Radix 10 accepts the signed 32-bit range;
// other radixes accept the unsigned 32-bit range (and, after a '-', at most
// 2^31) and return the 32-bit pattern, the inverse of IntegerToText. Out of
// range is a failure too. `ok` may be null.
int32_t TextToInteger(int length, const char* text, int radix, bool* ok);

// Writes the value in fixed notation, rounded to at most four decimals (or to
// `precision` decimals when more are asked for, up to 9), with trailing zeros
// dropped down to `precision` decimals. So precision 1 gives "12.35" for
// 12.35, "-10.5" for -10.5, "65.535" for 65.535, "3.0" for 3 and "0.0" for
// 0; precision 0 gives "3" for 3. Four decimals keep every value a 32-bit
// float in the driver's ranges holds without showing its binary noise. A
// negative precision counts as 0. Infinities and NaN are written as "inf",
// "-inf" and "nan". A text longer than the capacity is cut.
void RealToText(double value, int precision, int capacity, char* destination);

// Reads a whole text as a decimal real number: optional blanks, an optional
// sign, digits with at most one '.', an optional exponent ("e-3"), optional
// blanks. Values beyond the range of a double, "inf", "nan", hexadecimal
// forms and trailing characters set *ok false and return 0. `ok` may be
// null.
double TextToReal(int length, const char* text, bool* ok);

} // namespace hostsupport
