#pragma once
// Scrambling of stored passwords, so that they do not stand in a profile as plain text.
#include <cstdint>
#include "foundation/errors/kostatus.h"

// Scrambles length bytes in place. Mode 1: every byte complemented. Mode 2: the same except bytes 10,
// 13, 242 and 245, which stay (so no line break appears or disappears). Mode 3: pairs of bytes through 32
// rounds keyed by the first four bytes of a 16-byte key (a built-in default, overlaid by keyText when it
// is given, of which at most its first 14 bytes count). Any other mode changes nothing.
KO_EXPORT void encrypt(unsigned char* buffer, uint32_t length, uint16_t mode,
                       const unsigned char* keyText = nullptr);
// Undoes encrypt with the same mode and key text.
KO_EXPORT void decrypt(unsigned char* buffer, uint32_t length, uint16_t mode,
                       const unsigned char* keyText = nullptr);

// The profile form of a password.
//
// A scrambled password may hold any byte value, a zero byte included, which a text profile cannot keep
// (and unixODBC's profile files also drop leading and trailing blanks and break a value at a line feed).
// Its stored form is therefore: one blank, the tag "KO3:", then the mode-3 scrambling (no key text) of
// the clear bytes written as two upper-case hexadecimal digits per byte. Only printable ASCII follows the
// blank, so the value survives every profile, ini file and connection string unchanged, except that the
// profile drops the leading blank: a stored form is recognised with or without it. unixODBC keeps values
// of up to 995 bytes (longer ones come back cut), which holds a password of up to 495 bytes.

// Writes the stored form of the len clear bytes and a terminator into dst, which needs
// koPasswordStoredSize(len) bytes; returns the stored form's length (without the terminator).
KO_EXPORT uint32_t koPasswordToProfile(unsigned char* dst, const unsigned char* clear, uint32_t len);
// Bytes that koPasswordToProfile needs for len clear bytes, terminator included (2 * len + 6).
KO_EXPORT uint32_t koPasswordStoredSize(uint32_t len);
// 1 when value is a stored form (with or without its leading blank), 0 for anything else.
KO_EXPORT uint16_t koPasswordIsStored(const unsigned char* value);
// The clear value of a profile value, written with a terminator into dst, which needs as many bytes as
// value has with its terminator; returns the clear length (the clear bytes may hold a zero byte). A
// stored form is unscrambled; any other value that begins with a blank is taken as raw scrambled bytes
// after the blank and unscrambled up to its first zero byte; a value without a leading blank is plain
// text and copied as it is (a null value gives the empty text).
KO_EXPORT uint32_t koPasswordFromProfile(unsigned char* dst, const unsigned char* value);
