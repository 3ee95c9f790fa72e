#pragma once
// What a setup request checks before it touches the profile, and how it reads a stored value whole.
// Each check raises the reason of a refusal on the thread's current error list, so the installer's
// caller learns why nothing was written.
#include <cstdint>
#include "foundation/errors/kostatus.h"

// The profile file keeps a line of at most this many characters; a longer one is read back cut, and
// its tail as a line of its own.
constexpr uint32_t koProfileLineMax = 999;

// 1 (raised) when any entry of the list (length bytes) holds a carriage return or a line feed: the
// file is line based, so such a value would end its entry and start another, or a section.
KoStatus koCheckListLineBreaks(const unsigned char* list, uint32_t length);

// 1 (raised) for a name that is empty, holds a control character, is a section the driver manager
// reserves ("ODBC Data Sources", "ODBC"), or that the installer refuses (SQLValidDSN). With
// installerCheck 0 the installer is not asked (a removal may name what it never accepted).
KoStatus koCheckDataSourceName(const unsigned char* name, int installerCheck);

// 1 (raised) for a value that holds a line break or makes its line longer than the file keeps.
KoStatus koCheckProfileValue(const unsigned char* keyword, const unsigned char* value);

// The value stored under section and key of "ODBC.INI", at its full length; defaultValue when there
// is none or it is empty. An owned copy (ramFree), null when memory runs out.
unsigned char* koReadProfileValue(const unsigned char* section, const unsigned char* key,
                                  const unsigned char* defaultValue);

// 1 when two values are equal once the blanks that the profile drops at both ends are ignored.
int koSameStoredValue(const unsigned char* written, const unsigned char* read);
