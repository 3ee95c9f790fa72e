#include "foundation/text/strtrim.h"

#include <cstring>

#include "foundation/text/fastut.h"

namespace {

// Length of the n bytes up to the end of their last character that is not trimmed. Characters are
// found from the front, so a trail byte is never taken for a blank.
template <class IsTrimmed>
uint32_t trimmedLength(const unsigned char* s, uint32_t n, koCPType cp, IsTrimmed isTrimmed) {
    uint32_t end = 0;
    for (uint32_t off = 0; off < n;) {
        uint32_t size = koCharSizeOfByte(s[off], cp);
        if (size > n - off) size = n - off;
        if (!isTrimmed(s, off, n)) end = off + size;
        off += size;
    }
    return end;
}

bool isWhite(const unsigned char* s, uint32_t off, uint32_t n) {
    // The ideographic space needs its second byte, which must lie inside the n bytes.
    if (s[off] == 0x81 && off + 1 >= n) return false;
    return koIsWhiteSpace(s + off) != 0;
}

bool isBlank(const unsigned char* s, uint32_t off, uint32_t) {
    return s[off] == ' ';
}

template <class IsTrimmed> uint32_t terminateTrimmed(unsigned char* s, koCPType cp, IsTrimmed isTrimmed) {
    uint32_t n = trimmedLength(s, BUTSTLEN(s), cp, isTrimmed);
    s[n] = 0;
    return n;
}

} // namespace

uint32_t strRightTrim(const unsigned char* s, uint32_t n, koCPType cp) {
    return trimmedLength(s, n, cp, isWhite);
}

uint32_t strRightTrim(unsigned char* s, koCPType cp) {
    return terminateTrimmed(s, cp, isWhite);
}

uint32_t strRightTrimBlanks(const unsigned char* s, uint32_t n, koCPType cp) {
    return trimmedLength(s, n, cp, isBlank);
}

uint32_t strRightTrimBlanks(unsigned char* s, koCPType cp) {
    return terminateTrimmed(s, cp, isBlank);
}
