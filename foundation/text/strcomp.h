#pragma once
// Comparing byte texts and wide texts. Byte comparisons return -1, 0 or 1; predicates 0 or 1; wide
// comparisons negative, 0 or positive.
#include <cstdint>
#include "foundation/text/kodbcs.h"

// Exact, by unsigned bytes over the common length; then the shorter text is smaller.
KO_EXPORT int16_t strCompare(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb);

// Case-insensitive: a double-byte character (lead byte in a) is compared exactly; single bytes that
// differ are compared upper-cased (CharUpperA) as unsigned values. The counted form then orders the
// shorter text first.
KO_EXPORT int16_t strCompareCi(const unsigned char* a, const unsigned char* b);
KO_EXPORT int16_t strCompareCi(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb);
// 1 when equal under the same rules; the counted form is 0 at once for different lengths.
KO_EXPORT uint16_t strEqualCi(const unsigned char* a, const unsigned char* b);
KO_EXPORT uint16_t strEqualCi(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb);

// Exact over the common length; when equal, a remainder of spaces only compares equal, anything else
// makes the longer text the greater.
KO_EXPORT int16_t strComparePad(const unsigned char* a, const unsigned char* b);

// Locale-aware comparison (lstrcmpA / lstrcmpiA), zero-terminated and counted. The counted forms copy
// operands of up to 512 bytes on the stack, longer ones to the heap; when that copy cannot be made they
// fall back to the exact comparison (strCompare / strCompareCi).
KO_EXPORT int16_t strCompareIntl(const unsigned char* a, const unsigned char* b);
KO_EXPORT int16_t strCompareCiIntl(const unsigned char* a, const unsigned char* b);
KO_EXPORT int16_t strCompareIntl(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb);
KO_EXPORT int16_t strCompareCiIntl(const unsigned char* a, uint32_t la, const unsigned char* b, uint32_t lb);

// At most n bytes, as strncmp.
KO_EXPORT int16_t strCompareWithMaxLength(const unsigned char* a, const unsigned char* b, uint32_t n);

// Orders two IEEE-754 doubles given as 8 little-endian bytes, by sign and raw magnitude: -0 < +0, and a
// NaN orders by its bits like any other value.
KO_EXPORT int16_t floatCompare(const unsigned char* a, const unsigned char* b);

// wcscmp and its case-insensitive twin; the counted forms compare only the first min(la, lb) units, so
// a text that is a prefix of the other compares equal.
KO_EXPORT int32_t wcsCompare(const uint16_t* a, const uint16_t* b);
KO_EXPORT int32_t wcsCompareCi(const uint16_t* a, const uint16_t* b);
KO_EXPORT int32_t wcsCompare(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb);
KO_EXPORT int32_t wcsCompareCi(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb);
// 1 when the matching comparison gives 0.
KO_EXPORT uint16_t wcsEqual(const uint16_t* a, const uint16_t* b);
KO_EXPORT uint16_t wcsEqualCi(const uint16_t* a, const uint16_t* b);
KO_EXPORT uint16_t wcsEqual(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb);
KO_EXPORT uint16_t wcsEqualCi(const uint16_t* a, uint32_t la, const uint16_t* b, uint32_t lb);
