// Checks of a setup request's name and values, and whole reads of stored values.
#include "setup/dsncheck.h"
#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/strcomp.h"
#include "platform/types.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

const char* S(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// A copy of text for a message, each control character written as an escape ("\n", "\x01"), so that
// a refused line break shows instead of breaking the message. Null when memory runs out.
unsigned char* printable(const unsigned char* text, uint32_t length) {
    auto* out = static_cast<unsigned char*>(ramAlloc(length * 4 + 1));
    if (!out) return nullptr;
    unsigned char* p = out;
    static const char hex[] = "0123456789abcdef";
    for (uint32_t i = 0; i < length; ++i) {
        unsigned char c = text[i];
        if (c >= 0x20 && c != 0x7f) {
            *p++ = c;
            continue;
        }
        *p++ = '\\';
        if (c == '\n') {
            *p++ = 'n';
        } else if (c == '\r') {
            *p++ = 'r';
        } else if (c == '\t') {
            *p++ = 't';
        } else {
            *p++ = 'x';
            *p++ = hex[c >> 4];
            *p++ = hex[c & 15];
        }
    }
    *p = 0;
    return out;
}

// Raises number with text (length bytes) made printable as its first parameter.
KoError& raiseWithText(uint16_t number, const unsigned char* text, uint32_t length) {
    unsigned char* shown = printable(text, length);
    KoError& error = koRaiseError(number);
    error << (shown ? shown : reinterpret_cast<const unsigned char*>(""));
    ramFree(shown);
    return error;
}

} // namespace

KoStatus koCheckListLineBreaks(const unsigned char* list, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (list[i] != '\r' && list[i] != '\n') continue;
        uint32_t start = i;
        while (start > 0 && list[start - 1] != 0)
            --start;
        uint32_t end = i;
        while (end < length && list[end] != 0)
            ++end;
        raiseWithText(koErrSetupLineBreak, list + start, end - start);
        return koFailure;
    }
    return koSuccess;
}

KoStatus koCheckDataSourceName(const unsigned char* name, int installerCheck) {
    if (!name || !name[0]) {
        koRaiseError(koErrSetupNameEmpty);
        return koFailure;
    }
    uint32_t length = static_cast<uint32_t>(std::strlen(S(name)));
    for (uint32_t i = 0; i < length; ++i) {
        if (name[i] < 0x20 || name[i] == 0x7f) {
            raiseWithText(koErrSetupNameInvalid, name, length);
            return koFailure;
        }
    }
    // unixODBC keeps its list of data sources and its own settings under these section names.
    static const char* const reserved[] = {"ODBC Data Sources", "ODBC"};
    for (const char* r : reserved) {
        if (strCompareCi(name, reinterpret_cast<const unsigned char*>(r)) == 0) {
            raiseWithText(koErrSetupNameReserved, name, length);
            return koFailure;
        }
    }
    if (installerCheck && !SQLValidDSN(S(name))) {
        raiseWithText(koErrSetupNameInvalid, name, length);
        return koFailure;
    }
    return koSuccess;
}

KoStatus koCheckProfileValue(const unsigned char* keyword, const unsigned char* value) {
    uint32_t length = static_cast<uint32_t>(std::strlen(S(value)));
    for (uint32_t i = 0; i < length; ++i) {
        if (value[i] == '\r' || value[i] == '\n') {
            uint32_t keyLength = static_cast<uint32_t>(std::strlen(S(keyword)));
            auto* entry = static_cast<unsigned char*>(ramAlloc(keyLength + 1 + length + 1));
            if (!entry) return koFailure;
            std::memcpy(entry, keyword, keyLength);
            entry[keyLength] = '=';
            std::memcpy(entry + keyLength + 1, value, length + 1);
            raiseWithText(koErrSetupLineBreak, entry, keyLength + 1 + length);
            ramFree(entry);
            return koFailure;
        }
    }
    uint32_t keyLength = static_cast<uint32_t>(std::strlen(S(keyword)));
    uint32_t limit = koProfileLineMax > keyLength + 1 ? koProfileLineMax - keyLength - 1 : 0;
    if (length > limit) {
        koRaiseError(koErrSetupValueTooLong)
            << keyword << static_cast<int32_t>(length) << static_cast<int32_t>(limit);
        return koFailure;
    }
    return koSuccess;
}

unsigned char* koReadProfileValue(const unsigned char* section, const unsigned char* key,
                                  const unsigned char* defaultValue) {
    // unixODBC keeps the answers of recent reads and gives them again, for some seconds, without
    // looking at the file, even when another process has changed it since; it tells reads apart by
    // their default. A default of its own for every read makes every read look at the file.
    static std::atomic<uint32_t> readNumber{0};
    char fresh[24];
    std::snprintf(fresh, sizeof fresh, "\x01ko%u", readNumber.fetch_add(1) + 1);
    // unixODBC keeps lines of at most koProfileLineMax characters, so a value always fits.
    auto* buffer = static_cast<char*>(ramAlloc(koProfileLineMax + 2));
    if (!buffer) return nullptr;
    buffer[0] = 0;
    int n = SQLGetPrivateProfileString(S(section), S(key), fresh, buffer,
                                       static_cast<int>(koProfileLineMax + 2), "ODBC.INI");
    bool absent = n < 1 || buffer[0] == 0 || std::strcmp(buffer, fresh) == 0;
    unsigned char* value =
        absent ? ramAllocStr(defaultValue) : ramAllocStr(reinterpret_cast<unsigned char*>(buffer));
    ramFree(buffer);
    return value;
}

int koSameStoredValue(const unsigned char* written, const unsigned char* read) {
    auto trimmed = [](const unsigned char* s, const unsigned char*& begin, const unsigned char*& end) {
        begin = s;
        while (isBlank(*begin))
            ++begin;
        end = begin + std::strlen(S(begin));
        while (end > begin && isBlank(end[-1]))
            --end;
    };
    const unsigned char *wb, *we, *rb, *re;
    trimmed(written, wb, we);
    trimmed(read, rb, re);
    return we - wb == re - rb && std::memcmp(wb, rb, we - wb) == 0;
}
