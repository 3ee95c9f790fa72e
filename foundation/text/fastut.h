#pragma once
// Raw byte utilities and memory functions: no encoding, no allocation. Comparisons return -1, 0 or 1
// by unsigned bytes; predicates 0 or 1.
#include <cstdint>
#include "foundation/errors/kostatus.h"

// Length of a zero-terminated text.
KO_EXPORT uint32_t BUTSTLEN(const unsigned char* s);
// Copies src and its terminator to dst; returns the address of the terminator written.
KO_EXPORT unsigned char* BUTSTCPY(unsigned char* dst, const unsigned char* src);
// Appends src at the terminator of dst; returns the address of the new terminator.
KO_EXPORT unsigned char* BUTSTCAT(unsigned char* dst, const unsigned char* src);
// Compares two zero-terminated texts.
KO_EXPORT int16_t BUTSTCMP(const unsigned char* a, const unsigned char* b);
// Compares n bytes.
KO_EXPORT int16_t BUTMMCMP(const void* a, const void* b, uint32_t n);
// Copies n bytes from the last one downwards, so a move to a higher, overlapping address is safe.
KO_EXPORT void BUTMMCPD(void* dst, const void* src, uint32_t n);
// Exchanges n bytes between two areas, 512 bytes at a time; returns the size of the last piece (0 for
// n = 0, else 1..512).
KO_EXPORT uint32_t BUTMMSWP(void* a, void* b, uint32_t n);
// Fills n bytes with byte.
KO_EXPORT void BUTU8FIL(void* dst, unsigned char byte, uint32_t n);

// 1 when n bytes are equal.
KO_EXPORT uint16_t memEqual(const void* a, const void* b, uint32_t n);
// Compares n bytes.
KO_EXPORT int16_t memCompareHuge(const void* a, const void* b, uint32_t n);
// Clears n bytes.
KO_EXPORT void memZero(void* p, uint32_t n);
// Clears n four-byte words (4 * n bytes).
KO_EXPORT void memZero4Byte(void* p, uint32_t n);
// Copy n bytes between areas that do not overlap.
KO_EXPORT void memCopyAligned(void* dst, const void* src, uint32_t n);
KO_EXPORT void fastMemCopy(void* dst, const void* src, uint32_t n);
