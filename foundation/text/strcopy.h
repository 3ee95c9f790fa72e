#pragma once
// Copying and quoting byte texts, and copying wide texts.
#include <cstdint>
#include "foundation/text/kodbcs.h"

// Bounded copy into size bytes: dst[size - 1] becomes 0 first, then at most size - 1 bytes are copied,
// stopping after src's terminator (so a longer src is cut and terminated). size 0 writes nothing.
// Returns dst.
KO_EXPORT unsigned char* strCopy(unsigned char* dst, uint32_t size, const unsigned char* src);
// Copies n bytes and terminates; returns dst + n.
KO_EXPORT unsigned char* strCopy(unsigned char* dst, const unsigned char* src, uint32_t n);

// Writes q, the n bytes of src character by character with every single-byte q doubled, q and a
// terminator; a character cut off by the end of the n bytes is dropped. dst needs n + (number of q) + 3
// bytes. Returns the address of the terminator.
KO_EXPORT unsigned char* strCopyQuoted(unsigned char* dst, const unsigned char* src, uint32_t n, koCPType cp,
                                       unsigned char q);
// The same for a zero-terminated src.
KO_EXPORT unsigned char* strCopyQuoted(unsigned char* dst, const unsigned char* src, koCPType cp,
                                       unsigned char q);
// The same, written at the terminator of dst.
KO_EXPORT unsigned char* strCatQuoted(unsigned char* dst, const unsigned char* src, koCPType cp,
                                      unsigned char q);

// src's first byte (of n) is the quote character: copies what lies between it and the last byte, a
// doubled quote becoming one; a double-byte character is copied whole and a lead byte that would need
// the closing quote as its trail byte is dropped; an undoubled inner quote ends the copy. Terminates and
// returns the address of the terminator (dst itself for an empty quoted text; n < 2 gives an empty text).
KO_EXPORT unsigned char* strCopyUnquoted(unsigned char* dst, const unsigned char* src, uint32_t n);
// The same for a zero-terminated src.
KO_EXPORT unsigned char* strCopyUnquoted(unsigned char* dst, const unsigned char* src);

// In place: when the n bytes are a well-formed quoted literal (at least two bytes, first byte q, last
// character q, every inner q doubled and no pair swallowing the closing q), removes the enclosing quotes
// and collapses every doubled q, returning the new length; otherwise returns n and changes nothing.
KO_EXPORT uint32_t strRemoveQuotes(unsigned char* s, uint32_t n, unsigned char q, koCPType cp = koCPAnsi);
// The same on a zero-terminated text, terminated at the new length.
KO_EXPORT uint32_t strRemoveQuotes(unsigned char* s, unsigned char q, koCPType cp = koCPAnsi);

// Wide copies: wcscpy / wcsncpy (n units, padded with zero units, unterminated when src has n or more)
// / wcscat. Each returns dst.
KO_EXPORT uint16_t* wcsCopy(uint16_t* dst, const uint16_t* src);
KO_EXPORT uint16_t* wcsCopy(uint16_t* dst, const uint16_t* src, uint32_t n);
KO_EXPORT uint16_t* wcsCat(uint16_t* dst, const uint16_t* src);
