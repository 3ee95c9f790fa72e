#include "foundation/charset/charconvcore.h"

#include <unicode/ucnv_err.h>

#include <cstring>

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

int32_t asciiPrefix(const unsigned char* src, int32_t n) {
    int32_t i = 0;
    // Four words per step; the first one holding a high bit is then searched byte by byte.
    for (; i + 32 <= n; i += 32) {
        uint64_t w[4];
        memcpy(w, src + i, sizeof w);
        if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ull) != 0) break;
    }
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        memcpy(&w, src + i, sizeof w);
        if ((w & 0x8080808080808080ull) != 0) break;
    }
    while (i < n && src[i] < 0x80)
        ++i;
    return i;
}

void terminate(unsigned char* p, int count, const unsigned char* begin, const unsigned char* end) {
    for (int i = 0; i < count; ++i, ++p)
        if (p >= begin && p < end) *p = 0;
}

MeasuringWriter::MeasuringWriter(UConverter* writer, unsigned char* dst, int32_t room)
    : writer_(writer), dst_(dst), pos_(dst), limit_(dst + (room > 0 ? room : 0)) {}

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
