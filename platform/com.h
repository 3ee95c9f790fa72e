#pragma once
// Component Object Model basics with Windows' names and results: class and interface identifiers
// read from their texts, per-thread initialisation, automation strings and variants, and object
// creation. The system registers no class (there is no shell window list or browser automation to
// reach), so creation reports REGDB_E_CLASSNOTREG, as Windows does for a class nobody installed,
// unless the process itself registered a class object (CoRegisterClassObject).
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

// Makes the objects of one class.
struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Automation strings: length-prefixed UTF-16 texts.
typedef OLECHAR* BSTR;
// A copy of text (null for a null text or when memory is short); free with SysFreeString.
KO_EXPORT BSTR SysAllocString(const OLECHAR* text);
KO_EXPORT BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
KO_EXPORT void SysFreeString(BSTR text);
KO_EXPORT UINT SysStringLen(BSTR text);

typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
typedef unsigned short VARTYPE;
enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BOOL = 11,
    VT_UNKNOWN = 13
};
typedef DWORD LCID;
typedef LONG DISPID;

struct IDispatch;
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        void* byref;
    };
};
// Empties a variant (VT_EMPTY) without looking at what it held.
KO_EXPORT void VariantInit(VARIANT* v);
// Frees what a variant holds (its string, or its reference to an object) and empties it.
KO_EXPORT HRESULT VariantClear(VARIANT* v);

// Late-bound automation.
struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, void** typeInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID reserved, OLECHAR** names, UINT count, LCID locale, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID member, REFIID reserved, LCID locale, WORD flags, void* parameters,
                           VARIANT* result, void* exception, UINT* argumentError) = 0;

protected:
    ~IDispatch() = default;
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
#define REGCLS_SINGLEUSE 0u
#define REGCLS_MULTIPLEUSE 1u
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define CO_E_OBJNOTREG ((HRESULT)0x800401FBu)

// Offers factory as the class object of clsid to this process's CoCreateInstance (the factory is
// referenced until revoked); *cookie names the registration.
KO_EXPORT HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags,
                                        DWORD* cookie);
// Withdraws a registration (CO_E_OBJNOTREG when there is none of that cookie).
KO_EXPORT HRESULT CoRevokeClassObject(DWORD cookie);
// Creates an object: CO_E_NOTINITIALIZED on a thread that has not initialised COM, E_POINTER for a
// null output; an object of a class registered by CoRegisterClassObject for one of the contexts asked
// for comes from its factory (asked for the interface iid); any other class is REGDB_E_CLASSNOTREG.
// *object is null on failure.
KO_EXPORT HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                   LPVOID* object);
