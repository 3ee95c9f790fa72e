#pragma once
// Profile strings of well-known profile files kept in the registry, with the semantics of the Windows
// profile functions; "ODBC.INI" goes to the ODBC installer first, unlisted files to ordinary profile
// files, and, when the caller allows it, a file name may itself be a registry path
// ("HKEY_CURRENT_USER\Software\Vendor\").
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/types.h"

// Reads an entry, or (key null or empty) the double-NUL list of a section's entry names, or (section
// null or empty) the list of the file's sections. Returns the number of characters placed in the
// buffer as the Windows profile read does; a size of 0 writes nothing, a size of 1 one NUL.
KO_EXPORT uint32_t ntGetProfileString(const unsigned char* section, const unsigned char* key,
                                      const unsigned char* defaultValue, unsigned char* buffer, uint32_t size,
                                      const unsigned char* fileName, int allowRegistryPath);
// Writes an entry; a null or empty value deletes it, a null or empty key deletes the section with all
// its subkeys. 0 on success, deleting what is not there included; 1 when the store refuses.
KO_EXPORT KoStatus ntWriteProfileString(const unsigned char* section, const unsigned char* key,
                                        const unsigned char* value, const unsigned char* fileName,
                                        int allowRegistryPath);
