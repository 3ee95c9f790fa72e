#include "foundation/charset/vzwchar.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstring>

#include "foundation/charset/charconvcore.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/fastut.h"
#include "platform/codepage.h"

namespace {

UChar* asUChars(uint16_t* p) {
    return reinterpret_cast<UChar*>(p);
}

// Bytes of the UTF-8 output that fit in capacity when whole characters only are kept, for a source that
// converts without error (srcUnits -1: up to its zero unit).
int32_t utf8WholePrefix(const UChar* src, int32_t srcUnits, int32_t capacity) {
    int32_t bytes = 0;
    for (int32_t i = 0; srcUnits < 0 ? src[i] != 0 : i < srcUnits;) {
        UChar32 c;
        if (srcUnits < 0) {
            U16_NEXT_UNSAFE(src, i, c);
        } else {
            U16_NEXT(src, i, srcUnits, c);
        }
        int32_t n = U8_LENGTH(c);
        if (n == 0 || bytes + n > capacity) break;
        bytes += n;
    }
    return bytes;
}

// Units of UTF-16 output that a cut at capacity leaves whole: a high surrogate in the last unit lost
// its partner to the cut.
int32_t utf16WholePrefix(const uint16_t* dst, int32_t written) {
    return written > 0 && U16_IS_LEAD(dst[written - 1]) ? written - 1 : written;
}

} // namespace

KoConvertReturn vzUCS2ToAnsi(char* dst, int32_t dstLen, uint16_t* src, int32_t srcUnits, int32_t* out,
                             int32_t* used, UConverter* cp, int swap) {
    if (!dst || dstLen <= 0 || !src || !out || srcUnits < 0 || !cp) return koConvertFailed;
    if (swap && srcUnits > 0) vzUCS2Swap(src, src, srcUnits);
    ucnv_resetFromUnicode(cp);
    char* target = dst;
    const UChar* source = asUChars(src);
    UErrorCode err = U_ZERO_ERROR;
    ucnv_fromUnicode(cp, &target, dst + dstLen, &source, asUChars(src) + srcUnits, nullptr, true, &err);
    *out = static_cast<int32_t>(target - dst);
    if (used) *used = static_cast<int32_t>(source - asUChars(src));
    if (target < dst + dstLen) *target = 0;
    if (err == U_STRING_NOT_TERMINATED_WARNING) return koConvertTruncated;
    return U_FAILURE(err) ? mapICUreturn(err) : koConvertOk;
}

KoConvertReturn vzUCS2ToAnsi(char* dst, int32_t dstLen, uint16_t* src, int32_t srcUnits, int32_t* out,
                             UConverter* cp, int swap) {
    if (out) *out = 0;
    if ((!dst && dstLen > 0) || (!src && srcUnits != 0) || srcUnits < -1 || !cp) return koConvertFailed;
    if (dstLen < 0) dstLen = 0;
    if (srcUnits < 0)
        srcUnits = u_strlen(asUChars(src));
    else if (swap && srcUnits > 0)
        vzUCS2Swap(src, src, srcUnits);
    ucnv_resetFromUnicode(cp);
    // One character at a time, so that the output ends after a whole character.
    auto* bytes = reinterpret_cast<unsigned char*>(dst);
    charconv::MeasuringWriter output(cp, bytes, dstLen - 1);
    const UChar* text = asUChars(src);
    KoConvertReturn r = koConvertOk;
    for (int32_t i = 0; r == koConvertOk && i < srcUnits;) {
        int32_t start = i;
        U16_FWD_1(text, i, srcUnits);
        r = output.put(text + start, i - start, false);
    }
    if (r == koConvertOk) r = output.put(nullptr, 0, true);
    if (dstLen > 0) *output.end() = 0;
    if (out) *out = output.count();
    if (r == koConvertOk && (output.full() || dstLen == 0)) r = koConvertTruncated;
    return r;
}

KoConvertReturn vzAnsiToUCS2(uint16_t* dst, int32_t dstUnits, const char* src, int32_t srcLen, int32_t* out,
                             int32_t* used, UConverter* cp, int swap) {
    if (!dst || dstUnits <= 0 || !src || !out || srcLen < 0 || !cp) return koConvertFailed;
    ucnv_resetToUnicode(cp);
    UChar* target = asUChars(dst);
    const char* source = src;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_toUnicode(cp, &target, asUChars(dst) + dstUnits, &source, src + srcLen, nullptr, true, &err);
    int32_t written = static_cast<int32_t>(target - asUChars(dst));
    *out = written;
    if (used) *used = static_cast<int32_t>(source - src);
    KoConvertReturn r = err == U_STRING_NOT_TERMINATED_WARNING ? koConvertTruncated
                        : U_FAILURE(err)                       ? mapICUreturn(err)
                                                               : koConvertOk;
    if (r <= koConvertIllegalChar) {
        if (written < dstUnits) dst[written] = 0;
        if (swap) vzUCS2Swap(dst, dst, written);
    }
    return r;
}

KoConvertReturn vzAnsiToUCS2(uint16_t* dst, int32_t dstUnits, const char* src, int32_t srcLen, int32_t* out,
                             UConverter* cp, int swap) {
    if (out) *out = 0;
    if ((!dst && dstUnits > 0) || (!src && srcLen != 0) || srcLen < -1 || !cp) return koConvertFailed;
    int32_t capacity = dstUnits > 0 ? dstUnits - 1 : 0;
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(cp, dstUnits > 0 ? asUChars(dst) : nullptr, capacity, src, srcLen, &err);
    if (out) *out = length;
    KoConvertReturn r;
    int32_t written;
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        r = koConvertTruncated;
        written = utf16WholePrefix(dst, capacity);
    } else if (err == U_STRING_NOT_TERMINATED_WARNING || err == U_ZERO_ERROR) {
        // Filled up to the unit kept for the terminator: the terminated output fits.
        r = koConvertOk;
        written = length;
    } else {
        r = mapICUreturn(err);
        written = r == koConvertIllegalChar && length <= capacity ? length : 0;
    }
    if (dstUnits <= 0) return r == koConvertOk ? koConvertTruncated : r;
    dst[written] = 0;
    if (swap) vzUCS2Swap(dst, dst, written);
    return r;
}

KoConvertReturn vzUTF16ToUTF8(unsigned char* dst, int32_t dstLen, uint16_t* src, int32_t srcUnits,
                              int32_t* out, int swap) {
    if (srcUnits == vzNullTerminated) srcUnits = -1;
    if (!dst || dstLen <= 0 || !src || !out) return koConvertFailed;
    if (swap && srcUnits > 0) vzUCS2Swap(src, src, srcUnits);
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(reinterpret_cast<char*>(dst), dstLen, &length, asUChars(src), srcUnits, &err);
    *out = length;
    if (U_FAILURE(err)) return mapICUreturn(err);
    if (err == U_STRING_NOT_TERMINATED_WARNING) return koConvertTruncated;
    if (length < dstLen) dst[length] = 0;
    return koConvertOk;
}

KoConvertReturn vzUTF16ToUTF8ReqLen(unsigned char* dst, int32_t dstLen, uint16_t* src, int32_t srcUnits,
                                    int32_t* out, int swap) {
    if (out) *out = 0;
    if ((!dst && dstLen > 0) || (!src && srcUnits != 0)) return koConvertFailed;
    if (swap && srcUnits > 0) vzUCS2Swap(src, src, srcUnits);
    int32_t capacity = dstLen > 0 ? dstLen - 1 : 0;
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(dstLen > 0 ? reinterpret_cast<char*>(dst) : nullptr, capacity, &length, asUChars(src),
                srcUnits, &err);
    if (out) *out = length;
    KoConvertReturn r = koConvertOk;
    int32_t written = length;
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        r = koConvertTruncated;
        written = utf8WholePrefix(asUChars(src), srcUnits, capacity);
    } else if (U_FAILURE(err)) {
        r = mapICUreturn(err);
        written = 0; // what ICU left is not known to be whole characters
    }
    if (dstLen <= 0) return r == koConvertOk ? koConvertTruncated : r;
    dst[written] = 0;
    return r;
}

KoConvertReturn vzUTF8ToUTF16(uint16_t* dst, int32_t dstUnits, const unsigned char* src, int32_t srcLen,
                              int32_t* out, int swap) {
    if (srcLen == vzNullTerminated) srcLen = -1;
    if (!dst || dstUnits <= 0 || !src || !out) return koConvertFailed;
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(asUChars(dst), dstUnits, &length, reinterpret_cast<const char*>(src), srcLen, &err);
    *out = length;
    KoConvertReturn r = err == U_STRING_NOT_TERMINATED_WARNING ? koConvertTruncated
                        : U_FAILURE(err)                       ? mapICUreturn(err)
                                                               : koConvertOk;
    if (r > koConvertTruncated) return r;
    if (length < dstUnits) dst[length] = 0;
    // A prefix cut by a small buffer is handed back in the byte order asked for, like a whole output.
    if (swap) vzUCS2Swap(dst, dst, length < dstUnits ? length : dstUnits);
    return r;
}

KoConvertReturn vzUTF8ToUTF16ReqLen(uint16_t* dst, int32_t dstUnits, const unsigned char* src, int32_t srcLen,
                                    int32_t* out, int swap) {
    if (out) *out = 0;
    if ((!dst && dstUnits > 0) || (!src && srcLen != 0)) return koConvertFailed;
    int32_t capacity = dstUnits > 0 ? dstUnits - 1 : 0;
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(dstUnits > 0 ? asUChars(dst) : nullptr, capacity, &length,
                  reinterpret_cast<const char*>(src), srcLen, &err);
    if (out) *out = length;
    KoConvertReturn r = koConvertOk;
    int32_t written = length;
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        r = koConvertTruncated;
        written = utf16WholePrefix(dst, capacity);
    } else if (U_FAILURE(err)) {
        r = mapICUreturn(err);
        written = 0;
    }
    if (dstUnits <= 0) return r == koConvertOk ? koConvertTruncated : r;
    dst[written] = 0;
    if (swap) vzUCS2Swap(dst, dst, written);
    return r;
}

uint32_t vzUnicodeLen(const uint16_t* s) {
    if (!s) return 0;
    uint32_t n = 0;
    while (s[n])
        ++n;
    return n;
}

uint32_t vzUCS2Len(const uint16_t* s) {
    return vzUnicodeLen(s);
}

uint16_t* vzUnicodeDup(const uint16_t* s) {
    if (!s) return nullptr;
    uint32_t n = vzUnicodeLen(s);
    if (n >= UINT32_MAX / 2) return nullptr;
    auto* copy = static_cast<uint16_t*>(ramAllocZ((n + 1) * sizeof(uint16_t)));
    if (copy) memcpy(copy, s, n * sizeof(uint16_t));
    return copy;
}

uint32_t vzUnicodeCopy(uint16_t* dst, const uint16_t* s) {
    uint32_t n = vzUnicodeLen(s);
    if (!dst || n == 0) return 0;
    memcpy(dst, s, n * sizeof(uint16_t));
    return n;
}

uint32_t vzAsciiLenOfUnicodeStr(int32_t codePage, const uint16_t* s, int32_t units) {
    if (!s || units <= 0) return 0;
    int n = WideCharToMultiByte(static_cast<UINT>(codePage), 0, reinterpret_cast<LPCWSTR>(s), units, nullptr,
                                0, nullptr, nullptr);
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint32_t vzAsciiLenOfUnicodeStr(const uint16_t* s) {
    return vzAsciiLenOfUnicodeStr(static_cast<int32_t>(GetACP()), s, static_cast<int32_t>(vzUnicodeLen(s)));
}

uint32_t vzAsciiLenOfUnicodeStr(int32_t codePage, const uint16_t* s) {
    return vzAsciiLenOfUnicodeStr(codePage, s, static_cast<int32_t>(vzUnicodeLen(s)));
}

uint32_t vzAsciiLenOfUnicodeStr(const uint16_t* s, int32_t units) {
    return vzAsciiLenOfUnicodeStr(static_cast<int32_t>(GetACP()), s, units);
}

void vzUCS2Swap(uint16_t* dst, const uint16_t* src, int32_t count) {
    if (!dst || !src || count <= 0) return;
    int32_t i = 0;
    auto aligned = [&](uintptr_t a) {
        return (reinterpret_cast<uintptr_t>(dst) % a) == 0 && (reinterpret_cast<uintptr_t>(src) % a) == 0;
    };
    if (aligned(8) && count >= 4) {
        for (; i + 4 <= count; i += 4) {
            uint64_t w;
            memcpy(&w, src + i, 8);
            w = ((w & 0x00FF00FF00FF00FFull) << 8) | ((w >> 8) & 0x00FF00FF00FF00FFull);
            memcpy(dst + i, &w, 8);
        }
    } else if (aligned(4) && count >= 2) {
        for (; i + 2 <= count; i += 2) {
            uint32_t w;
            memcpy(&w, src + i, 4);
            w = ((w & 0x00FF00FFu) << 8) | ((w >> 8) & 0x00FF00FFu);
            memcpy(dst + i, &w, 4);
        }
    }
    for (; i < count; ++i)
        dst[i] = static_cast<uint16_t>((src[i] << 8) | (src[i] >> 8));
}

uint32_t UTF16CharFromUTF8Char(uint32_t cp) {
    if (cp <= 0xFFFF) return cp;
    if (cp > 0x10FFFF) return 0;
    uint32_t lead = 0xD7C0 + (cp >> 10), trail = 0xDC00 | (cp & 0x3FF);
    return lead | (trail << 16);
}

uint32_t UTF8CharFromUTF16Char(uint32_t cp) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    unsigned char* end = vzAppendUTF8(bytes, cp);
    uint32_t packed = 0;
    for (unsigned char* p = end; p > bytes;)
        packed = (packed << 8) | *--p;
    return packed;
}

unsigned char* vzAppendUTF8(unsigned char* buf, uint32_t cp) {
    if (cp < 0x80) {
        *buf++ = static_cast<unsigned char>(cp);
    } else if (cp < 0x800) {
        *buf++ = static_cast<unsigned char>(0xC0 | (cp >> 6));
        *buf++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else if (cp <= 0xFFFF) {
        *buf++ = static_cast<unsigned char>(0xE0 | (cp >> 12));
        *buf++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        *buf++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
        *buf++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
        *buf++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        *buf++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        *buf++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
    return buf;
}

void vzUTF8Upper(unsigned char* s, int32_t len) {
    if (!s) return;
    for (int32_t i = 0; i < len;) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, len, c); // ill-formed bytes come back negative and are passed over unchanged
        if (c < 0) continue;
        UChar32 upper = u_toupper(c);
        if (upper != c && U8_LENGTH(upper) == i - start)
            vzAppendUTF8(s + start, static_cast<uint32_t>(upper));
    }
}

void vzUTF8Upper(unsigned char* s) {
    if (s) vzUTF8Upper(s, static_cast<int32_t>(BUTSTLEN(s)));
}
