#pragma once
// Win32 types the library uses. unixODBC's headers already define the ODBC ones (BOOL, WORD, DWORD,
// HWND, LPCSTR, HINSTANCE, ...); only what they lack is added here, never redefined.
#include <cstdint>
#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>
#include "platform/export.h"

typedef HINSTANCE HMODULE;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef int32_t LONG;
typedef uint32_t ULONG32;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef void (*FARPROC)(); // cast to the real signature before calling

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif
