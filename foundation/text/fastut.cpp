#include "foundation/text/fastut.h"

#include <cstring>

// These sit on the C library's routines, which already work a word (or a vector) at a time once
// aligned and are tuned for each processor; the semantics here are theirs, so nothing is lost.

namespace {

inline int16_t sign(int r) {
    return static_cast<int16_t>(r < 0 ? -1 : r > 0 ? 1 : 0);
}

} // namespace

uint32_t BUTSTLEN(const unsigned char* s) {
    return static_cast<uint32_t>(strlen(reinterpret_cast<const char*>(s)));
}

unsigned char* BUTSTCPY(unsigned char* dst, const unsigned char* src) {
    size_t n = strlen(reinterpret_cast<const char*>(src));
    memcpy(dst, src, n + 1);
    return dst + n;
}

unsigned char* BUTSTCAT(unsigned char* dst, const unsigned char* src) {
    return BUTSTCPY(dst + strlen(reinterpret_cast<const char*>(dst)), src);
}

int16_t BUTSTCMP(const unsigned char* a, const unsigned char* b) {
    // strcmp compares as unsigned char.
    return sign(strcmp(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b)));
}

int16_t BUTMMCMP(const void* a, const void* b, uint32_t n) {
    return n ? sign(memcmp(a, b, n)) : 0;
}

void BUTMMCPD(void* dst, const void* src, uint32_t n) {
    // A downward copy is what makes a move to a higher address safe; memmove is safe both ways.
    if (n) memmove(dst, src, n);
}

uint32_t BUTMMSWP(void* a, void* b, uint32_t n) {
    unsigned char buffer[512];
    auto* pa = static_cast<unsigned char*>(a);
    auto* pb = static_cast<unsigned char*>(b);
    uint32_t piece = 0;
    while (n) {
        piece = n < sizeof buffer ? n : static_cast<uint32_t>(sizeof buffer);
        memcpy(buffer, pa, piece);
        memcpy(pa, pb, piece);
        memcpy(pb, buffer, piece);
        pa += piece;
        pb += piece;
        n -= piece;
    }
    return piece;
}

void BUTU8FIL(void* dst, unsigned char byte, uint32_t n) {
    if (n) memset(dst, byte, n);
}

uint16_t memEqual(const void* a, const void* b, uint32_t n) {
    return n == 0 || memcmp(a, b, n) == 0 ? 1 : 0;
}

int16_t memCompareHuge(const void* a, const void* b, uint32_t n) {
    return n ? sign(memcmp(a, b, n)) : 0;
}

void memZero(void* p, uint32_t n) {
    if (n) memset(p, 0, n);
}

void memZero4Byte(void* p, uint32_t n) {
    if (n) memset(p, 0, static_cast<size_t>(n) * 4);
}

void memCopyAligned(void* dst, const void* src, uint32_t n) {
    if (n) memcpy(dst, src, n);
}

void fastMemCopy(void* dst, const void* src, uint32_t n) {
    if (n) memcpy(dst, src, n);
}
