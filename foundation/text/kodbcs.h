#pragma once
// Stepping through byte texts by characters, and classifying characters.
//
// Every function assumes that the position it is given starts a character (koIs2ndByte is the one that
// scans from the text's start to find out). Positions are byte offsets; offsets and lengths are 32-bit.
// Predicates return 0 or 1. The pointer and offset forms step with koCharSize; the counted forms never
// read at or beyond the length they are given.
#include <cstdint>
#include "foundation/errors/kostatus.h"

// Encoding of a byte text; any other value behaves as koCPAnsi.
//   koCPAnsi: the process's ANSI code page; a DBCS lead byte starts a two-byte character.
//   koCPUcs2: two bytes per character, but only the character counts treat it so; everything else
//             steps through it byte-wise, as through koCPAnsi.
//   koCPUtf8: UTF-8 of at most three bytes: 0xC0-0xDF starts two bytes, 0xE0-0xEF three, any other
//             byte (below 0xC0, and 0xF0-0xFF) is one character.
enum koCPType { koCPAnsi = 1, koCPUcs2 = 2, koCPUtf8 = 3 };

// Byte size of the character at p (1, 2 or 3). A zero byte never belongs to a longer character (no
// encoding here has one as a trail byte), so stepping through a zero-terminated text with a cut-off
// character at its end stops at the terminator instead of running past it.
KO_EXPORT uint32_t koCharSize(const unsigned char* p, koCPType cp = koCPAnsi);
// Size of a character that starts with byte b, by that byte alone (for counted texts, in which a
// zero byte is data and the caller checks the size against the bytes left).
KO_EXPORT uint32_t koCharSizeOfByte(unsigned char b, koCPType cp = koCPAnsi);

// The character after the one at p / the offset after the character at s + off.
KO_EXPORT unsigned char* koCharNext(const unsigned char* p, koCPType cp = koCPAnsi);
KO_EXPORT uint32_t koCharNext(const unsigned char* s, uint32_t off, koCPType cp = koCPAnsi);

// The start of the character before p (p itself when p <= start) / the same as an offset into s.
// UTF-8 looks back at most three bytes for a lead byte; other kinds step from start with the code page.
KO_EXPORT unsigned char* koCharPrev(const unsigned char* start, const unsigned char* p,
                                    koCPType cp = koCPAnsi);
KO_EXPORT uint32_t koCharPrev(const unsigned char* s, uint32_t off, koCPType cp = koCPAnsi);

// The last character of a zero-terminated text (s itself when empty) / the offset of the last character
// that starts before len (0 for an empty text).
KO_EXPORT unsigned char* koCharLast(const unsigned char* s, koCPType cp = koCPAnsi);
KO_EXPORT uint32_t koCharLast(const unsigned char* s, uint32_t len, koCPType cp = koCPAnsi);

// 1 when the characters at a and b have the same size and the same bytes.
KO_EXPORT uint16_t koCharEqual(const unsigned char* a, const unsigned char* b, koCPType cp = koCPAnsi);
KO_EXPORT uint16_t koCharEqual(const unsigned char* a, uint32_t offA, const unsigned char* b, uint32_t offB,
                               koCPType cp = koCPAnsi);

// Number of characters up to the terminator / in len bytes. koCPUcs2 counts 16-bit units: up to a zero
// unit / len / 2.
KO_EXPORT uint32_t koCharLen(const unsigned char* s, koCPType cp = koCPAnsi);
KO_EXPORT uint32_t koCharLen(const unsigned char* s, uint32_t len, koCPType cp = koCPAnsi);

// 1 when the byte is a DBCS lead byte of the process's code page.
KO_EXPORT uint16_t koIsLeadByte(const unsigned char* p);
KO_EXPORT uint16_t koIsLeadByte(const unsigned char* s, uint32_t off);

// 1 for a white-space byte of the code page's classification, and for the two-byte ideographic space
// 0x81 0x40 when 0x81 is a lead byte.
KO_EXPORT uint16_t koIsWhiteSpace(const unsigned char* p);
KO_EXPORT uint16_t koIsWhiteSpace(const unsigned char* s, uint32_t off);

// 1 for a letter of the code page and for every character longer than one byte.
KO_EXPORT uint16_t koIsAlpha(const unsigned char* p, koCPType cp = koCPAnsi);
KO_EXPORT uint16_t koIsAlpha(const unsigned char* s, uint32_t off, koCPType cp = koCPAnsi);

// koIsAlpha, or a digit.
KO_EXPORT uint16_t koIsAlphaNumeric(const unsigned char* p, koCPType cp = koCPAnsi);
KO_EXPORT uint16_t koIsAlphaNumeric(const unsigned char* s, uint32_t off, koCPType cp = koCPAnsi);

// 1 when p is the trail byte of a two-byte character of the code page, found by stepping from start.
KO_EXPORT uint16_t koIs2ndByte(const unsigned char* start, const unsigned char* p);

// The first character at or after p that is not white space (koIsWhiteSpace); null stays null.
KO_EXPORT unsigned char* koSkipBlanks(const unsigned char* p, koCPType cp = koCPAnsi);

// 1 when the byte at p is c and p is not the trail byte of a two-byte character.
KO_EXPORT uint16_t koStrSBCSChar(const unsigned char* start, const unsigned char* p, unsigned char c);

// Wide texts: zero-terminated runs of 16-bit units.

// Units before the terminator.
KO_EXPORT uint32_t wcsLen(const uint16_t* s);
// Upper-/lower-cases every unit in place (simple case mapping, one unit to one unit); returns s.
KO_EXPORT uint16_t* wcsUpper(uint16_t* s);
KO_EXPORT uint16_t* wcsLower(uint16_t* s);
// p + 1 unit / p + n units.
KO_EXPORT uint16_t* wcsCharNext(const uint16_t* p);
KO_EXPORT uint16_t* wcsCharNext(const uint16_t* p, uint32_t n);
