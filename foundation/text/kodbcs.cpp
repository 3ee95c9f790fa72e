#include "foundation/text/kodbcs.h"

#include <unicode/uchar.h>

#include "platform/codepage.h"

namespace {

inline bool isUtf8Lead(unsigned char b) {
    return b >= 0xC0 && b <= 0xEF;
}

} // namespace

uint32_t koCharSizeOfByte(unsigned char b, koCPType cp) {
    if (cp == koCPUtf8) return b < 0xC0 ? 1 : b <= 0xDF ? 2 : b <= 0xEF ? 3 : 1;
    return IsDBCSLeadByte(b) ? 2 : 1;
}

uint32_t koCharSize(const unsigned char* p, koCPType cp) {
    uint32_t size = koCharSizeOfByte(*p, cp);
    if (size == 1 || !*p) return 1;
    for (uint32_t i = 1; i < size; ++i)
        if (!p[i]) return i;
    return size;
}

unsigned char* koCharNext(const unsigned char* p, koCPType cp) {
    return const_cast<unsigned char*>(p + koCharSize(p, cp));
}

uint32_t koCharNext(const unsigned char* s, uint32_t off, koCPType cp) {
    return off + koCharSize(s + off, cp);
}

unsigned char* koCharPrev(const unsigned char* start, const unsigned char* p, koCPType cp) {
    if (p <= start) return const_cast<unsigned char*>(start);
    if (cp == koCPUtf8) {
        // Look back at most three bytes for a lead byte; without one, the byte before p stands alone.
        const unsigned char* q = p - 1;
        if (q == start || isUtf8Lead(*q)) return const_cast<unsigned char*>(q);
        if (isUtf8Lead(p[-2])) return const_cast<unsigned char*>(p - 2);
        if (p - 3 >= start && isUtf8Lead(p[-3])) return const_cast<unsigned char*>(p - 3);
        return const_cast<unsigned char*>(q);
    }
    return reinterpret_cast<unsigned char*>(
        CharPrevA(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(p)));
}

uint32_t koCharPrev(const unsigned char* s, uint32_t off, koCPType cp) {
    return static_cast<uint32_t>(koCharPrev(s, s + off, cp) - s);
}

unsigned char* koCharLast(const unsigned char* s, koCPType cp) {
    const unsigned char* last = s;
    for (const unsigned char* p = s; *p; p += koCharSize(p, cp))
        last = p;
    return const_cast<unsigned char*>(last);
}

uint32_t koCharLast(const unsigned char* s, uint32_t len, koCPType cp) {
    uint32_t last = 0;
    for (uint32_t off = 0; off < len; off += koCharSizeOfByte(s[off], cp))
        last = off;
    return last;
}

uint16_t koCharEqual(const unsigned char* a, const unsigned char* b, koCPType cp) {
    uint32_t size = koCharSize(a, cp);
    if (size != koCharSize(b, cp)) return 0;
    for (uint32_t i = 0; i < size; ++i)
        if (a[i] != b[i]) return 0;
    return 1;
}

uint16_t koCharEqual(const unsigned char* a, uint32_t offA, const unsigned char* b, uint32_t offB,
                     koCPType cp) {
    return koCharEqual(a + offA, b + offB, cp);
}

uint32_t koCharLen(const unsigned char* s, koCPType cp) {
    uint32_t count = 0;
    if (cp == koCPUcs2) {
        // 16-bit units up to a zero unit; the text need not be aligned.
        for (; s[2 * count] || s[2 * count + 1]; ++count) {
        }
        return count;
    }
    for (const unsigned char* p = s; *p; p += koCharSize(p, cp))
        ++count;
    return count;
}

uint32_t koCharLen(const unsigned char* s, uint32_t len, koCPType cp) {
    if (cp == koCPUcs2) return len / 2;
    uint32_t count = 0;
    for (uint32_t off = 0; off < len; off += koCharSizeOfByte(s[off], cp))
        ++count;
    return count;
}

uint16_t koIsLeadByte(const unsigned char* p) {
    return IsDBCSLeadByte(*p) ? 1 : 0;
}
uint16_t koIsLeadByte(const unsigned char* s, uint32_t off) {
    return koIsLeadByte(s + off);
}

uint16_t koIsWhiteSpace(const unsigned char* p) {
    if (koAcpIsSpace(*p)) return 1;
    // The ideographic space of the double-byte code pages.
    return *p == 0x81 && p[1] == 0x40 && IsDBCSLeadByte(0x81) ? 1 : 0;
}

uint16_t koIsWhiteSpace(const unsigned char* s, uint32_t off) {
    return koIsWhiteSpace(s + off);
}

uint16_t koIsAlpha(const unsigned char* p, koCPType cp) {
    return koCharSize(p, cp) > 1 || koAcpIsAlpha(*p) ? 1 : 0;
}

uint16_t koIsAlpha(const unsigned char* s, uint32_t off, koCPType cp) {
    return koIsAlpha(s + off, cp);
}

uint16_t koIsAlphaNumeric(const unsigned char* p, koCPType cp) {
    return koIsAlpha(p, cp) || koAcpIsDigit(*p) ? 1 : 0;
}

uint16_t koIsAlphaNumeric(const unsigned char* s, uint32_t off, koCPType cp) {
    return koIsAlphaNumeric(s + off, cp);
}

uint16_t koIs2ndByte(const unsigned char* start, const unsigned char* p) {
    const unsigned char* q = start;
    while (q < p)
        q += IsDBCSLeadByte(*q) ? 2 : 1;
    return q > p ? 1 : 0;
}

unsigned char* koSkipBlanks(const unsigned char* p, koCPType cp) {
    if (!p) return nullptr;
    while (*p && koIsWhiteSpace(p))
        p += koCharSize(p, cp);
    return const_cast<unsigned char*>(p);
}

uint16_t koStrSBCSChar(const unsigned char* start, const unsigned char* p, unsigned char c) {
    return *p == c && !koIs2ndByte(start, p) ? 1 : 0;
}

uint32_t wcsLen(const uint16_t* s) {
    const uint16_t* p = s;
    while (*p)
        ++p;
    return static_cast<uint32_t>(p - s);
}

namespace {

// One unit's simple case mapping, kept only when it stays a single unit.
inline uint16_t mapUnit(uint16_t u, bool upper) {
    if (U16_IS_SURROGATE(u)) return u;
    UChar32 m = upper ? u_toupper(u) : u_tolower(u);
    return m <= 0xFFFF && !U16_IS_SURROGATE(m) ? static_cast<uint16_t>(m) : u;
}

} // namespace

uint16_t* wcsUpper(uint16_t* s) {
    for (uint16_t* p = s; *p; ++p)
        *p = mapUnit(*p, true);
    return s;
}

uint16_t* wcsLower(uint16_t* s) {
    for (uint16_t* p = s; *p; ++p)
        *p = mapUnit(*p, false);
    return s;
}

uint16_t* wcsCharNext(const uint16_t* p) {
    return const_cast<uint16_t*>(p + 1);
}
uint16_t* wcsCharNext(const uint16_t* p, uint32_t n) {
    return const_cast<uint16_t*>(p + n);
}
