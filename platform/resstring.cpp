// Strings of a module's string table, read through the resource library's exported accessor.
#include "platform/module.h"
#include "platform/window.h"

#include <cstring>

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    typedef const char* (*Accessor)(unsigned);
    auto get = module ? reinterpret_cast<Accessor>(GetProcAddress(module, "koResourceString")) : nullptr;
    const char* s = get ? get(id) : nullptr;
    if (!s) return 0;
    size_t n = std::strlen(s);
    if (n > static_cast<size_t>(size - 1)) n = size - 1;
    std::memcpy(buffer, s, n);
    buffer[n] = 0;
    return static_cast<int>(n);
}
