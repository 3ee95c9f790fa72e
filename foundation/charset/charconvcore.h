#pragma once
// Inside the conversion functions: the pieces the code-page and the UTF-16 conversions share.
#include <cstdint>
#include <unicode/ucnv.h>
#include "foundation/charset/charconv.h"

namespace charconv {

// True when the converter maps the bytes 0x00..0x7F to U+0000..U+007F and back, byte for byte, so that
// ASCII text may be copied without it (never for ISO-2022, EBCDIC or UTF-16 and UTF-32 encodings).
bool asciiTransparent(UConverter* converter);

// Copies the ASCII text at the start of src (at most n bytes) to dst and returns its length. Many bytes
// are checked and copied per step; the result is the same as copying byte by byte up to the first byte
// with its high bit set.
int32_t copyAscii(unsigned char* dst, const unsigned char* src, int32_t n);

// Writes zero bytes at p, up to count of them, but only inside [begin, end).
void terminate(unsigned char* p, int count, const unsigned char* begin, const unsigned char* end);

// The output side of a measuring conversion: UTF-16 pieces, each one whole character, are encoded into
// [dst, limit) until a piece no longer fits; from then on pieces are only counted. So the output holds
// whole characters only, and the count is the length of the complete output.
class MeasuringWriter {
public:
    MeasuringWriter(UConverter* writer, unsigned char* dst, int32_t room);
    // Encodes one piece; flush at the end of the text (an empty piece may carry it). koConvertOk or the
    // writing error; after an error the count stays that of the characters before the piece.
    KoConvertReturn put(const UChar* units, int32_t n, bool flush);
    // Where the terminator belongs: after the last whole character written.
    unsigned char* end() const { return pos_; }
    bool full() const { return full_; }
    int32_t count() const { return count_ > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count_); }

private:
    // Encodes the rest of a piece (and what the converter holds back) into scratch space, counting it.
    KoConvertReturn drain(const UChar* units, const UChar* unitsEnd, bool flush);

    UConverter* writer_;
    unsigned char* pos_;
    unsigned char* limit_;
    bool full_ = false;
    int64_t count_ = 0;
};

// One code point as UTF-16 (a pair above U+FFFF); returns the units.
inline int32_t toUnits(UChar32 c, UChar* units) {
    if (c <= 0xFFFF) {
        units[0] = static_cast<UChar>(c);
        return 1;
    }
    units[0] = static_cast<UChar>(0xD7C0 + (c >> 10));
    units[1] = static_cast<UChar>(0xDC00 | (c & 0x3FF));
    return 2;
}

} // namespace charconv
