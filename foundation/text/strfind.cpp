#include "foundation/text/strfind.h"

#include <cstring>

#include "foundation/text/fastut.h"
#include "foundation/errors/ramalloc.h"
#include "platform/codepage.h"

namespace {

inline unsigned char* mutableOf(const unsigned char* p) {
    return const_cast<unsigned char*>(p);
}

// Upper-cases a heap copy for the case-insensitive searches. UTF-8 has only its ASCII letters folded:
// the code page's tables would turn lead and trail bytes into others and split characters.
void upperCase(unsigned char* s, uint32_t n, koCPType cp) {
    if (cp == koCPUtf8) {
        for (uint32_t i = 0; i < n; ++i)
            if (s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<unsigned char>(s[i] - 32);
        return;
    }
    CharUpperBuffA(reinterpret_cast<char*>(s), n);
}

bool inClasses(unsigned char b, const unsigned char* set, uint16_t flags) {
    if (set && b && strchr(reinterpret_cast<const char*>(set), b)) return true;
    if ((flags & strLowerCase) && b >= 'a' && b <= 'z') return true;
    if ((flags & strUpperCase) && b >= 'A' && b <= 'Z') return true;
    if ((flags & strDigits) && b >= '0' && b <= '9') return true;
    return false;
}

} // namespace

unsigned char* strFind(const unsigned char* s, unsigned char c, koCPType cp) {
    for (const unsigned char* p = s;; p += koCharSize(p, cp)) {
        if (*p == c) return mutableOf(p);
        if (!*p) return nullptr;
    }
}

unsigned char* strFindAnsi(const unsigned char* s, unsigned char c) {
    return strFind(s, c, koCPAnsi);
}

unsigned char* strFindReverse(const unsigned char* s, unsigned char c, koCPType cp) {
    const unsigned char* found = nullptr;
    for (const unsigned char* p = s;; p += koCharSize(p, cp)) {
        if (*p == c) found = p;
        if (!*p) return mutableOf(found);
    }
}

unsigned char* strFind(const unsigned char* s, unsigned char c, unsigned char q1, unsigned char q2,
                       unsigned char q3, koCPType cp) {
    unsigned char open = 0; // the quote of the stretch we are in
    for (const unsigned char* p = s;; p += koCharSize(p, cp)) {
        unsigned char b = *p;
        if (!b) return c == 0 && !open ? mutableOf(p) : nullptr;
        if (open) {
            if (b == open) open = 0;
            continue;
        }
        if (b == c) return mutableOf(p);
        if ((q1 && b == q1) || (q2 && b == q2) || (q3 && b == q3)) open = b;
    }
}

unsigned char* strFind(const unsigned char* s, const unsigned char* pattern, koCPType cp) {
    return strFind(s, BUTSTLEN(s), pattern, BUTSTLEN(pattern), cp);
}

unsigned char* strFind(const unsigned char* s, uint32_t n, const unsigned char* pattern, uint32_t m,
                       koCPType cp) {
    if (m == 0 || m > n) return nullptr;
    const unsigned char first = pattern[0];
    for (uint32_t off = 0; off <= n - m; off += koCharSizeOfByte(s[off], cp))
        if (s[off] == first && memcmp(s + off, pattern, m) == 0) return mutableOf(s + off);
    return nullptr;
}

unsigned char* strFindCi(const unsigned char* s, uint32_t n, const unsigned char* pattern, uint32_t m,
                         koCPType cp) {
    if (m == 0 || m > n) return nullptr;
    unsigned char* text = ramAllocStr(s, n);
    unsigned char* pat = ramAllocStr(pattern, m);
    unsigned char* hit = nullptr;
    if (text && pat) {
        upperCase(text, n, cp);
        upperCase(pat, m, cp);
        // Upper-casing keeps every byte's place, so the hit's offset is the same in s.
        unsigned char* found = strFind(text, n, pat, m, cp);
        if (found) hit = mutableOf(s + (found - text));
    }
    ramFree(text);
    ramFree(pat);
    return hit;
}

unsigned char* strFindCi(const unsigned char* s, const unsigned char* pattern, koCPType cp) {
    return strFindCi(s, BUTSTLEN(s), pattern, BUTSTLEN(pattern), cp);
}

unsigned char* strFindCi(const unsigned char* s, uint32_t n, const unsigned char* pattern, koCPType cp) {
    return strFindCi(s, n, pattern, BUTSTLEN(pattern), cp);
}

uint16_t strContains(const unsigned char* s, uint32_t n, const unsigned char* set, uint16_t flags,
                     koCPType cp) {
    for (uint32_t off = 0; off < n; off += koCharSizeOfByte(s[off], cp))
        if (!inClasses(s[off], set, flags)) return 0;
    return 1;
}

uint16_t strDoesNotContain(const unsigned char* s, uint32_t n, const unsigned char* set, uint16_t flags,
                           koCPType cp) {
    for (uint32_t off = 0; off < n; off += koCharSizeOfByte(s[off], cp))
        if (inClasses(s[off], set, flags)) return 0;
    return 1;
}

uint16_t* wcsFind(const uint16_t* s, unsigned char c) {
    for (const uint16_t* p = s;; ++p) {
        if (*p == c) return const_cast<uint16_t*>(p);
        if (!*p) return nullptr;
    }
}

uint16_t* wcsFind(const uint16_t* s, unsigned char c, strFindOptions options) {
    if (options == strFindFirst) return wcsFind(s, c);
    const uint16_t* found = nullptr;
    for (const uint16_t* p = s;; ++p) {
        if (*p == c) found = p;
        if (!*p) return const_cast<uint16_t*>(found);
    }
}

uint16_t* wcsFind(const uint16_t* s, const uint16_t* pattern) {
    if (!*pattern) return const_cast<uint16_t*>(s);
    for (const uint16_t* p = s; *p; ++p) {
        const uint16_t* a = p;
        const uint16_t* b = pattern;
        while (*b && *a == *b)
            ++a, ++b;
        if (!*b) return const_cast<uint16_t*>(p);
    }
    return nullptr;
}
