#include "setup/keptentries.h"

#include <cstdio>
#include <cstring>

#include "setup/dsncheck.h"
#include "setup/setup.h"

namespace {

const char* S(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

// The keys of a section as the installer lists them (a double-NUL list), in a buffer grown until the
// list fits; null when memory runs out.
unsigned char* listKeys(const unsigned char* section, uint32_t* length) {
    for (uint32_t size = 4096; size <= (1u << 24); size *= 4) {
        auto* buffer = static_cast<unsigned char*>(ramAllocZ(size));
        if (!buffer) return nullptr;
        int n = SQLGetPrivateProfileString(S(section), nullptr, "", reinterpret_cast<char*>(buffer),
                                           static_cast<int>(size), "ODBC.INI");
        if (n < 0) n = 0;
        if (static_cast<uint32_t>(n) + 2 < size) {
            *length = static_cast<uint32_t>(n);
            return buffer;
        }
        ramFree(buffer);
    }
    return nullptr;
}

bool written(const unsigned char* key, const SetupInfo* rows, uint16_t rowCount) {
    if (strCompareCi(key, reinterpret_cast<const unsigned char*>("Driver")) == 0) return true;
    for (uint16_t i = 0; i < rowCount; ++i)
        if (strCompareCi(key, rows[i].keyword) == 0) return true;
    return false;
}

} // namespace

KoKeptEntries::~KoKeptEntries() {
    for (uint32_t i = 0; i < count_; ++i)
        ramFree(values_[i]);
    ramFree(values_);
    ramFree(keys_);
}

KoStatus KoKeptEntries::collect(const unsigned char* section, const SetupInfo* rows, uint16_t rowCount) {
    uint32_t length = 0;
    unsigned char* list = listKeys(section, &length);
    if (!list) return koFailure;
    // Keep only the keys no row writes, packed at the front of the list.
    uint32_t kept = 0, out = 0;
    for (uint32_t at = 0; at < length && list[at];) {
        uint32_t n = static_cast<uint32_t>(std::strlen(S(list + at)));
        if (!written(list + at, rows, rowCount)) {
            std::memmove(list + out, list + at, n + 1);
            out += n + 1;
            ++kept;
        }
        at += n + 1;
    }
    list[out] = 0;
    keys_ = list;
    if (kept == 0) return koSuccess;
    values_ = static_cast<unsigned char**>(ramAllocZ(kept * static_cast<uint32_t>(sizeof(unsigned char*))));
    if (!values_) return koFailure;
    const unsigned char* key = keys_;
    for (; count_ < kept; key += std::strlen(S(key)) + 1) {
        values_[count_] = koReadProfileValue(section, key, reinterpret_cast<const unsigned char*>(""));
        if (!values_[count_]) return koFailure;
        ++count_;
    }
    return koSuccess;
}

bool KoKeptEntries::restore(const unsigned char* section) const {
    const unsigned char* key = keys_;
    for (uint32_t i = 0; i < count_; ++i, key += std::strlen(S(key)) + 1)
        if (!SQLWritePrivateProfileString(S(section), S(key), S(values_[i]), "ODBC.INI")) return false;
    return true;
}
