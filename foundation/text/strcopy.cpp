#include "foundation/text/strcopy.h"

#include <cstring>

#include "foundation/text/fastut.h"
#include "platform/codepage.h"

unsigned char* strCopy(unsigned char* dst, uint32_t size, const unsigned char* src) {
    if (size == 0) return dst;
    dst[size - 1] = 0;
    // The terminator is copied too when it lies within the first size - 1 bytes.
    const void* end = memchr(src, 0, size - 1);
    uint32_t n = end ? static_cast<uint32_t>(static_cast<const unsigned char*>(end) - src) + 1 : size - 1;
    memcpy(dst, src, n);
    return dst;
}

unsigned char* strCopy(unsigned char* dst, const unsigned char* src, uint32_t n) {
    if (n) memcpy(dst, src, n);
    dst[n] = 0;
    return dst + n;
}

unsigned char* strCopyQuoted(unsigned char* dst, const unsigned char* src, uint32_t n, koCPType cp,
                             unsigned char q) {
    *dst++ = q;
    for (uint32_t off = 0; off < n;) {
        uint32_t size = koCharSizeOfByte(src[off], cp);
        if (n - off < size) break; // a character cut off by the end is dropped
        if (size == 1 && src[off] == q) *dst++ = q;
        memcpy(dst, src + off, size);
        dst += size;
        off += size;
    }
    *dst++ = q;
    *dst = 0;
    return dst;
}

unsigned char* strCopyQuoted(unsigned char* dst, const unsigned char* src, koCPType cp, unsigned char q) {
    return strCopyQuoted(dst, src, BUTSTLEN(src), cp, q);
}

unsigned char* strCatQuoted(unsigned char* dst, const unsigned char* src, koCPType cp, unsigned char q) {
    return strCopyQuoted(dst + BUTSTLEN(dst), src, BUTSTLEN(src), cp, q);
}

unsigned char* strCopyUnquoted(unsigned char* dst, const unsigned char* src, uint32_t n) {
    if (n >= 2) {
        const unsigned char q = src[0];
        const uint32_t end = n - 1; // the closing quote
        for (uint32_t off = 1; off < end;) {
            unsigned char c = src[off];
            if (IsDBCSLeadByte(c)) {
                if (off + 1 >= end) break; // its trail byte would be the closing quote
                *dst++ = c;
                *dst++ = src[off + 1];
                off += 2;
            } else if (c == q) {
                if (off + 1 >= end || src[off + 1] != q) break; // an undoubled quote ends the text
                *dst++ = q;
                off += 2;
            } else {
                *dst++ = c;
                ++off;
            }
        }
    }
    *dst = 0;
    return dst;
}

unsigned char* strCopyUnquoted(unsigned char* dst, const unsigned char* src) {
    return strCopyUnquoted(dst, src, BUTSTLEN(src));
}

uint32_t strRemoveQuotes(unsigned char* s, uint32_t n, unsigned char q, koCPType cp) {
    if (n < 2 || s[0] != q) return n;
    uint32_t last = koCharLast(s, n, cp);
    if (last != n - 1 || s[last] != q) return n;
    // Every inner quote must be doubled, and no pair may take the closing quote as its second half.
    const uint32_t end = n - 1;
    for (uint32_t off = 1; off < end;) {
        uint32_t size = koCharSizeOfByte(s[off], cp);
        if (size == 1 && s[off] == q) {
            if (off + 1 >= end || s[off + 1] != q) return n;
            size = 2;
        }
        off += size;
    }
    uint32_t w = 0;
    for (uint32_t off = 1; off < end;) {
        uint32_t size = koCharSizeOfByte(s[off], cp);
        if (size == 1 && s[off] == q) {
            s[w++] = q;
            off += 2;
            continue;
        }
        // The check above ensured no character runs into the closing quote.
        memmove(s + w, s + off, size);
        w += size;
        off += size;
    }
    return w;
}

uint32_t strRemoveQuotes(unsigned char* s, unsigned char q, koCPType cp) {
    uint32_t n = BUTSTLEN(s);
    uint32_t m = strRemoveQuotes(s, n, q, cp);
    s[m] = 0;
    return m;
}

uint16_t* wcsCopy(uint16_t* dst, const uint16_t* src) {
    uint16_t* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

uint16_t* wcsCopy(uint16_t* dst, const uint16_t* src, uint32_t n) {
    uint32_t i = 0;
    for (; i < n && src[i]; ++i)
        dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = 0;
    return dst;
}

uint16_t* wcsCat(uint16_t* dst, const uint16_t* src) {
    uint16_t* d = dst;
    while (*d)
        ++d;
    wcsCopy(d, src);
    return dst;
}
