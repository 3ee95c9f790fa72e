// "version.dll": a library's version resource is the numeric suffix of its real file name.
#include "platform/module.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

struct VersionBlock {
    char magic[8];
    VS_FIXEDFILEINFO fixed;
};
const char kMagic[8] = {'K', 'O', 'V', 'E', 'R', 'S', '1', 0};

// The dotted numbers at the end of the real file name ("libx.so.2.0.0" gives 2, 0, 0); empty when
// the name has none.
std::vector<unsigned> versionOf(const char* fileName) {
    std::vector<unsigned> parts;
    if (!fileName) return parts;
    char real[PATH_MAX];
    struct stat st;
    if (!realpath(fileName, real) || stat(real, &st) != 0 || !S_ISREG(st.st_mode)) return parts;
    std::string base(real);
    base = base.substr(base.rfind('/') + 1);
    size_t end = base.size();
    while (end > 0) {
        size_t dot = base.rfind('.', end - 1);
        if (dot == std::string::npos || dot + 1 == end) break;
        std::string piece = base.substr(dot + 1, end - dot - 1);
        if (piece.find_first_not_of("0123456789") != std::string::npos) break;
        parts.insert(parts.begin(), static_cast<unsigned>(strtoul(piece.c_str(), nullptr, 10)));
        end = dot;
    }
    return parts;
}

} // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
    if (handle) *handle = 0;
    return versionOf(fileName).empty() ? 0 : sizeof(VersionBlock);
}

BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD size, LPVOID data) {
    std::vector<unsigned> v = versionOf(fileName);
    if (v.empty() || !data || size < sizeof(VersionBlock)) return FALSE;
    v.resize(4, 0);
    VersionBlock block{};
    memcpy(block.magic, kMagic, sizeof kMagic);
    block.fixed.dwSignature = 0xFEEF04BD;
    block.fixed.dwStrucVersion = 0x00010000;
    block.fixed.dwFileVersionMS = ((v[0] & 0xFFFF) << 16) | (v[1] & 0xFFFF);
    block.fixed.dwFileVersionLS = ((v[2] & 0xFFFF) << 16) | (v[3] & 0xFFFF);
    block.fixed.dwProductVersionMS = block.fixed.dwFileVersionMS;
    block.fixed.dwProductVersionLS = block.fixed.dwFileVersionLS;
    memcpy(data, &block, sizeof block);
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length) {
    if (!block || !subBlock || !buffer) return FALSE;
    auto* b = static_cast<const VersionBlock*>(block);
    if (memcmp(b->magic, kMagic, sizeof kMagic) != 0 || strcmp(subBlock, "\\") != 0) return FALSE;
    *buffer = const_cast<VS_FIXEDFILEINFO*>(&b->fixed);
    if (length) *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
