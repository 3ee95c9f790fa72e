#include "foundation/charset/charconvcore.h"

#include <unicode/ucnv_err.h>

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace charconv {

namespace {

// Tries the 128 ASCII characters both ways on a private copy of the converter.
bool probeAscii(UConverter* converter) {
    UErrorCode err = U_ZERO_ERROR;
#if U_ICU_VERSION_MAJOR_NUM >= 71
    UConverter* c = ucnv_clone(converter, &err);
#else
    UConverter* c = ucnv_safeClone(converter, nullptr, nullptr, &err);
#endif
    if (U_FAILURE(err) || !c) {
        if (c) ucnv_close(c);
        return false;
    }
    ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    char bytes[128];
    UChar units[128];
    for (int i = 0; i < 128; ++i) {
        bytes[i] = static_cast<char>(i);
        units[i] = static_cast<UChar>(i);
    }
    UChar decoded[256];
    char encoded[256];
    err = U_ZERO_ERROR;
    ucnv_resetToUnicode(c);
    int32_t n = ucnv_toUChars(c, decoded, 256, bytes, 128, &err);
    bool same = U_SUCCESS(err) && n == 128 && memcmp(decoded, units, sizeof units) == 0;
    if (same) {
        err = U_ZERO_ERROR;
        ucnv_resetFromUnicode(c);
        n = ucnv_fromUChars(c, encoded, 256, units, 128, &err);
        same = U_SUCCESS(err) && n == 128 && memcmp(encoded, bytes, sizeof bytes) == 0;
    }
    ucnv_close(c);
    return same;
}

// The answers of the last few converters asked about, per thread: the probe costs a clone.
struct AsciiCache {
    struct Entry {
        char name[80];
        bool transparent;
    };
    Entry entries[8];
    int used = 0;
    int next = 0;
};

} // namespace

bool asciiTransparent(UConverter* converter) {
    if (!converter) return false;
    UErrorCode err = U_ZERO_ERROR;
    switch (ucnv_getType(converter)) {
    case UCNV_UTF8:
    case UCNV_CESU8:
    case UCNV_US_ASCII:
    case UCNV_LATIN_1:
        return true;
    case UCNV_SBCS:
    case UCNV_DBCS:
    case UCNV_MBCS:
        break;
    default:
        return false; // stateful, EBCDIC stateful, UTF-16/32, UTF-7, SCSU, BOCU-1, ...
    }
    const char* name = ucnv_getName(converter, &err);
    if (U_FAILURE(err) || !name || strlen(name) >= sizeof AsciiCache::Entry::name)
        return probeAscii(converter);
    thread_local AsciiCache cache;
    for (int i = 0; i < cache.used; ++i)
        if (strcmp(cache.entries[i].name, name) == 0) return cache.entries[i].transparent;
    bool transparent = probeAscii(converter);
    AsciiCache::Entry& e = cache.entries[cache.next];
    strcpy(e.name, name);
    e.transparent = transparent;
    cache.next = (cache.next + 1) % 8;
    if (cache.used < 8) ++cache.used;
    return transparent;
}

namespace {

// The generic copy: a word at a time, each checked before it is stored.
int32_t copyAsciiWords(unsigned char* dst, const unsigned char* src, int32_t i, int32_t n) {
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        memcpy(&w, src + i, sizeof w);
        if ((w & 0x8080808080808080ull) != 0) break;
        memcpy(dst + i, &w, sizeof w);
    }
    for (; i < n && src[i] < 0x80; ++i)
        dst[i] = src[i];
    return i;
}

#if defined(__x86_64__) && defined(__GNUC__)
// 128 bytes per step in four 32-byte registers; a step whose bytes all lack the high bit is stored.
__attribute__((target("avx2"))) int32_t copyAsciiAvx2(unsigned char* dst, const unsigned char* src,
                                                      int32_t n) {
    int32_t i = 0;
    for (; i + 128 <= n; i += 128) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32));
        __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 64));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 96));
        if (_mm256_movemask_epi8(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d))) != 0) break;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 32), b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 64), c);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 96), d);
    }
    return copyAsciiWords(dst, src, i, n);
}

// 64 bytes per step with the instructions every x86-64 has.
int32_t copyAsciiSse2(unsigned char* dst, const unsigned char* src, int32_t n) {
    int32_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 32));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 48));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 32), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 48), d);
    }
    return copyAsciiWords(dst, src, i, n);
}
#endif

} // namespace

int32_t copyAscii(unsigned char* dst, const unsigned char* src, int32_t n) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 ? copyAsciiAvx2(dst, src, n) : copyAsciiSse2(dst, src, n);
#else
    return copyAsciiWords(dst, src, 0, n);
#endif
}

void terminate(unsigned char* p, int count, const unsigned char* begin, const unsigned char* end) {
    for (int i = 0; i < count; ++i, ++p)
        if (p >= begin && p < end) *p = 0;
}

MeasuringWriter::MeasuringWriter(UConverter* writer, unsigned char* dst, int32_t room)
    : writer_(writer), pos_(dst), limit_(dst + (room > 0 ? room : 0)) {}

KoConvertReturn MeasuringWriter::put(const UChar* units, int32_t n, bool flush) {
    if (full_) return drain(units, units + n, flush);
    unsigned char* start = pos_;
    char* target = reinterpret_cast<char*>(pos_);
    const UChar* source = units;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_fromUnicode(writer_, &target, reinterpret_cast<char*>(limit_), &source, units + n, nullptr, flush,
                     &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        // This character is the first that does not fit: the output ends before it, and it and all that
        // follows are counted only (ICU keeps what did not fit and hands it out first).
        full_ = true;
        int64_t partial = reinterpret_cast<unsigned char*>(target) - start;
        pos_ = start;
        KoConvertReturn r = drain(source, units + n, flush);
        if (r == koConvertOk) count_ += partial;
        return r;
    }
    if (U_FAILURE(err)) return mapICUreturn(err);
    pos_ = reinterpret_cast<unsigned char*>(target);
    count_ += pos_ - start;
    return koConvertOk;
}

KoConvertReturn MeasuringWriter::drain(const UChar* units, const UChar* unitsEnd, bool flush) {
    int64_t counted = 0;
    for (;;) {
        char scratch[32];
        char* target = scratch;
        UErrorCode err = U_ZERO_ERROR;
        ucnv_fromUnicode(writer_, &target, scratch + sizeof scratch, &units, unitsEnd, nullptr, flush, &err);
        counted += target - scratch;
        if (err == U_BUFFER_OVERFLOW_ERROR) continue;
        if (U_FAILURE(err)) return mapICUreturn(err);
        count_ += counted;
        return koConvertOk;
    }
}

} // namespace charconv
