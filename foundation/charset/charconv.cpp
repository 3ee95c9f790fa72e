#include "foundation/charset/charconv.h"

#include <cstring>

#include "foundation/charset/charconvcore.h"
#include "foundation/charset/ucnvconv.h"

using charconv::terminate;

namespace {

// Units of the stack pivot between the reading and the writing converter.
constexpr int32_t pivotUnits = 2000;

// The general path of the streaming forms: the rest of the source through a stack pivot into the rest
// of the destination. The writer is flushed only once the whole source has passed, so a surrogate pair
// that a pivot boundary splits reaches it whole. Stores terminatorBytes zero bytes after a complete
// output, each only inside the buffer.
KoConvertReturn streamThroughPivot(unsigned char* dst, int32_t dstLen, unsigned char* at,
                                   const unsigned char* src, int32_t srcLen, const unsigned char* from,
                                   int32_t* out, int32_t* used, UConverter* reader, UConverter* writer,
                                   int terminatorBytes) {
    UChar pivot[pivotUnits];
    UChar* pivotSource = pivot;
    UChar* pivotTarget = pivot;
    char* target = reinterpret_cast<char*>(at);
    const char* source = reinterpret_cast<const char*>(from);
    UErrorCode err = U_ZERO_ERROR;
    ucnv_convertEx(writer, reader, &target, reinterpret_cast<char*>(dst + dstLen), &source,
                   reinterpret_cast<const char*>(src + srcLen), pivot, &pivotSource, &pivotTarget,
                   pivot + pivotUnits, true, true, &err);
    *out = static_cast<int32_t>(reinterpret_cast<unsigned char*>(target) - dst);
    if (used) *used = static_cast<int32_t>(reinterpret_cast<const unsigned char*>(source) - src);
    // Filled exactly, with no room for a terminator, is a complete conversion.
    if (err == U_STRING_NOT_TERMINATED_WARNING) err = U_ZERO_ERROR;
    if (U_FAILURE(err)) return mapICUreturn(err);
    terminate(reinterpret_cast<unsigned char*>(target), terminatorBytes, dst, dst + dstLen);
    return koConvertOk;
}

// Streaming form of the two conversions between a code page and UTF-8: the ASCII start of the text is
// copied as it is when both converters allow it, the rest goes through the pivot.
KoConvertReturn streamWithAsciiStart(unsigned char* dst, int32_t dstLen, const unsigned char* src,
                                     int32_t srcLen, int32_t* out, int32_t* used, UConverter* reader,
                                     UConverter* writer) {
    if (!dst || dstLen <= 0 || !src || !out || srcLen < 0 || !reader || !writer) return koConvertFailed;
    ucnv_resetToUnicode(reader);
    ucnv_resetFromUnicode(writer);
    int32_t ascii = 0;
    if (charconv::asciiTransparent(reader) && charconv::asciiTransparent(writer)) {
        int32_t take = srcLen <= dstLen ? srcLen : dstLen;
        ascii = charconv::copyAscii(dst, src, take);
        if (ascii == srcLen) {
            if (srcLen < dstLen) dst[srcLen] = 0;
            *out = srcLen;
            if (used) *used = srcLen;
            return koConvertOk;
        }
        if (ascii == dstLen) {
            *out = dstLen;
            if (used) *used = dstLen;
            return koConvertTruncated;
        }
    }
    return streamThroughPivot(dst, dstLen, dst + ascii, src, srcLen, src + ascii, out, used, reader, writer,
                              1);
}

// Measuring form of the byte-to-byte conversions: one code point at a time from the reader to the
// writer, whole characters into the buffer, every character counted.
KoConvertReturn measureBytes(unsigned char* dst, int32_t dstLen, const unsigned char* src, int32_t srcLen,
                             int32_t* out, UConverter* reader, UConverter* writer, int terminatorBytes,
                             bool stopAtZero) {
    if (out) *out = 0;
    if ((!dst && dstLen > 0) || (!src && srcLen != 0) || srcLen < 0 || !reader || !writer)
        return koConvertFailed;
    if (dstLen < 0) dstLen = 0;
    if (stopAtZero && srcLen > 0) {
        const void* zero = memchr(src, 0, static_cast<size_t>(srcLen));
        if (zero) srcLen = static_cast<int32_t>(static_cast<const unsigned char*>(zero) - src);
    }
    ucnv_resetToUnicode(reader);
    ucnv_resetFromUnicode(writer);
    // Room for the terminator is kept free at the end.
    charconv::MeasuringWriter output(writer, dst, dstLen - terminatorBytes);
    const char* source = reinterpret_cast<const char*>(src);
    const char* sourceEnd = source + srcLen;
    KoConvertReturn r = koConvertOk;
    while (r == koConvertOk && source < sourceEnd) {
        UErrorCode err = U_ZERO_ERROR;
        UChar32 c = ucnv_getNextUChar(reader, &source, sourceEnd, &err);
        if (err == U_INDEX_OUTOFBOUNDS_ERROR) break; // nothing more: a stateful reader's shifts only
        if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING) {
            r = mapICUreturn(err);
            break;
        }
        // A supplementary character goes to the writer as its pair at once, so it is one character there
        // too; a lone surrogate goes as it came, for the writer to substitute or refuse.
        UChar units[2];
        r = output.put(units, charconv::toUnits(c, units), false);
    }
    // The end of the text: a stateful writer returns to its initial state and nothing it holds is lost.
    if (r == koConvertOk) r = output.put(nullptr, 0, true);
    if (dstLen > 0) terminate(output.end(), terminatorBytes, dst, dst + dstLen);
    if (out) *out = output.count();
    // Success only when the terminated output fits.
    if (r == koConvertOk && (output.full() || dstLen < terminatorBytes)) r = koConvertTruncated;
    return r;
}

UConverter* openById(int32_t codePageId) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* c = ucnv_open(ucnvIANAidToICUname(codePageId), &err);
    if (U_FAILURE(err)) {
        if (c) ucnv_close(c);
        return nullptr;
    }
    return c;
}

} // namespace

KoConvertReturn mapICUreturn(UErrorCode status) {
    switch (status) {
    case U_ZERO_ERROR:
        return koConvertOk;
    case U_BUFFER_OVERFLOW_ERROR:
    case U_STRING_NOT_TERMINATED_WARNING:
        return koConvertTruncated;
    case U_ILLEGAL_CHAR_FOUND:
        return koConvertIllegalChar;
    case U_INVALID_TABLE_FORMAT:
    case U_INVALID_TABLE_FILE:
        return koConvertBadTable;
    case U_FILE_ACCESS_ERROR:
        return koConvertNoFile;
    default:
        return koConvertFailed;
    }
}

int32_t setConversionReturnLength(KoConvertReturn r, int32_t len) {
    return r >= 0 && r <= 3 ? len : 0;
}

KoConvertReturn vzAnsiToUTF8(unsigned char* dst, int32_t dstLen, const unsigned char* src, int32_t srcLen,
                             int32_t* out, int32_t* used, UConverter* cp, UConverter* utf8) {
    return streamWithAsciiStart(dst, dstLen, src, srcLen, out, used, cp, utf8);
}

KoConvertReturn vzAnsiToUTF8(unsigned char* dst, int32_t dstLen, const unsigned char* src, int32_t srcLen,
                             int32_t* out, UConverter* cp, UConverter* utf8) {
    return measureBytes(dst, dstLen, src, srcLen, out, cp, utf8, 1, true);
}

KoConvertReturn vzUTF8ToAnsi(unsigned char* dst, int32_t dstLen, const unsigned char* src, int32_t srcLen,
                             int32_t* out, int32_t* used, UConverter* cp, UConverter* utf8) {
    if (out) *out = 0;
    return streamWithAsciiStart(dst, dstLen, src, srcLen, out, used, utf8, cp);
}

KoConvertReturn vzUTF8ToAnsi(unsigned char* dst, int32_t dstLen, const unsigned char* src, int32_t srcLen,
                             int32_t* out, UConverter* cp, UConverter* utf8) {
    return measureBytes(dst, dstLen, src, srcLen, out, utf8, cp, 1, true);
}

KoConvertReturn vzCpgToCpg(unsigned char* dst, int32_t dstLen, const unsigned char* src, int32_t srcLen,
                           int32_t* out, int32_t* used, UConverter* from, UConverter* to) {
    if (!dst || dstLen <= 0 || !src || !out || srcLen < 0 || !from || !to) return koConvertFailed;
    return streamThroughPivot(dst, dstLen, dst, src, srcLen, src, out, used, from, to, 2);
}

KoConvertReturn vzCpgToCpg(unsigned char* dst, int32_t dstLen, const unsigned char* src, int32_t srcLen,
                           int32_t* out, UConverter* from, UConverter* to) {
    // The terminator is one character of zero bytes, so a target of two- or four-byte units ends in a
    // zero unit.
    int terminatorBytes = to ? ucnv_getMinCharSize(to) : 1;
    if (terminatorBytes < 1 || terminatorBytes > 4) terminatorBytes = 1;
    return measureBytes(dst, dstLen, src, srcLen, out, from, to, terminatorBytes, false);
}

uint32_t vzMaxCharSize(UConverter* converter) {
    return converter ? static_cast<uint32_t>(ucnv_getMaxCharSize(converter)) : 0;
}

uint32_t vzMaxCharSize(int32_t codePageId) {
    UConverter* c = openById(codePageId);
    if (!c) return 0;
    uint32_t size = static_cast<uint32_t>(ucnv_getMaxCharSize(c));
    ucnv_close(c);
    return size;
}

int VerifyCodePage(int32_t codePageId) {
    UConverter* c = openById(codePageId);
    if (!c) return 0;
    ucnv_close(c);
    return 1;
}
