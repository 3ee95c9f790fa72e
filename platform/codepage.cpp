#include "platform/codepage.h"
#include "platform/system.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <strings.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

enum : uint8_t { kAlpha = 1, kDigit = 2, kSpace = 4, kUpper = 8, kLower = 16, kLead = 32 };

// Everything the process needs to know about its ANSI code page, computed once per code page.
struct CodePageTables {
    UINT codePage;
    char converterName[64];
    uint8_t flags[256];
    unsigned char upper[256];
    unsigned char lower[256];
    CodePageTables* next; // cache chain; tables live as long as the process
};

std::mutex tablesLock;
CodePageTables* tablesCache = nullptr;
std::atomic<const CodePageTables*> current{nullptr};

// ICU's converter for a Windows code page number, or null.
UConverter* openCodePage(UINT codePage, char* name, size_t nameSize) {
    if (codePage == CP_UTF8) {
        snprintf(name, nameSize, "UTF-8");
    } else {
        static const char* const patterns[] = {"windows-%u", "cp%u", "ibm-%u"};
        for (const char* pattern : patterns) {
            char candidate[32];
            snprintf(candidate, sizeof candidate, pattern, codePage);
            UErrorCode err = U_ZERO_ERROR;
            UConverter* conv = ucnv_open(candidate, &err);
            if (conv && U_SUCCESS(err)) {
                snprintf(name, nameSize, "%s", candidate);
                return conv;
            }
            if (conv) ucnv_close(conv);
        }
        return nullptr;
    }
    UErrorCode err = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(name, &err);
    if (U_FAILURE(err)) {
        if (conv) ucnv_close(conv);
        return nullptr;
    }
    return conv;
}

// The single UTF-16 unit one byte of the code page stands for, or -1 (lead byte, unmapped byte).
int32_t unitOfByte(UConverter* conv, unsigned char b, bool* truncated) {
    ucnv_reset(conv);
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    UChar out[4];
    const char* src = reinterpret_cast<const char*>(&b);
    UChar* dst = out;
    err = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &dst, out + 4, &src, src + 1, nullptr, true, &err);
    *truncated = err == U_TRUNCATED_CHAR_FOUND;
    if (U_FAILURE(err) || dst - out != 1) return -1;
    return out[0];
}

// The byte a UTF-16 unit maps to when it is a single byte of the code page, or -1.
int byteOfUnit(UConverter* conv, UChar u) {
    ucnv_reset(conv);
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    char out[8];
    const UChar* src = &u;
    char* dst = out;
    err = U_ZERO_ERROR;
    ucnv_fromUnicode(conv, &dst, out + sizeof out, &src, src + 1, nullptr, true, &err);
    if (U_FAILURE(err) || dst - out != 1) return -1;
    return static_cast<unsigned char>(out[0]);
}

// When not even code page 1252 can be built (ICU's data missing, memory short), text is still
// classified: ASCII by the C locale's rules, every other byte a character without case.
const CodePageTables& asciiOnly() {
    static const CodePageTables tables = [] {
        CodePageTables t{};
        t.codePage = 1252;
        snprintf(t.converterName, sizeof t.converterName, "%s", "windows-1252");
        for (int b = 0; b < 256; ++b) {
            t.upper[b] = t.lower[b] = static_cast<unsigned char>(b);
            if (b >= 0x80) continue;
            if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) t.flags[b] |= kAlpha;
            if (b >= 'A' && b <= 'Z') t.flags[b] |= kUpper, t.lower[b] = static_cast<unsigned char>(b + 32);
            if (b >= 'a' && b <= 'z') t.flags[b] |= kLower, t.upper[b] = static_cast<unsigned char>(b - 32);
            if (b >= '0' && b <= '9') t.flags[b] |= kDigit;
            if (b == ' ' || (b >= 0x09 && b <= 0x0D)) t.flags[b] |= kSpace;
        }
        return t;
    }();
    return tables;
}

CodePageTables* buildTables(UINT codePage) {
    char name[64];
    UConverter* conv = openCodePage(codePage, name, sizeof name);
    if (!conv) return nullptr;
    auto* t = new (std::nothrow) CodePageTables{};
    if (!t) {
        ucnv_close(conv);
        return nullptr;
    }
    // ASCII keeps the C locale's classes, whatever the code page maps there.
    *t = asciiOnly();
    t->codePage = codePage;
    snprintf(t->converterName, sizeof t->converterName, "%s", name);
    // Only a double-byte code page has lead bytes: a byte that cannot stand alone and starts a sequence.
    bool doubleByte = ucnv_getMaxCharSize(conv) == 2;
    for (int b = 0x80; b < 256; ++b) {
        bool truncated = false;
        int32_t u = unitOfByte(conv, static_cast<unsigned char>(b), &truncated);
        if (doubleByte && truncated) {
            t->flags[b] |= kLead;
            continue;
        }
        if (u < 0 || U16_IS_SURROGATE(u)) continue;
        if (u_isalpha(u)) t->flags[b] |= kAlpha;
        if (u_isdigit(u)) t->flags[b] |= kDigit;
        if (u_isupper(u)) t->flags[b] |= kUpper;
        if (u_islower(u)) t->flags[b] |= kLower;
        // A case partner counts only when it is a single byte of the same code page.
        UChar32 up = u_toupper(u), low = u_tolower(u);
        if (up != u && up <= 0xFFFF) {
            int m = byteOfUnit(conv, static_cast<UChar>(up));
            if (m >= 0x80) t->upper[b] = static_cast<unsigned char>(m);
        }
        if (low != u && low <= 0xFFFF) {
            int m = byteOfUnit(conv, static_cast<UChar>(low));
            if (m >= 0x80) t->lower[b] = static_cast<unsigned char>(m);
        }
    }
    // A case pair must not lead into a lead byte (a mapping found before the lead bytes were known).
    for (int b = 0x80; b < 256; ++b) {
        if (t->flags[t->upper[b]] & kLead) t->upper[b] = static_cast<unsigned char>(b);
        if (t->flags[t->lower[b]] & kLead) t->lower[b] = static_cast<unsigned char>(b);
    }
    ucnv_close(conv);
    return t;
}

// Tables of a code page, built on first request; null when ICU does not know it.
const CodePageTables* tablesFor(UINT codePage) {
    std::lock_guard<std::mutex> g(tablesLock);
    for (CodePageTables* t = tablesCache; t; t = t->next)
        if (t->codePage == codePage) return t;
    CodePageTables* t = buildTables(codePage);
    if (!t) return nullptr;
    t->next = tablesCache;
    tablesCache = t;
    return t;
}

const CodePageTables& acp() {
    const CodePageTables* t = current.load(std::memory_order_acquire);
    if (t) return *t;
    static std::once_flag once;
    std::call_once(once, [] {
        const CodePageTables* chosen = nullptr;
        std::string env;
        if (koGetEnvironment("KO_ANSI_CODEPAGE", &env)) {
            char* end = nullptr;
            unsigned long cp = strtoul(env.c_str(), &end, 10);
            if (end != env.c_str() && *end == 0 && cp > 1 && cp < 65536)
                chosen = tablesFor(static_cast<UINT>(cp));
        }
        if (!chosen) chosen = tablesFor(1252);
        if (!chosen) chosen = &asciiOnly();
        const CodePageTables* expected = nullptr;
        current.compare_exchange_strong(expected, chosen, std::memory_order_acq_rel);
    });
    return *current.load(std::memory_order_acquire);
}

inline bool isLead(const CodePageTables& t, unsigned char c) {
    return t.flags[c] & kLead;
}

bool isOneCharacterPointer(const void* p) {
    return (reinterpret_cast<uintptr_t>(p) >> 16) == 0;
}

DWORD mapBuffer(char* text, DWORD length, const unsigned char* table) {
    const CodePageTables& t = acp();
    for (DWORD i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (isLead(t, c) && i + 1 < length) {
            ++i;
            continue;
        }
        text[i] = static_cast<char>(table[c]);
    }
    return length;
}

LPSTR mapText(LPSTR text, bool toUpper) {
    const CodePageTables& t = acp();
    const unsigned char* table = toUpper ? t.upper : t.lower;
    if (isOneCharacterPointer(text)) {
        unsigned char c = static_cast<unsigned char>(reinterpret_cast<uintptr_t>(text));
        return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(isLead(t, c) ? c : table[c]));
    }
    for (char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (isLead(t, c)) {
            if (!p[1]) break;
            ++p;
            continue;
        }
        *p = static_cast<char>(table[c]);
    }
    return text;
}

// Collators are not shared between threads: each thread keeps its own pair.
struct ThreadCollators {
    UCollator* exact = nullptr;
    UCollator* noCase = nullptr;
    ~ThreadCollators() {
        if (exact) ucol_close(exact);
        if (noCase) ucol_close(noCase);
    }
};

UCollator* collator(bool ignoreCase) {
    thread_local ThreadCollators collators;
    UCollator*& c = ignoreCase ? collators.noCase : collators.exact;
    if (!c) {
        // The POSIX locale's collation is code point order; users of a C locale get the root order.
        const char* locale = uloc_getDefault();
        if (!locale || strcmp(locale, "en_US_POSIX") == 0 || strcmp(locale, "c") == 0) locale = "";
        UErrorCode err = U_ZERO_ERROR;
        c = ucol_open(locale, &err);
        if (U_FAILURE(err)) {
            if (c) ucol_close(c);
            err = U_ZERO_ERROR;
            c = ucol_open("", &err);
            if (U_FAILURE(err)) {
                if (c) ucol_close(c);
                return c = nullptr;
            }
        }
        // Case-insensitive but accent-sensitive, as the Windows flag for ignoring case.
        if (ignoreCase) ucol_setStrength(c, UCOL_SECONDARY);
    }
    return c;
}

// An ANSI text as UTF-16 in buf (heap when longer than the stack part); null on failure.
struct Wide {
    UChar local[256];
    UChar* heap = nullptr;
    UChar* text = nullptr;
    int32_t length = 0;
    ~Wide() { free(heap); }
    bool load(LPCSTR s) {
        const CodePageTables& t = acp();
        UErrorCode err = U_ZERO_ERROR;
        UConverter* conv = ucnv_open(t.converterName, &err);
        if (U_FAILURE(err)) {
            if (conv) ucnv_close(conv);
            return false;
        }
        int32_t bytes = static_cast<int32_t>(strlen(s));
        err = U_ZERO_ERROR;
        length = ucnv_toUChars(conv, local, 256, s, bytes, &err);
        text = local;
        if (err == U_BUFFER_OVERFLOW_ERROR || err == U_STRING_NOT_TERMINATED_WARNING) {
            heap = static_cast<UChar*>(malloc((static_cast<size_t>(length) + 1) * sizeof(UChar)));
            if (!heap) {
                ucnv_close(conv);
                return false;
            }
            err = U_ZERO_ERROR;
            length = ucnv_toUChars(conv, heap, length + 1, s, bytes, &err);
            text = heap;
        }
        ucnv_close(conv);
        return U_SUCCESS(err);
    }
};

int compareLocale(LPCSTR a, LPCSTR b, bool ignoreCase) {
    if (!a || !b) return a ? 1 : (b ? -1 : 0);
    Wide wa, wb;
    UCollator* c = collator(ignoreCase);
    if (!c || !wa.load(a) || !wb.load(b)) {
        // Without ICU's help the bytes decide (case folded first when asked), so the order stays total.
        int r = ignoreCase ? strcasecmp(a, b) : strcmp(a, b);
        return r < 0 ? -1 : r > 0;
    }
    UCollationResult r = ucol_strcoll(c, wa.text, wa.length, wb.text, wb.length);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

// The converter for a code-page argument of the conversion functions, or null.
UConverter* converterFor(UINT codePage) {
    if (codePage == CP_ACP || codePage == CP_OEMCP) {
        UErrorCode err = U_ZERO_ERROR;
        UConverter* conv = ucnv_open(acp().converterName, &err);
        if (U_FAILURE(err)) {
            if (conv) ucnv_close(conv);
            return nullptr;
        }
        return conv;
    }
    char name[64];
    return openCodePage(codePage, name, sizeof name);
}

struct SubstitutionSeen {
    bool used = false;
};

// Records that a character had to be replaced, then replaces it as ICU's substitute callback does.
void U_CALLCONV noteSubstitution(const void* context, UConverterFromUnicodeArgs* args, const UChar* units,
                                 int32_t length, UChar32 cp, UConverterCallbackReason reason,
                                 UErrorCode* err) {
    if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR)
        const_cast<SubstitutionSeen*>(static_cast<const SubstitutionSeen*>(context))->used = true;
    UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, units, length, cp, reason, err);
}

} // namespace

UINT GetACP() {
    return acp().codePage;
}
UINT GetOEMCP() {
    return acp().codePage;
}

BOOL IsDBCSLeadByte(BYTE c) {
    return isLead(acp(), c) ? TRUE : FALSE;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE c) {
    if (codePage == CP_ACP || codePage == CP_OEMCP) return IsDBCSLeadByte(c);
    const CodePageTables* t = tablesFor(codePage);
    return t && isLead(*t, c) ? TRUE : FALSE;
}

LPSTR CharUpperA(LPSTR text) {
    return mapText(text, true);
}
LPSTR CharLowerA(LPSTR text) {
    return mapText(text, false);
}

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
    if (!text) return 0;
    return mapBuffer(text, length, acp().upper);
}

DWORD CharLowerBuffA(LPSTR text, DWORD length) {
    if (!text) return 0;
    return mapBuffer(text, length, acp().lower);
}

LPSTR CharNextA(LPCSTR p) {
    if (!*p) return const_cast<LPSTR>(p);
    if (isLead(acp(), static_cast<unsigned char>(*p)) && p[1]) return const_cast<LPSTR>(p + 2);
    return const_cast<LPSTR>(p + 1);
}

LPSTR CharPrevA(LPCSTR start, LPCSTR p) {
    const CodePageTables& t = acp();
    while (start < p) {
        LPCSTR next = start + (isLead(t, static_cast<unsigned char>(*start)) ? 2 : 1);
        if (next >= p) break;
        start = next;
    }
    return const_cast<LPSTR>(start);
}

int lstrcmpA(LPCSTR a, LPCSTR b) {
    return compareLocale(a, b, false);
}
int lstrcmpiA(LPCSTR a, LPCSTR b) {
    return compareLocale(a, b, true);
}

// Converts the whole input with one of ICU's streaming directions (ucnv_fromUnicode or
// ucnv_toUnicode) into out, which holds size units; with size 0 the output is only counted. The
// units written or counted, or -1 when out is too small or the conversion fails.
template <class In, class Out, class Direction>
int convertWhole(UConverter* conv, const In* in, const In* inEnd, Out* out, int size, Direction direction) {
    Out scratch[256];
    int total = 0;
    for (;;) {
        Out* start = size == 0 ? scratch : out + total;
        Out* limit = size == 0 ? scratch + 256 : out + size;
        Out* next = start;
        UErrorCode err = U_ZERO_ERROR;
        direction(conv, &next, limit, &in, inEnd, nullptr, true, &err);
        total += static_cast<int>(next - start);
        if (err == U_BUFFER_OVERFLOW_ERROR && size == 0) continue; // only measuring: go on
        return U_FAILURE(err) ? -1 : total;
    }
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int units, LPSTR multi, int size,
                        LPCSTR defaultChar, BOOL* usedDefault) {
    if (!wide || units == 0 || units < -1 || size < 0 || (size > 0 && !multi)) return 0;
    if (codePage == CP_UTF8 && (defaultChar || usedDefault)) return 0;
    const UChar* src = reinterpret_cast<const UChar*>(wide);
    int32_t n = units == -1 ? u_strlen(src) + 1 : units;
    UConverter* conv = converterFor(codePage);
    if (!conv) return 0;
    UErrorCode err = U_ZERO_ERROR;
    SubstitutionSeen seen;
    if (codePage != CP_UTF8) {
        // Windows picks a close character ("best fit") unless asked not to.
        ucnv_setFallback(conv, (flags & WC_NO_BEST_FIT_CHARS) ? false : true);
        char sub = defaultChar ? defaultChar[0] : '?';
        ucnv_setSubstChars(conv, &sub, 1, &err);
        err = U_ZERO_ERROR;
        ucnv_setFromUCallBack(conv, noteSubstitution, &seen, nullptr, nullptr, &err);
    }
    int total = convertWhole(conv, src, src + n, multi, size, ucnv_fromUnicode);
    ucnv_close(conv);
    if (total < 0) return 0;
    if (usedDefault) *usedDefault = seen.used ? TRUE : FALSE;
    return total;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int bytes, LPWSTR wide, int size) {
    if (!multi || bytes == 0 || bytes < -1 || size < 0 || (size > 0 && !wide)) return 0;
    int32_t n = bytes == -1 ? static_cast<int32_t>(strlen(multi)) + 1 : bytes;
    UConverter* conv = converterFor(codePage);
    if (!conv) return 0;
    UErrorCode err = U_ZERO_ERROR;
    if (flags & MB_ERR_INVALID_CHARS)
        ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    int total = convertWhole(conv, multi, multi + n, reinterpret_cast<UChar*>(wide), size, ucnv_toUnicode);
    ucnv_close(conv);
    return total < 0 ? 0 : total;
}

int koAcpIsAlpha(int c) {
    return (c & ~0xFF) == 0 && (acp().flags[c] & kAlpha);
}
int koAcpIsDigit(int c) {
    return (c & ~0xFF) == 0 && (acp().flags[c] & kDigit);
}
int koAcpIsSpace(int c) {
    return (c & ~0xFF) == 0 && (acp().flags[c] & kSpace);
}
int koAcpIsUpper(int c) {
    return (c & ~0xFF) == 0 && (acp().flags[c] & kUpper);
}
int koAcpIsLower(int c) {
    return (c & ~0xFF) == 0 && (acp().flags[c] & kLower);
}
int koAcpToUpper(int c) {
    return (c & ~0xFF) == 0 ? acp().upper[c] : c;
}
int koAcpToLower(int c) {
    return (c & ~0xFF) == 0 ? acp().lower[c] : c;
}

BOOL koSetAnsiCodePage(UINT codePage) {
    acp(); // the environment's choice is made first, so it never overrides this one later
    const CodePageTables* t = tablesFor(codePage);
    if (!t) return FALSE;
    current.store(t, std::memory_order_release);
    return TRUE;
}
