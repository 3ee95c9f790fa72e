#pragma once
// UTF-16 text: conversions to and from code pages and UTF-8, and the small helpers around it.
//
// UTF-16 lengths are in 16-bit units. The swap flag says that the UTF-16 data is in the byte order
// opposite to the machine's: a UTF-16 source is then byte-swapped in place before it is read (and is
// left so), UTF-16 output is swapped after it is written. Streaming and measuring forms as in charconv.h:
// a measuring form leaves a terminated output of whole characters only (a surrogate pair is never cut)
// and reports the length of the complete output; with an output size of 0 it only measures.
#include <cstdint>
#include <unicode/ucnv.h>
#include "foundation/charset/charconv.h"

// The null-terminated length marker of ODBC (SQL_NTS) that the checked UTF-16/UTF-8 conversions accept.
constexpr int32_t vzNullTerminated = -3;

// UTF-16 to code-page text, one ICU conversion into dst; *out bytes written, *used units consumed. A zero
// byte follows the output whenever it fits, whatever the result.
KO_EXPORT KoConvertReturn vzUCS2ToAnsi(char* dst, int32_t dstLen, uint16_t* src, int32_t srcUnits,
                                       int32_t* out, int32_t* used, UConverter* cp, int swap);
// Measuring; srcUnits -1 reads up to the source's zero unit.
KO_EXPORT KoConvertReturn vzUCS2ToAnsi(char* dst, int32_t dstLen, uint16_t* src, int32_t srcUnits,
                                       int32_t* out, UConverter* cp, int swap);
// Code-page text to UTF-16, one ICU conversion into dst; *out units written, *used bytes consumed.
KO_EXPORT KoConvertReturn vzAnsiToUCS2(uint16_t* dst, int32_t dstUnits, const char* src, int32_t srcLen,
                                       int32_t* out, int32_t* used, UConverter* cp, int swap);
// Measuring; srcLen -1 reads up to the source's zero byte.
KO_EXPORT KoConvertReturn vzAnsiToUCS2(uint16_t* dst, int32_t dstUnits, const char* src, int32_t srcLen,
                                       int32_t* out, UConverter* cp, int swap);

// UTF-16 to UTF-8 with the whole dstLen as capacity; *out the length of the complete output. An invalid
// source (a lone surrogate) fails with koConvertFailed; output that fills dst exactly gives
// koConvertTruncated. srcUnits vzNullTerminated reads up to the zero unit and never swaps.
KO_EXPORT KoConvertReturn vzUTF16ToUTF8(unsigned char* dst, int32_t dstLen, uint16_t* src, int32_t srcUnits,
                                        int32_t* out, int swap);
// Measuring; srcUnits -1 (not vzNullTerminated) reads up to the zero unit.
KO_EXPORT KoConvertReturn vzUTF16ToUTF8ReqLen(unsigned char* dst, int32_t dstLen, uint16_t* src,
                                              int32_t srcUnits, int32_t* out, int swap);
// UTF-8 to UTF-16, like vzUTF16ToUTF8 the other way; invalid UTF-8 fails with koConvertFailed.
KO_EXPORT KoConvertReturn vzUTF8ToUTF16(uint16_t* dst, int32_t dstUnits, const unsigned char* src,
                                        int32_t srcLen, int32_t* out, int swap);
// Measuring; srcLen -1 reads up to the zero byte.
KO_EXPORT KoConvertReturn vzUTF8ToUTF16ReqLen(uint16_t* dst, int32_t dstUnits, const unsigned char* src,
                                              int32_t srcLen, int32_t* out, int swap);

// Units before the zero unit (0 for null).
KO_EXPORT uint32_t vzUnicodeLen(const uint16_t* s);
KO_EXPORT uint32_t vzUCS2Len(const uint16_t* s);
// A zero-filled copy from ramAlloc holding the text and its zero unit (the caller frees it with ramFree);
// null when memory runs out or s is null.
KO_EXPORT uint16_t* vzUnicodeDup(const uint16_t* s);
// Copies the units of s without its terminator and returns their count; 0, copying nothing, when dst is
// null or s empty.
KO_EXPORT uint32_t vzUnicodeCopy(uint16_t* dst, const uint16_t* s);

// The bytes the text takes in a Windows code page (the process's ANSI code page when none is given), as
// WideCharToMultiByte measures it; without units the text's own length, terminator not counted.
KO_EXPORT uint32_t vzAsciiLenOfUnicodeStr(const uint16_t* s);
KO_EXPORT uint32_t vzAsciiLenOfUnicodeStr(int32_t codePage, const uint16_t* s);
KO_EXPORT uint32_t vzAsciiLenOfUnicodeStr(const uint16_t* s, int32_t units);
KO_EXPORT uint32_t vzAsciiLenOfUnicodeStr(int32_t codePage, const uint16_t* s, int32_t units);

// dst[i] = src[i] with its bytes exchanged, for count units; dst may be src.
KO_EXPORT void vzUCS2Swap(uint16_t* dst, const uint16_t* src, int32_t count);

// The UTF-16 form of a code point packed in 32 bits: itself up to U+FFFF; above, the high surrogate in the
// low half and the low surrogate in the high half; 0 above U+10FFFF.
KO_EXPORT uint32_t UTF16CharFromUTF8Char(uint32_t cp);
// The UTF-8 bytes of a code point packed in 32 bits, first byte lowest.
KO_EXPORT uint32_t UTF8CharFromUTF16Char(uint32_t cp);
// Writes the UTF-8 form of cp (one to four bytes, no range check) and returns the position after it.
KO_EXPORT unsigned char* vzAppendUTF8(unsigned char* buf, uint32_t cp);

// Upper-cases UTF-8 text of len bytes in place, character by character (ICU's simple case mapping).
// Nothing at or beyond len is read or written. So that no text is lost in place, a character whose upper
// case takes another number of bytes is left as it is, and so are bytes that do not form a whole, valid
// character (a stray continuation byte, a sequence cut off by the end).
KO_EXPORT void vzUTF8Upper(unsigned char* s, int32_t len);
// The same up to the zero byte.
KO_EXPORT void vzUTF8Upper(unsigned char* s);
