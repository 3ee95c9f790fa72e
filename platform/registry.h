#pragma once
// The registry calls with Windows' semantics over the layer's file-backed store (platform/regstore.h):
// keys and values named ignoring case and keeping their spelling, access rights checked per handle,
// Windows' error codes as results. The predefined roots are HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE; other handles come from the layer's handle table.
#include "platform/file.h"
#include "platform/types.h"

typedef struct KoRegKeyHandle__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_DWORD_BIG_ENDIAN 5u
#define REG_LINK 6u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

#define REG_OPTION_NON_VOLATILE 0u
#define REG_OPTION_VOLATILE 1u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_EXECUTE 0x20019u
#define KEY_ALL_ACCESS 0xF003Fu
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000u
#endif

#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161u
#endif
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234u
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259u
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998u
#endif
#ifndef ERROR_BADDB
#define ERROR_BADDB 1009u
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018u
#endif

// Opens subKey of key (key itself for null or empty) with the access asked for. ERROR_FILE_NOT_FOUND
// when it does not exist, ERROR_BAD_PATHNAME for a name beginning with a backslash, ERROR_BADDB when
// the root's file is damaged.
KO_EXPORT LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// Opens subKey, making it and the keys on its way when missing (disposition REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY). keyClass is kept on a new key. Making one needs KEY_CREATE_SUB_KEY on key.
KO_EXPORT LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                               REGSAM access, void* security, PHKEY result, LPDWORD disposition);
// Reads a value (the default value for a null or empty name): its type, and its data when data is
// given and *size suffices (ERROR_MORE_DATA otherwise); *size becomes the data's size.
KO_EXPORT LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE* data,
                                LPDWORD size);
// Sets a value; string data without its terminating NUL gets one.
KO_EXPORT LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD size);
// The index-th value (in the order values were made): name (*nameSize characters of room in, length
// out), type and data as RegQueryValueExA. ERROR_NO_MORE_ITEMS past the last.
KO_EXPORT LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                             LPDWORD type, BYTE* data, LPDWORD size);
// The index-th subkey (ordered by name ignoring case) and its class. ERROR_NO_MORE_ITEMS past the last.
KO_EXPORT LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                             LPSTR keyClass, LPDWORD classSize, FILETIME* lastWrite);
// Sizes and counts of a key, as Windows reports them.
KO_EXPORT LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved,
                                LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                                LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                LPDWORD securityDescriptor, FILETIME* lastWrite);
KO_EXPORT LONG RegDeleteValueA(HKEY key, LPCSTR name);
// Deletes subKey (key itself for an empty name) when it has no subkeys (ERROR_ACCESS_DENIED otherwise).
KO_EXPORT LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
// Closes a key handle; closing a predefined root does nothing.
KO_EXPORT LONG RegCloseKey(HKEY key);

// The older forms. RegOpenKeyA and RegCreateKeyA ask for every right; with no subkey, RegOpenKeyA
// gives back the key's own handle.
KO_EXPORT LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
KO_EXPORT LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
KO_EXPORT LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD size);
// The default value of subKey (made when missing) as text.
KO_EXPORT LONG RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD size);
KO_EXPORT LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, LONG* size);
// Deletes subKey (key itself when null) with all its subkeys and values.
KO_EXPORT LONG RegDeleteTreeA(HKEY key, LPCSTR subKey);
// Every write is on disk when it returns: nothing to flush.
KO_EXPORT LONG RegFlushKey(HKEY key);
