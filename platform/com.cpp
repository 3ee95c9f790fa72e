// COM basics: identifier texts, per-thread initialisation, and a factory without classes.
#include "platform/com.h"

#include <cstring>

namespace {

thread_local int initCount = 0;
thread_local DWORD initMode = 0;

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

HRESULT CoCreateInstance(REFCLSID, void*, DWORD, REFIID, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (initCount == 0) return CO_E_NOTINITIALIZED;
    return REGDB_E_CLASSNOTREG;
}
