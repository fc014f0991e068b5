// Numeric conversions with the automation runtime's semantics.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vq {

// Round to the nearest integer, ties to the even neighbour (the runtime's banker's rounding).
double ArrotondaPari(double x);
// Round to `decimali` decimal places (0..15), ties to even on the decimal value as written:
// 0.125 -> 0.12, 0.375 -> 0.38, 2.5 -> 2, 3.5 -> 4, 1500.5 -> 1500, 1501.5 -> 1502.
// "As written" is the number's 15-significant-digit text (so 2.675 -> 2.68 although the
// double lies just below 2.675). Error 5 for negative `decimali`; more than 15 act as 15.
double ArrotondaPari(double x, int decimali);

// Narrowing as CInt / CLng: round half to even, then error 6 "Overflow" when the result
// does not fit (-32768..32767, -2147483648..2147483647). NaN is error 6 as well.
std::int16_t CInt(double x);
std::int32_t CLng(double x);
std::int16_t CInt(std::int64_t x);
std::int32_t CLng(std::int64_t x);

// The runtime's conversion of a number to text (CStr): up to 15 significant digits,
// no exponent for 1e-4 <= |x| < 1e15 (else "1E+15" style), "." as decimal point whatever
// the process locale, no leading blank. Integers print without a decimal part.
std::string TestoNumero(double x);
// Str(): as TestoNumero, with the sign position: a blank before zero and positive numbers
// (53 gives " 53", -5 gives "-5", 0.5 gives " 0.5").
std::string StrNumero(double x);

// The lenient numeric reader (Val): leading blanks (and tabs, line feeds) skipped,
// then the longest numeric prefix: optional sign, digits, optional "." and digits,
// optional exponent (E or D, optional sign, digits); or "&H" hex / "&O" octal digits
// (read as a 16-bit value when they fit in 4 hex digits, else 32-bit, as the runtime does).
// Blanks inside the digits are skipped as the runtime does. No prefix reads 0.
// Error 6 "Overflow" when the number does not fit a double or the hex/octal digits
// exceed 32 bits; a number too small for a double reads 0.
double Val(std::string_view testo);

// The runtime's strict conversion of a text to a number (what CInt("12") or CDbl(" 1.5 ")
// do): blanks and tabs around the number are allowed, then an optional sign, digits with
// an optional "." and decimals, an optional exponent (E or D); or "&H" / "&O" digits read
// as Val reads them. Anything else, the empty text included, is error 13
// "Tipo non corrispondente"; a number too large for a double is error 6.
double NumeroDaTesto(std::string_view testo);

}  // namespace vq
