#pragma once
// The one translation of system failures into Windows' error codes and the runtime's error numbers.
#include "platform/types.h"

// The Windows error code for a system error number (errno), as the layer reports it.
DWORD koWindowsErrorOfErrno(int error);
// The runtime error number the Windows runtime gives a Windows error code.
int koRuntimeErrnoOfWindowsError(DWORD code);
// Records a failure from a system error number: the thread's last error and runtime error number.
void koFailErrno(int error);
// Records a failure the layer itself detected, at both levels.
void koFailWindows(DWORD code, int runtime);
// Records success at both levels.
void koClearErrors();
