#include "foundation/text/strcomp.h"
#include "foundation/text/koterminated.h"

#include <cstring>

#include <unicode/uchar.h>

#include "foundation/errors/ramalloc.h"
#include "foundation/text/fastut.h"
#include "platform/codepage.h"

namespace {

inline int16_t sign(int r) {
    return static_cast<int16_t>(r < 0 ? -1 : r > 0 ? 1 : 0);
}

inline unsigned char upperOf(unsigned char c) {
    // CharUpperA takes a single character in the low bits of its argument.
    return static_cast<unsigned char>(
        reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>(c)))));
}

inline int16_t lengthOrder(uint32_t la, uint32_t lb) {
    return static_cast<int16_t>(la == lb ? 0 : la < lb ? -1 : 1);
}

int16_t compareIntl(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb,
                    bool ignoreCase) {
    KoTerminatedText<513> ta(a, la), tb(b, lb);
    if (!ta.text() || !tb.text()) return ignoreCase ? strCompareCi(a, la, b, lb) : strCompare(a, la, b, lb);
    return sign(ignoreCase ? lstrcmpiA(ta.chars(), tb.chars()) : lstrcmpA(ta.chars(), tb.chars()));
}

inline uint16_t unitFold(uint16_t u) {
    if (U16_IS_SURROGATE(u)) return u;
    UChar32 m = u_tolower(u);
    return m <= 0xFFFF && !U16_IS_SURROGATE(m) ? static_cast<uint16_t>(m) : u;
}

// wcsncmp, and with fold its case-insensitive twin; n = UINT32_MAX for the unbounded forms.
int32_t compareUnits(const uint16_t* a, const uint16_t* b, uint32_t n, bool fold) {
    for (uint32_t i = 0; i < n; ++i) {
        uint16_t x = fold ? unitFold(a[i]) : a[i];
        uint16_t y = fold ? unitFold(b[i]) : b[i];
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
    return 0;
}

inline uint32_t minOf(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

} // namespace

int16_t strCompare(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb) {
    uint32_t n = minOf(la, lb);
    int r = n ? memcmp(a, b, n) : 0;
    return r ? sign(r) : lengthOrder(la, lb);
}

int16_t strCompareCi(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb) {
    uint32_t n = minOf(la, lb);
    uint32_t i = 0;
    while (i < n) {
        unsigned char x = a[i], y = b[i];
        if (IsDBCSLeadByte(x) && n - i >= 2) {
            // A double-byte character is compared exactly, lead byte then trail byte.
            if (x != y) return x < y ? -1 : 1;
            x = a[i + 1];
            y = b[i + 1];
            if (x != y) return x < y ? -1 : 1;
            i += 2;
            continue;
        }
        if (x != y) {
            // A lead byte cut off by the common length is compared as it is.
            if (!IsDBCSLeadByte(x)) {
                x = upperOf(x);
                y = upperOf(y);
            }
            if (x != y) return x < y ? -1 : 1;
        }
        ++i;
    }
    return lengthOrder(la, lb);
}

int16_t strCompareCi(const unsigned char* a, const unsigned char* b) {
    return strCompareCi(a, BUTSTLEN(a), b, BUTSTLEN(b));
}

uint16_t strEqualCi(const unsigned char* a, const unsigned char* b) {
    return strCompareCi(a, b) == 0 ? 1 : 0;
}

uint16_t strEqualCi(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb) {
    return la == lb && strCompareCi(a, la, b, lb) == 0 ? 1 : 0;
}

int16_t strComparePad(const unsigned char* a, const unsigned char* b) {
    uint32_t la = BUTSTLEN(a), lb = BUTSTLEN(b);
    uint32_t n = minOf(la, lb);
    int r = n ? memcmp(a, b, n) : 0;
    if (r) return sign(r);
    const unsigned char* rest = la > lb ? a + n : b + n;
    for (; *rest; ++rest)
        if (*rest != ' ') return la > lb ? 1 : -1;
    return 0;
}

int16_t strCompareIntl(const unsigned char* a, const unsigned char* b) {
    return sign(lstrcmpA(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b)));
}

int16_t strCompareCiIntl(const unsigned char* a, const unsigned char* b) {
    return sign(lstrcmpiA(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b)));
}

int16_t strCompareIntl(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb) {
    return compareIntl(a, la, b, lb, false);
}

int16_t strCompareCiIntl(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb) {
    return compareIntl(a, la, b, lb, true);
}

int16_t strCompareWithMaxLength(const unsigned char* a, const unsigned char* b, uint32_t n) {
    return n ? sign(strncmp(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b), n)) : 0;
}

int16_t floatCompare(const unsigned char* a, const unsigned char* b) {
    bool negA = a[7] & 0x80, negB = b[7] & 0x80;
    if (negA != negB) return negA ? -1 : 1;
    // Same sign: the raw magnitudes order the values, the other way round below zero.
    for (int i = 7; i >= 0; --i) {
        if (a[i] != b[i]) {
            int16_t r = a[i] < b[i] ? -1 : 1;
            return negA ? static_cast<int16_t>(-r) : r;
        }
    }
    return 0;
}

int32_t wcsCompare(const uint16_t* a, const uint16_t* b) {
    return compareUnits(a, b, UINT32_MAX, false);
}
int32_t wcsCompareCi(const uint16_t* a, const uint16_t* b) {
    return compareUnits(a, b, UINT32_MAX, true);
}

int32_t wcsCompare(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb) {
    return compareUnits(a, b, minOf(la, lb), false);
}

int32_t wcsCompareCi(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb) {
    return compareUnits(a, b, minOf(la, lb), true);
}

uint16_t wcsEqual(const uint16_t* a, const uint16_t* b) {
    return wcsCompare(a, b) == 0 ? 1 : 0;
}
uint16_t wcsEqualCi(const uint16_t* a, const uint16_t* b) {
    return wcsCompareCi(a, b) == 0 ? 1 : 0;
}

uint16_t wcsEqual(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb) {
    return wcsCompare(a, la, b, lb) == 0 ? 1 : 0;
}

uint16_t wcsEqualCi(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb) {
    return wcsCompareCi(a, la, b, lb) == 0 ? 1 : 0;
}
