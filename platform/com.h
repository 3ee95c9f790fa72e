#pragma once
// Component Object Model basics with Windows' names and results: class and interface identifiers
// read from their texts, per-thread initialisation, and object creation. No class is registered on
// this system (there is no shell window list or browser automation to reach), so creation reports
// REGDB_E_CLASSNOTREG, as Windows does for a class nobody installed.
#include "platform/types.h"

typedef LONG HRESULT;
typedef WCHAR OLECHAR;
typedef const OLECHAR* LPCOLESTR;
typedef LONG RPC_STATUS;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID CLSID;
typedef GUID IID;
typedef const GUID& REFGUID;
typedef const CLSID& REFCLSID;
typedef const IID& REFIID;

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0u)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106u)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define RPC_S_OK 0
#define RPC_S_INVALID_STRING_UUID 1705

#define COINIT_MULTITHREADED 0x0u
#define COINIT_APARTMENTTHREADED 0x2u

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// The root interface of every object.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// Reads "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal digits of either case). A null text is
// the null identifier. CLSIDFromString refuses anything else with CO_E_CLASSSTRING (there are no
// program identifiers to look up), IIDFromString with E_INVALIDARG; the output is then zero.
KO_EXPORT HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
KO_EXPORT HRESULT IIDFromString(LPCOLESTR text, IID* iid);
// Reads the same form without braces; RPC_S_INVALID_STRING_UUID for anything else. A null text is
// the null identifier.
KO_EXPORT RPC_STATUS UuidFromStringA(const unsigned char* text, GUID* uuid);
KO_EXPORT bool IsEqualGUID(REFGUID a, REFGUID b);

// Initialises COM for the calling thread: S_OK the first time, S_FALSE when already done in the same
// mode, RPC_E_CHANGED_MODE in the other mode. Each success is matched by one CoUninitialize.
KO_EXPORT HRESULT CoInitializeEx(LPVOID reserved, DWORD mode);
KO_EXPORT HRESULT CoInitialize(LPVOID reserved);
KO_EXPORT void CoUninitialize();
// Creates an object: CO_E_NOTINITIALIZED on a thread that has not initialised COM, E_POINTER for a
// null output, otherwise REGDB_E_CLASSNOTREG. *object is null on failure.
KO_EXPORT HRESULT CoCreateInstance(REFCLSID clsid, void* outer, DWORD context, REFIID iid, LPVOID* object);
