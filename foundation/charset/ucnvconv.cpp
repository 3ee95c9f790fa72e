#include "foundation/charset/ucnvconv.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <cstdlib>
#include <cstring>

#include "foundation/errors/ramalloc.h"
#include "platform/codepage.h"
#include "platform/icudata.h"

namespace {

// Binary search on the first column; the index of the row holding key, or -1.
template <class Row, class Key>
int32_t findRow(const Row* rows, int32_t count, Key key, int32_t Row::*column) {
    int32_t low = 0, high = count - 1;
    while (low <= high) {
        int32_t middle = (low + high) / 2;
        int32_t at = rows[middle].*column;
        if (at == key) return middle;
        if (at < key)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

int32_t mapNumber(const UcnvNumberRow* rows, int32_t count, int32_t key) {
    int32_t i = findRow(rows, count, key, &UcnvNumberRow::from);
    return i < 0 ? ucnvNoMatch : rows[i].to;
}

// The connection-string scanner over one UTF-16 text.
class AttributeScan {
public:
    AttributeScan(const uint16_t* text, int32_t units) : text_(text), end_(units > 0 ? units : 0) {}

    int32_t run(uint16_t** dsn, void* (*allocate)(size_t)) {
        int32_t result = ucnvNoMatch;
        while (at_ < end_) {
            if (U16_IS_LEAD(text_[at_])) {
                at_ += 2;
                continue;
            }
            skipWhite();
            int32_t value = 0;
            if (keyword(u"IANAAPPCODEPAGE", u"ianaappcodepage") || keyword(u"IACP", u"iacp")) {
                if (number(&value)) return value;
                result = ucnvNoMatch;
            } else if (keyword(u"APPCODEPAGE", u"appcodepage") || keyword(u"ACP", u"acp")) {
                result = number(&value) ? ucnvMorvexToIANA(value) : ucnvNoMatch;
            } else if (dsn && !*dsn && keyword(u"DSN", u"dsn")) {
                // Without memory for the name the caller cannot be told the answer it asked for.
                if (equalsSign() && !(*dsn = copyToSeparator(allocate))) return ucnvNoMatch;
            }
            while (at_ < end_ && text_[at_] != u';')
                ++at_;
            ++at_; // past the separator
        }
        return result;
    }

private:
    const uint16_t* text_;
    int32_t end_;
    int32_t at_ = 0;

    // Skips white space; a surrogate pair is one character.
    void skipWhite() {
        while (at_ < end_) {
            int32_t next = at_;
            UChar32 c;
            U16_NEXT(text_, next, end_, c);
            if (!u_isWhitespace(c)) return;
            at_ = next;
        }
    }

    // Consumes the keyword when the text starts with it at the current position, in any case mix.
    bool keyword(const char16_t* upper, const char16_t* lower) {
        int32_t i = at_;
        for (; *upper; ++upper, ++lower, ++i) {
            if (i >= end_) return false;
            uint16_t c = text_[i];
            if (U16_IS_SURROGATE(c) || (c != *upper && c != *lower)) return false;
        }
        at_ = i;
        return true;
    }

    // White space, "=", white space; false when "=" is missing or the text ends after it.
    bool equalsSign() {
        skipWhite();
        if (at_ >= end_ || text_[at_] != u'=') return false;
        ++at_;
        skipWhite();
        return at_ < end_;
    }

    // "=" and an optionally negative decimal number (no digits read as 0).
    bool number(int32_t* value) {
        if (!equalsSign()) return false;
        bool negative = text_[at_] == u'-';
        if (negative) ++at_;
        uint32_t n = 0; // wraps like the 32-bit arithmetic it stands for
        while (at_ < end_ && text_[at_] >= u'0' && text_[at_] <= u'9')
            n = n * 10 + static_cast<uint32_t>(text_[at_++] - u'0');
        *value = static_cast<int32_t>(negative ? 0u - n : n);
        return true;
    }

    // A zero-terminated copy of the text up to the next ";" or the end; null when memory runs out.
    uint16_t* copyToSeparator(void* (*allocate)(size_t)) {
        int32_t start = at_;
        while (at_ < end_ && text_[at_] != u';')
            ++at_;
        size_t n = static_cast<size_t>(at_ - start);
        auto* copy = static_cast<uint16_t*>(allocate((n + 1) * sizeof(uint16_t)));
        if (!copy) return nullptr;
        if (n) memcpy(copy, text_ + start, n * sizeof(uint16_t));
        copy[n] = 0;
        return copy;
    }
};

void* ramAllocAny(size_t size) {
    return size > UINT32_MAX ? nullptr : ramAlloc(static_cast<uint32_t>(size));
}

// The converter of the process's ANSI code page; ICU's default when the tables do not know it.
UConverter* openAnsiConverter() {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* conv =
        ucnv_open(ucnvIANAidToICUname(ucnvWindowsToIANA(static_cast<int32_t>(GetACP()))), &err);
    if (U_FAILURE(err)) {
        if (conv) ucnv_close(conv);
        return nullptr;
    }
    return conv;
}

} // namespace

const char* ucnvIANAidToICUname(int32_t mibenum) {
    koUseConverterData(); // the caller is about to open what we name
    int32_t i = findRow(ucnvNameTable, ucnvNameTableRows, mibenum, &UcnvNameRow::id);
    return i < 0 ? nullptr : ucnvNameTable[i].name;
}

int32_t ucnvMorvexToIANA(int32_t morvex) {
    return mapNumber(ucnvMorvexTable, ucnvMorvexTableRows, morvex);
}
int32_t ucnvWindowsToIANA(int32_t codePage) {
    return mapNumber(ucnvWindowsTable, ucnvWindowsTableRows, codePage);
}
int32_t ucnvIANAToIBM(int32_t mibenum) {
    return mapNumber(ucnvIANAToIBMTable, ucnvIANAToIBMTableRows, mibenum);
}
int32_t ucnvIBMToIANA(int32_t ccsid) {
    return mapNumber(ucnvIBMToIANATable, ucnvIBMToIANATableRows, ccsid);
}

int32_t ucnvUnicodeIANAAppCodePage(const uint16_t* text, int32_t units, uint16_t** dsn) {
    if (!text) return ucnvNoMatch;
    return AttributeScan(text, units).run(dsn, malloc);
}

int32_t ucnvAnsiIANAAppCodePage(const unsigned char* text, int32_t length, unsigned char** dsn) {
    if (!text || length < 0) return ucnvNoMatch;
    UConverter* conv = openAnsiConverter();
    if (!conv) return ucnvNoMatch;
    // Every byte gives at most two units.
    int32_t capacity = length > (INT32_MAX - 1) / 2 ? -1 : 2 * length + 1;
    auto* wide = capacity < 0 ? nullptr : static_cast<UChar*>(ramAllocAny(sizeof(UChar) * capacity));
    int32_t result = ucnvNoMatch;
    if (wide) {
        UErrorCode err = U_ZERO_ERROR;
        int32_t units =
            ucnv_toUChars(conv, wide, capacity, reinterpret_cast<const char*>(text), length, &err);
        uint16_t* name = nullptr;
        if (U_SUCCESS(err)) {
            result = AttributeScan(reinterpret_cast<const uint16_t*>(wide), units)
                         .run(dsn && !*dsn ? &name : nullptr, ramAllocAny);
            if (name) {
                // Back into the code page the text came in: measured first, then converted.
                const UChar* wideName = reinterpret_cast<const UChar*>(name);
                int32_t nameUnits = u_strlen(wideName);
                err = U_ZERO_ERROR;
                int32_t size = ucnv_fromUChars(conv, nullptr, 0, wideName, nameUnits, &err);
                char* bytes = nullptr;
                if (err == U_BUFFER_OVERFLOW_ERROR || err == U_STRING_NOT_TERMINATED_WARNING) {
                    bytes = static_cast<char*>(malloc(static_cast<size_t>(size) + 1));
                    err = U_ZERO_ERROR;
                    if (bytes) ucnv_fromUChars(conv, bytes, size + 1, wideName, nameUnits, &err);
                }
                if (!bytes || U_FAILURE(err)) {
                    free(bytes);
                    result = ucnvNoMatch;
                } else {
                    *dsn = reinterpret_cast<unsigned char*>(bytes);
                }
                ramFree(name);
            }
        }
        ramFree(wide);
    }
    ucnv_close(conv);
    return result;
}
