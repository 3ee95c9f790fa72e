#pragma once
// Searching byte texts (stepping by characters of the text's encoding, so a trail byte never matches)
// and wide texts. Searches return a pointer into the searched text, or null.
#include <cstdint>
#include "foundation/text/kodbcs.h"

// Option of the wide single-character search: first occurrence, or (any other value) the last.
enum strFindOptions : uint16_t { strFindFirst = 0, strFindLast = 1 };

// Flags of strContains / strDoesNotContain: character classes allowed besides the set.
enum : uint16_t { strLowerCase = 1, strUpperCase = 2, strDigits = 4 };

// The first character whose first byte is c (c = 0 finds the terminator).
KO_EXPORT unsigned char* strFind(const unsigned char* s, unsigned char c, koCPType cp = koCPAnsi);
// The same, stepping by the process's code page.
KO_EXPORT unsigned char* strFindAnsi(const unsigned char* s, unsigned char c);
// The last such character.
KO_EXPORT unsigned char* strFindReverse(const unsigned char* s, unsigned char c, koCPType cp = koCPAnsi);
// The first c outside quoted stretches: a byte equal to q1, q2 or q3 (0 disables one) opens a stretch
// that the next equal byte closes; c is tested before the quotes.
KO_EXPORT unsigned char* strFind(const unsigned char* s, unsigned char c, unsigned char q1, unsigned char q2,
                                 unsigned char q3, koCPType cp = koCPAnsi);
// The first occurrence of pattern (zero-terminated / m bytes in the n bytes of s); null for an empty
// pattern or m > n.
KO_EXPORT unsigned char* strFind(const unsigned char* s, const unsigned char* pattern,
                                 koCPType cp = koCPAnsi);
KO_EXPORT unsigned char* strFind(const unsigned char* s, uint32_t n, const unsigned char* pattern, uint32_t m,
                                 koCPType cp = koCPAnsi);
// Case-insensitive (CharUpperBuffA on heap copies of both); null also when a copy cannot be allocated.
KO_EXPORT unsigned char* strFindCi(const unsigned char* s, const unsigned char* pattern,
                                   koCPType cp = koCPAnsi);
KO_EXPORT unsigned char* strFindCi(const unsigned char* s, uint32_t n, const unsigned char* pattern,
                                   koCPType cp = koCPAnsi);
KO_EXPORT unsigned char* strFindCi(const unsigned char* s, uint32_t n, const unsigned char* pattern,
                                   uint32_t m, koCPType cp = koCPAnsi);

// 1 when every character of the n bytes is allowed: its first byte is in the zero-terminated set (null
// allowed), or it is in a class chosen by flags (strLowerCase "a"-"z", strUpperCase "A"-"Z", strDigits).
KO_EXPORT uint16_t strContains(const unsigned char* s, uint32_t n, const unsigned char* set, uint16_t flags,
                               koCPType cp = koCPAnsi);
// 1 when no character of the n bytes is in set or in the chosen classes.
KO_EXPORT uint16_t strDoesNotContain(const unsigned char* s, uint32_t n, const unsigned char* set,
                                     uint16_t flags, koCPType cp = koCPAnsi);

// The first unit equal to the byte value c / with strFindLast the last one; null when none.
KO_EXPORT uint16_t* wcsFind(const uint16_t* s, unsigned char c);
KO_EXPORT uint16_t* wcsFind(const uint16_t* s, unsigned char c, strFindOptions options);
// wcsstr.
KO_EXPORT uint16_t* wcsFind(const uint16_t* s, const uint16_t* pattern);
