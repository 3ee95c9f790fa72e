#include "foundation/text/fastut.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Long operands go to the C library's routines, which work a vector at a time once aligned and are tuned
// for each processor. Short ones are settled here with a few word loads, which costs less than the
// call into the library does.

namespace {

inline int16_t sign(int r) {
    return static_cast<int16_t>(r < 0 ? -1 : r > 0 ? 1 : 0);
}

template <class T> inline T load(const unsigned char* p) {
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}

// Order of two words read from memory, by their bytes from the lowest address up.
inline int16_t orderOf(uint64_t a, uint64_t b) {
    return __builtin_bswap64(a) < __builtin_bswap64(b) ? -1 : 1;
}
inline int16_t orderOf(uint32_t a, uint32_t b) {
    return __builtin_bswap32(a) < __builtin_bswap32(b) ? -1 : 1;
}

// Compares up to 16 bytes with two overlapping loads of the widest fitting word.
inline int16_t compareShort(const unsigned char* a, const unsigned char* b, uint32_t n) {
    if (n >= 8) {
        uint64_t x = load<uint64_t>(a), y = load<uint64_t>(b);
        if (x != y) return orderOf(x, y);
        x = load<uint64_t>(a + n - 8);
        y = load<uint64_t>(b + n - 8);
        return x == y ? 0 : orderOf(x, y);
    }
    if (n >= 4) {
        uint32_t x = load<uint32_t>(a), y = load<uint32_t>(b);
        if (x != y) return orderOf(x, y);
        x = load<uint32_t>(a + n - 4);
        y = load<uint32_t>(b + n - 4);
        return x == y ? 0 : orderOf(x, y);
    }
    for (uint32_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

inline int16_t compareBytes(const void* a, const void* b, uint32_t n) {
    if (n <= 16)
        return compareShort(static_cast<const unsigned char*>(a), static_cast<const unsigned char*>(b), n);
    return sign(memcmp(a, b, n));
}

} // namespace

#if defined(__SSE2__)
// The aligned 16-byte block holding s is read whole: an aligned block never crosses a page, so the bytes
// before s and after the terminator are readable, though not part of the text (neighbouring blocks,
// live or freed, which the sanitizers would report).
__attribute__((no_sanitize("address", "thread"))) uint32_t BUTSTLEN(const unsigned char* s) {
    uintptr_t address = reinterpret_cast<uintptr_t>(s);
    unsigned skip = address & 15;
    const __m128i* block = reinterpret_cast<const __m128i*>(address - skip);
    const __m128i zero = _mm_setzero_si128();
    unsigned zeros =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(block), zero))) >> skip;
    if (zeros) return static_cast<uint32_t>(__builtin_ctz(zeros));
    // A few more blocks here; texts longer than that are the library's.
    for (unsigned i = 1; i < 4; ++i) {
        zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(block + i), zero)));
        if (zeros) return static_cast<uint32_t>(16 * i - skip + __builtin_ctz(zeros));
    }
    return static_cast<uint32_t>(64 - skip + strlen(reinterpret_cast<const char*>(block + 4)));
}
#else
uint32_t BUTSTLEN(const unsigned char* s) {
    return static_cast<uint32_t>(strlen(reinterpret_cast<const char*>(s)));
}
#endif

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
    return compareBytes(a, b, n);
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
    if (n <= 16) {
        auto* x = static_cast<const unsigned char*>(a);
        auto* y = static_cast<const unsigned char*>(b);
        if (n >= 8)
            return ((load<uint64_t>(x) ^ load<uint64_t>(y)) |
                    (load<uint64_t>(x + n - 8) ^ load<uint64_t>(y + n - 8))) == 0;
        if (n >= 4)
            return ((load<uint32_t>(x) ^ load<uint32_t>(y)) |
                    (load<uint32_t>(x + n - 4) ^ load<uint32_t>(y + n - 4))) == 0;
        return compareShort(x, y, n) == 0;
    }
    return memcmp(a, b, n) == 0 ? 1 : 0;
}

int16_t memCompareHuge(const void* a, const void* b, uint32_t n) {
    return compareBytes(a, b, n);
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
