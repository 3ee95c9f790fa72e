#pragma once
// Shared by the units of the operating-system services; not exported.
#include <cstddef>
#include <cstdint>
#include "foundation/errors/kostatus.h"
#include "platform/types.h"

// Raises the library error for a runtime error number (2 no such file, 9 bad handle, 12 no memory,
// 13 access denied, 24 too many open files, 36 locking violation, anything else); name, when the
// error carries one, is its parameter (null gives an empty one).
void bosRaiseRuntimeError(int code, const unsigned char* name);
// The same for a Windows error code, through the runtime's own translation of those codes.
void bosRaiseWindowsError(DWORD code, const unsigned char* name);
// Copies name into out (size bytes) in the form the file system wants it; raises and returns 1 when
// the volume cannot be asked or the name does not fit.
KoStatus bosConvertName(const unsigned char* name, char* out, size_t size);
