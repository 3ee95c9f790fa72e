#pragma once
// Profile (INI) files with Windows' semantics: case-insensitive section and key names that keep their
// spelling, double-NUL lists of sections or keys when those are null, deletion by a null key or a null
// value. A file name without a folder names a file of the user's folder "$XDG_CONFIG_HOME/ztbtr20";
// no name at all means "win.ini" there. Writes replace the file atomically under its lock.
#include "platform/types.h"

// Copies the value of key in section (blanks and a pair of enclosing quotes removed) or, when there is
// none, the default (trailing blanks removed; null reads as empty) and returns the length copied; a
// value longer than size - 1 is cut there and size - 1 is returned. With key null: the section's keys;
// with section null: the file's sections; each name NUL-terminated and the list ended by one more NUL,
// returning its length without that last NUL, or size - 2 when the list had to be cut (the buffer then
// ends in two NULs). A size of 0 writes nothing and returns 0. A damaged file (not an INI file) is
// read as having no entries, with ERROR_INVALID_DATA.
KO_EXPORT DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                         DWORD size, LPCSTR fileName);
// Sets key in section to value (leading blanks removed), deletes the entry when value is null, or
// the section with all its entries when key is null. TRUE on success, deleting what is not there
// included. FALSE with ERROR_FILE_NOT_FOUND for a null section; FALSE without a change for the cache
// flush form (all three null); FALSE with ERROR_INVALID_DATA for a damaged file, which is left as it is.
KO_EXPORT BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);

// The file a profile name stands for.
KO_EXPORT void koProfileFileName(LPCSTR fileName, char* path, DWORD size);

// The entries of a section as "key=value" strings in a double-NUL list (cut as the string read is).
KO_EXPORT DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName);
// Replaces the entries of a section by a double-NUL list of "key=value" strings; null deletes it.
KO_EXPORT BOOL WritePrivateProfileSectionA(LPCSTR section, LPCSTR entries, LPCSTR fileName);
// The double-NUL list of section names.
KO_EXPORT DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName);
// The leading decimal number of an entry's value (0 when it has none), or the default when missing.
KO_EXPORT UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int defaultValue, LPCSTR fileName);
// The same calls on "win.ini".
KO_EXPORT DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size);
KO_EXPORT BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value);

// The folder where profile files named without a folder live (Windows keeps them in its own folder):
// the length copied, or the size needed including the terminator when the buffer is too small.
KO_EXPORT UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
