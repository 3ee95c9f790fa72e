#pragma once
// Trimming trailing white space or blanks from byte texts, stepping by characters.
#include <cstdint>
#include "foundation/text/kodbcs.h"

// Length of the n bytes without trailing white space (koIsWhiteSpace).
KO_EXPORT uint32_t strRightTrim(const unsigned char* s, uint32_t n, koCPType cp = koCPAnsi);
// Terminates a zero-terminated text after its last character that is not white space; returns the new
// length.
KO_EXPORT uint32_t strRightTrim(unsigned char* s, koCPType cp = koCPAnsi);
// A constant text cannot be terminated; this keeps (const text, cp) from being taken as (text, n).
uint32_t strRightTrim(const unsigned char* s, koCPType cp) = delete;

// The same for spaces (0x20) only.
KO_EXPORT uint32_t strRightTrimBlanks(const unsigned char* s, uint32_t n, koCPType cp = koCPAnsi);
KO_EXPORT uint32_t strRightTrimBlanks(unsigned char* s, koCPType cp = koCPAnsi);
uint32_t strRightTrimBlanks(const unsigned char* s, koCPType cp) = delete;
