#pragma once
// Conversion between text in a code page (any single- or multi-byte encoding an ICU converter
// handles), UTF-8 and another code page, over converters the caller opens and closes.
//
// Two forms of each conversion:
// - streaming (with a used pointer): converts what fits, tells how many bytes were written (*out) and how
//   many source bytes were taken (*used); after a complete conversion the output is terminated when a
//   terminator still fits. After a result other than koConvertOk the output is not terminated.
// - measuring (without used): converts one character at a time and always leaves a terminated output of
//   whole characters, then reports in *out the length the complete output has (terminator not counted).
//   With an output size of 0 it only measures. The complete output and its terminator fitting exactly is
//   success.
// No function writes outside the dstLen bytes it is given. The converters are reset at the start of every
// call: each call converts one whole text.
#include <cstdint>
#include <unicode/ucnv.h>
#include "platform/export.h"

enum KoConvertReturn {
    koConvertOk = 0,          // whole input converted
    koConvertTruncated = 1,   // output too small (or filled with no room for the terminator); valid prefix
    koConvertIllegalChar = 2, // an illegal byte sequence was met
    koConvertFailed = 4,      // bad argument, or an ICU failure not listed here
    koConvertBadTable = 5,    // the converter's table is invalid
    koConvertNoFile = 6,      // the converter's data file could not be accessed
};

// ICU status to result: 0 -> 0; overflow and "not terminated" -> 1; illegal character -> 2; invalid
// table format or file -> 5; file access -> 6; anything else, warnings included -> 4.
KO_EXPORT KoConvertReturn mapICUreturn(UErrorCode status);
// len when r is a result whose lengths are valid (0, 1, 2 and 3), else 0.
KO_EXPORT int32_t setConversionReturnLength(KoConvertReturn r, int32_t len);

// Code-page text (read with cp) to UTF-8 (written with utf8). Text that is ASCII at its start is copied
// unchanged without a converter when both converters map ASCII to itself.
KO_EXPORT KoConvertReturn vzAnsiToUTF8(unsigned char* dst, int32_t dstLen, const unsigned char* src,
                                       int32_t srcLen, int32_t* out, int32_t* used, UConverter* cp,
                                       UConverter* utf8);
// Measuring; stops at a zero byte of the source.
KO_EXPORT KoConvertReturn vzAnsiToUTF8(unsigned char* dst, int32_t dstLen, const unsigned char* src,
                                       int32_t srcLen, int32_t* out, UConverter* cp, UConverter* utf8);
// UTF-8 (read with utf8) to code-page text (written with cp); *out is 0 when an argument is refused.
KO_EXPORT KoConvertReturn vzUTF8ToAnsi(unsigned char* dst, int32_t dstLen, const unsigned char* src,
                                       int32_t srcLen, int32_t* out, int32_t* used, UConverter* cp,
                                       UConverter* utf8);
// Measuring; stops at a zero byte of the source.
KO_EXPORT KoConvertReturn vzUTF8ToAnsi(unsigned char* dst, int32_t dstLen, const unsigned char* src,
                                       int32_t srcLen, int32_t* out, UConverter* cp, UConverter* utf8);
// From one code page to another, any encodings (no ASCII shortcut); the terminator is two zero bytes so
// that a target with two-byte units is terminated too.
KO_EXPORT KoConvertReturn vzCpgToCpg(unsigned char* dst, int32_t dstLen, const unsigned char* src,
                                     int32_t srcLen, int32_t* out, int32_t* used, UConverter* from,
                                     UConverter* to);
// Measuring; the whole source length is converted and the terminator has the target's smallest character
// size.
KO_EXPORT KoConvertReturn vzCpgToCpg(unsigned char* dst, int32_t dstLen, const unsigned char* src,
                                     int32_t srcLen, int32_t* out, UConverter* from, UConverter* to);

// The largest number of bytes one character takes in the converter's encoding (0 for a null converter).
KO_EXPORT uint32_t vzMaxCharSize(UConverter* converter);
// The same for the converter of a MIBenum (ICU's default converter for 0 or an unknown number); 0 when it
// cannot be opened.
KO_EXPORT uint32_t vzMaxCharSize(int32_t codePageId);
// 1 when the converter of a MIBenum opens, else 0.
KO_EXPORT int VerifyCodePage(int32_t codePageId);
