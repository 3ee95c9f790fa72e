#include "foundation/text/convert.h"
#include "foundation/errors/koerrnum.h"
#include "foundation/text/koterminated.h"

#include <cstring>

#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/kodbcs.h"

namespace {

constexpr uint16_t kOutOfRange = koErrOutOfRange;
constexpr uint16_t kNotANumber = koErrNotANumber;

constexpr uint64_t kMaxTenth = 1844674407370955161ull; // UINT64_MAX / 10; the last digit may be up to 5
constexpr uint64_t kTwoTo63 = 1ull << 63;

KoStatus raise(uint16_t number, const unsigned char* text) {
    koRaiseError(number) << text;
    return koFailure;
}

const unsigned char* skipWhiteSpace(const unsigned char* p) {
    while (*p && koIsWhiteSpace(p))
        p = koCharNext(p);
    return p;
}

inline bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// The base of every parse: blanks and plus signs, digits, blanks.
KoStatus parseUnsigned(const unsigned char* text, uint64_t* out) {
    const unsigned char* p = text;
    while (*p && (*p == '+' || koIsWhiteSpace(p)))
        p = koCharNext(p);
    const unsigned char* start = p;
    uint64_t value = 0;
    for (; isDigit(*p); ++p) {
        unsigned digit = *p - '0';
        if (value > kMaxTenth || (value == kMaxTenth && digit > 5)) return raise(kOutOfRange, start);
        value = value * 10 + digit;
    }
    p = skipWhiteSpace(p);
    if (*p) return raise(kNotANumber, start);
    *out = value;
    return koSuccess;
}

KoStatus parseSigned(const unsigned char* text, int64_t* out) {
    const unsigned char* p = skipWhiteSpace(text);
    bool negative = *p == '-';
    if (negative) ++p;
    uint64_t magnitude;
    if (parseUnsigned(p, &magnitude)) return koFailure;
    if (negative ? magnitude > kTwoTo63 : magnitude >= kTwoTo63) return raise(kOutOfRange, p);
    // -2^63 is reached through the unsigned negation, which has no overflow.
    *out = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return koSuccess;
}

template <class T> KoStatus convertCounted(const unsigned char* text, uint16_t length, T* value) {
    KoTerminatedText<80> copy(text, length);
    if (!copy.text()) return koFailure; // out of memory: no record, as everywhere
    return convert(copy.text(), value);
}

// Writes the digits of value; returns their count.
uint16_t writeDigits(unsigned char* buffer, uint64_t value) {
    uint64_t power = 1;
    uint16_t count = 1;
    while (value / power >= 10) {
        power *= 10;
        ++count;
    }
    for (unsigned char* p = buffer; power; power /= 10) {
        *p++ = static_cast<unsigned char>('0' + value / power);
        value %= power;
    }
    buffer[count] = 0;
    return count;
}

constexpr uint16_t kFieldDigits = 10;

} // namespace

KoStatus convert(const unsigned char* text, uint64_t* value) {
    uint64_t v;
    if (parseUnsigned(text, &v)) return koFailure;
    *value = v;
    return koSuccess;
}

KoStatus convert(const unsigned char* text, int64_t* value) {
    int64_t v;
    if (parseSigned(text, &v)) return koFailure;
    *value = v;
    return koSuccess;
}

KoStatus convert(const unsigned char* text, int32_t* value) {
    const unsigned char* p = skipWhiteSpace(text);
    bool negative = *p == '-';
    if (negative) ++p;
    int64_t r;
    if (parseSigned(p, &r)) return koFailure;
    // A second minus sign was taken by the 64-bit parse: the two cancel.
    if (negative && r == INT64_MIN) return raise(kOutOfRange, p);
    int64_t v = negative ? -r : r;
    if (v < INT32_MIN || v > INT32_MAX) return raise(kOutOfRange, p);
    *value = static_cast<int32_t>(v);
    return koSuccess;
}

KoStatus convert(const unsigned char* text, uint32_t* value) {
    const unsigned char* p = skipWhiteSpace(text);
    if (*p == '-') return raise(kNotANumber, p + 1);
    uint64_t v;
    if (parseUnsigned(p, &v)) return koFailure;
    if (v > UINT32_MAX) return raise(kOutOfRange, p);
    if (value) *value = static_cast<uint32_t>(v);
    return koSuccess;
}

KoStatus convert(const unsigned char* text, uint16_t* value) {
    uint64_t v;
    if (parseUnsigned(text, &v)) return koFailure;
    if (v > UINT16_MAX) return raise(kOutOfRange, text);
    *value = static_cast<uint16_t>(v);
    return koSuccess;
}

KoStatus convert(const unsigned char* text, int16_t* value) {
    int64_t v;
    if (parseSigned(text, &v)) return koFailure;
    if (v < INT16_MIN || v > INT16_MAX) return raise(kOutOfRange, text);
    *value = static_cast<int16_t>(v);
    return koSuccess;
}

KoStatus convert(const unsigned char* text, uint8_t* value) {
    uint64_t v;
    if (parseUnsigned(text, &v)) return koFailure;
    if (v > UINT8_MAX) return raise(kOutOfRange, text);
    *value = static_cast<uint8_t>(v);
    return koSuccess;
}

KoStatus convert(const unsigned char* text, int8_t* value) {
    int64_t v;
    if (parseSigned(text, &v)) return koFailure;
    if (v < INT8_MIN || v > INT8_MAX) return raise(kOutOfRange, text);
    *value = static_cast<int8_t>(v);
    return koSuccess;
}

KoStatus convert(const unsigned char* text, uint16_t length, uint16_t* value) {
    return convertCounted(text, length, value);
}

KoStatus convert(const unsigned char* text, uint16_t length, int32_t* value) {
    return convertCounted(text, length, value);
}

KoStatus convert(const unsigned char* text, uint16_t length, uint32_t* value) {
    return convertCounted(text, length, value);
}

KoStatus convert(const unsigned char* text, uint16_t length, int64_t* value) {
    return convertCounted(text, length, value);
}

KoStatus convert(const unsigned char* text, uint16_t length, uint64_t* value) {
    return convertCounted(text, length, value);
}

uint16_t convert(unsigned char* buffer, uint64_t value) {
    return writeDigits(buffer, value);
}

uint16_t convert(unsigned char* buffer, int64_t value) {
    if (value >= 0) return writeDigits(buffer, static_cast<uint64_t>(value));
    buffer[0] = '-';
    // The magnitude through unsigned arithmetic, so the smallest value has one too.
    return static_cast<uint16_t>(1 + writeDigits(buffer + 1, 0 - static_cast<uint64_t>(value)));
}

uint16_t convert(unsigned char* buffer, uint16_t width, uint64_t value, uint16_t leftAlign) {
    memset(buffer, ' ', width);
    buffer[width] = 0;
    uint16_t positions = width < kFieldDigits ? width : kFieldDigits;
    if (positions == 0) return 0;
    unsigned char* area = buffer + (width > kFieldDigits && !leftAlign ? width - kFieldDigits : 0);
    uint64_t power = 1;
    for (uint16_t i = 1; i < positions; ++i)
        power *= 10;
    if (value / power > 9) {
        // Too large for the field: stars in all digit positions but the last.
        memset(area, '*', positions - 1u);
        return 0;
    }
    uint16_t written = 0;
    for (uint16_t i = 0; i < positions; ++i, power /= 10) {
        unsigned digit = static_cast<unsigned>(value / power);
        value %= power;
        if (digit == 0 && written == 0) continue; // a leading zero stays blank (or takes no place)
        area[leftAlign ? written : i] = static_cast<unsigned char>('0' + digit);
        ++written;
    }
    return written;
}

uint16_t convert(unsigned char* buffer, uint16_t width, int64_t value, uint16_t leftAlign) {
    if (value >= 0) return convert(buffer, width, static_cast<uint64_t>(value), leftAlign);
    if (width == 0) {
        // No room even for the sign.
        buffer[0] = 0;
        return 0;
    }
    buffer[0] = ' ';
    uint16_t digits =
        convert(buffer + 1, static_cast<uint16_t>(width - 1), 0 - static_cast<uint64_t>(value), leftAlign);
    buffer[leftAlign ? 0 : width - digits - 1] = '-';
    return digits;
}
