#pragma once
// Decimal text to integers and integers to decimal text.
//
// Text to number: leading white space and plus signs are skipped, then decimal digits are read, then
// trailing white space; a text with no digits gives 0. On failure the output is not written, error 2701
// (out of range, or overflow while reading digits) or 2702 (anything else after the digits, or a minus
// sign for an unsigned 32-bit target) is raised on the calling thread's error list with the text being
// parsed as its parameter, and 1 is returned. Signed targets accept one minus sign after leading blanks;
// the signed 32-bit form accepts a second one, which negates again ("--5" is 5).
//
// Number to text: callers pass 64-bit values (cast narrower ones) so the overload is unambiguous.
#include <cstdint>
#include "foundation/errors/kostatus.h"

KO_EXPORT KoStatus convert(const unsigned char* text, uint64_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, int64_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, int32_t* value);
// value may be null: the text is only checked.
KO_EXPORT KoStatus convert(const unsigned char* text, uint32_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, uint16_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, int16_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, uint8_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, int8_t* value);

// The first length bytes of text (at most 79; text must have that many) parsed as above.
KO_EXPORT KoStatus convert(const unsigned char* text, uint16_t length, uint16_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, uint16_t length, int32_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, uint16_t length, uint32_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, uint16_t length, int64_t* value);
KO_EXPORT KoStatus convert(const unsigned char* text, uint16_t length, uint64_t* value);

// The decimal digits of value and a terminator (buffer: 21 bytes); returns the number of digits.
KO_EXPORT uint16_t convert(unsigned char* buffer, uint64_t value);
// The same with "-" before the magnitude of a negative value; returns the number of characters.
KO_EXPORT uint16_t convert(unsigned char* buffer, int64_t value);

// A field of exactly width characters and a terminator (buffer: width + 1 bytes). At most 10 digit
// positions are used (the whole field up to width 10; beyond, the last 10 when right-aligned, the first 10
// when left-aligned). Right-aligned leading zeros are blanks; left-aligned digits start at the first
// position. Value 0 writes no digit. A value too large for the digit positions fills all but the last
// with "*" and returns 0. Returns the number of digits written.
KO_EXPORT uint16_t convert(unsigned char* buffer, uint16_t width, uint64_t value, uint16_t leftAlign);
// The same; a negative value's magnitude goes into the last width - 1 characters and a minus sign into the
// first one (left-aligned) or just before the first digit (right-aligned). The count excludes the sign.
KO_EXPORT uint16_t convert(unsigned char* buffer, uint16_t width, int64_t value, uint16_t leftAlign);
