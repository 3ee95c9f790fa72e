// COM basics: identifier texts, per-thread initialisation, and a factory without classes.
#include "platform/com.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

thread_local int initCount = 0;
thread_local DWORD initMode = 0;

// {00000001-0000-0000-C000-000000000046}
const IID kClassFactoryIid = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct ClassObject {
    DWORD cookie;
    CLSID clsid;
    IUnknown* factory;
    DWORD context;
};

struct Classes {
    std::mutex lock;
    std::vector<ClassObject> registered;
    DWORD nextCookie = 1;
};

Classes& classes() {
    static Classes* c = new Classes; // lives as long as the process: no static destructor runs
    return *c;
}

int hexValue(unsigned c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// Reads the 36 characters of "8-4-4-4-12" hexadecimal groups at text; false for anything else
// (the caller checks what follows).
template <class Char> bool parseGuid(const Char* text, GUID* out) {
    static const int groups[] = {8, 4, 4, 4, 12};
    uint8_t bytes[16];
    int b = 0;
    for (int g = 0; g < 5; ++g) {
        if (g > 0 && static_cast<unsigned>(*text++) != '-') return false;
        for (int i = 0; i < groups[g]; i += 2) {
            int hi = hexValue(static_cast<unsigned>(text[0]));
            int lo = hi < 0 ? -1 : hexValue(static_cast<unsigned>(text[1]));
            if (lo < 0) return false;
            bytes[b++] = static_cast<uint8_t>(hi << 4 | lo);
            text += 2;
        }
    }
    out->Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    out->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    out->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}

HRESULT bracedGuid(LPCOLESTR text, GUID* out, HRESULT refusal) {
    if (!out) return E_INVALIDARG;
    std::memset(out, 0, sizeof *out);
    if (!text) return S_OK;
    GUID g;
    if (text[0] != '{' || !parseGuid(text + 1, &g) || text[37] != '}' || text[38] != 0) return refusal;
    *out = g;
    return S_OK;
}

} // namespace

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    return bracedGuid(text, clsid, CO_E_CLASSSTRING);
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
    return bracedGuid(text, iid, E_INVALIDARG);
}

RPC_STATUS UuidFromStringA(const unsigned char* text, GUID* uuid) {
    if (!uuid) return RPC_S_INVALID_STRING_UUID;
    GUID g{};
    if (text && (!parseGuid(text, &g) || text[36] != 0)) return RPC_S_INVALID_STRING_UUID;
    *uuid = g;
    return RPC_S_OK;
}

bool IsEqualGUID(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

HRESULT CoInitializeEx(LPVOID, DWORD mode) {
    DWORD m = mode & COINIT_APARTMENTTHREADED;
    if (initCount > 0 && initMode != m) return RPC_E_CHANGED_MODE;
    initMode = m;
    return initCount++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (initCount > 0) --initCount;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD, DWORD* cookie) {
    if (!factory || !cookie) return E_INVALIDARG;
    Classes& c = classes();
    std::lock_guard<std::mutex> g(c.lock);
    try {
        c.registered.push_back({c.nextCookie, clsid, factory, context});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    factory->AddRef();
    *cookie = c.nextCookie++;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    IUnknown* factory = nullptr;
    {
        Classes& c = classes();
        std::lock_guard<std::mutex> g(c.lock);
        for (auto it = c.registered.begin(); it != c.registered.end(); ++it)
            if (it->cookie == cookie) {
                factory = it->factory;
                c.registered.erase(it);
                break;
            }
    }
    if (!factory) return CO_E_OBJNOTREG;
    factory->Release();
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (initCount == 0) return CO_E_NOTINITIALIZED;
    IUnknown* factory = nullptr;
    {
        Classes& c = classes();
        std::lock_guard<std::mutex> g(c.lock);
        for (const ClassObject& o : c.registered)
            if (IsEqualGUID(o.clsid, clsid) && (o.context & context)) {
                factory = o.factory;
                factory->AddRef(); // kept while it works, even if revoked meanwhile
                break;
            }
    }
    if (!factory) return REGDB_E_CLASSNOTREG;
    IClassFactory* maker = nullptr;
    HRESULT hr = factory->QueryInterface(kClassFactoryIid, reinterpret_cast<void**>(&maker));
    if (SUCCEEDED(hr) && maker) {
        hr = maker->CreateInstance(outer, iid, object);
        maker->Release();
    }
    factory->Release();
    if (FAILED(hr)) *object = nullptr;
    return hr;
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    // The length in bytes goes before the text, which keeps a terminator after it.
    auto* block =
        static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + (size_t(length) + 1) * sizeof(OLECHAR)));
    if (!block) return nullptr;
    block[0] = length * sizeof(OLECHAR);
    BSTR s = reinterpret_cast<BSTR>(block + 1);
    if (text)
        std::memcpy(s, text, length * sizeof(OLECHAR));
    else
        std::memset(s, 0, length * sizeof(OLECHAR));
    s[length] = 0;
    return s;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    UINT n = 0;
    while (text[n])
        ++n;
    return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<uint32_t*>(text) - 1);
}

UINT SysStringLen(BSTR text) {
    return text ? reinterpret_cast<uint32_t*>(text)[-1] / sizeof(OLECHAR) : 0;
}

void VariantInit(VARIANT* v) {
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->byref = nullptr;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal)
        v->punkVal->Release();
    VariantInit(v);
    return S_OK;
}
