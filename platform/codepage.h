#pragma once
// The process's ANSI code page and its character services, over ICU.
//
// One process-wide "ANSI code page": 1252 unless the environment variable KO_ANSI_CODEPAGE names
// another when it is first needed. Lead bytes, case mapping and the character classification below all
// follow that code page; there is no separate OEM code page (OEM = ANSI).
#include "platform/types.h"

#ifndef CP_ACP
#define CP_ACP 0
#endif
#ifndef CP_OEMCP
#define CP_OEMCP 1
#endif
#ifndef CP_UTF8
#define CP_UTF8 65001
#endif
#ifndef WC_NO_BEST_FIT_CHARS
#define WC_NO_BEST_FIT_CHARS 0x00000400
#endif
#ifndef MB_ERR_INVALID_CHARS
#define MB_ERR_INVALID_CHARS 0x00000008
#endif
#ifndef ERROR_INSUFFICIENT_BUFFER
#define ERROR_INSUFFICIENT_BUFFER 122L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif

// The ANSI code page of the process (1252, 932, ...).
UINT GetACP();
// The same: OEM text is ANSI text here.
UINT GetOEMCP();
// TRUE when c starts a two-byte character in the ANSI code page.
BOOL IsDBCSLeadByte(BYTE c);
// TRUE when c starts a two-byte character in the given code page (CP_ACP for the process's).
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE c);

// Upper-cases a zero-terminated text in place and returns it. As on Windows, a "pointer" whose high
// bits are zero carries one character in its low byte: its upper-case form comes back the same way.
// Double-byte characters are left alone.
LPSTR CharUpperA(LPSTR text);
// Upper-cases length bytes in place (double-byte characters left alone); returns length.
DWORD CharUpperBuffA(LPSTR text, DWORD length);
// Lower-case twins of the two above.
LPSTR CharLowerA(LPSTR text);
DWORD CharLowerBuffA(LPSTR text, DWORD length);
// The next character's address (p itself at the terminator).
LPSTR CharNextA(LPCSTR p);
// The start of the character before p, found by stepping from start; start itself when p <= start.
LPSTR CharPrevA(LPCSTR start, LPCSTR p);

// Locale-aware comparison of two ANSI texts (negative, 0, positive), the way users sort words; the
// i form ignores case. A null text sorts before every other.
int lstrcmpA(LPCSTR a, LPCSTR b);
int lstrcmpiA(LPCSTR a, LPCSTR b);

// Converts UTF-16 text (units: -1 for a zero-terminated text, whose terminator is then converted too) to
// the given code page (CP_ACP, CP_UTF8 or a number). With size 0 returns the bytes needed; otherwise the
// bytes written, or 0 when they do not fit or an argument is invalid. A character the code
// page lacks becomes defaultChar (or "?") and sets *usedDefault, which must be null for CP_UTF8.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int units, LPSTR multi, int size,
                        LPCSTR defaultChar, BOOL* usedDefault);
// The inverse: the code page's text to UTF-16, same conventions (size in units); an invalid sequence
// becomes a replacement character, or fails the call with MB_ERR_INVALID_CHARS.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int bytes, LPWSTR wide, int size);

// The character classification the runtime has after setlocale(LC_CTYPE, ".ACP"): the C locale plus
// the letters, case pairs and digits of the ANSI code page's single-byte characters. Lead bytes are
// never letters, digits or blanks. Arguments are byte values 0..255.
int koAcpIsAlpha(int c);
int koAcpIsDigit(int c);
int koAcpIsSpace(int c);
int koAcpIsUpper(int c);
int koAcpIsLower(int c);
int koAcpToUpper(int c);
int koAcpToLower(int c);

// Switches the process's ANSI code page (for tests of other code pages, e.g. 932). Returns FALSE and
// changes nothing when ICU has no converter for it. Not meant to be called while other threads use text.
BOOL koSetAnsiCodePage(UINT codePage);
