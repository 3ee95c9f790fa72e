// KoSubString (views) and the buffer management of KoString.
#include "foundation/text/kostring.h"
#include "foundation/errors/koerrnum.h"
#include <cstring>
#include "foundation/containers/koarray.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/convert.h"
#include "foundation/text/kodbcs.h"
#include "foundation/text/strcomp.h"
#include "foundation/text/strcopy.h"
#include "foundation/text/strfind.h"
#include "platform/win32.h"

namespace {

// Size of the character at p, never reaching past end (a lead byte cut off by the end counts as one).
inline uint32_t charSizeWithin(const unsigned char* p, const unsigned char* end, koCPType cp) {
    uint32_t size = koCharSize(p, cp);
    uint32_t room = static_cast<uint32_t>(end - p);
    return size > room ? room : (size == 0 ? 1 : size);
}

// True when p lies inside the block [start, start + size).
inline bool pointsInto(const unsigned char* p, const unsigned char* start, uint32_t size) {
    return start != nullptr && p != nullptr && p >= start && p < start + size;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// KoSubString

KoSubString::KoSubString() = default;

KoSubString::KoSubString(const unsigned char* s) {
    initialize(s, s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0);
}

KoSubString::KoSubString(const unsigned char* s, uint32_t n) {
    initialize(s, n);
}

KoSubString::KoSubString(koCPType cp) : cpType(cp) {}

KoSubString::KoSubString(const unsigned char* s, uint32_t n, koCPType cp) {
    initialize(s, n, cp);
}

KoSubString::KoSubString(const unsigned char* s, koCPType cp) {
    initialize(s, s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0, cp);
}

KoSubString::~KoSubString() = default;

void KoSubString::initialize(const unsigned char* s, uint32_t n) {
    initialize(s, n, koCPAnsi);
}

void KoSubString::initialize(const unsigned char* s, uint32_t n, koCPType cp) {
    text = const_cast<unsigned char*>(s);
    length = origLength = n;
    cpType = cp;
}

KoStatus KoSubString::copyQuotedStr(KoString* out) const {
    if (out == nullptr) return koFailure;
    if (length == 0) return koSuccess;
    uint64_t needed = uint64_t(out->length) + length + 1;
    if (needed > UINT32_MAX) return koFailure;
    // The view may show out's own bytes: follow them when out's buffer moves.
    const unsigned char* start = text;
    bool inside = pointsInto(start, out->text, out->capacity);
    uint32_t offset = inside ? static_cast<uint32_t>(start - out->text) : 0;
    if (out->reserve(static_cast<uint32_t>(needed)) != koSuccess) return koFailure;
    if (inside) start = out->text + offset;
    const unsigned char quote = start[0];
    const unsigned char* end = start + length;
    const unsigned char* p = start + 1;
    while (p < end) {
        if (*p == quote) {
            ++p;
            if (p >= end) return koSuccess; // the closing quote
            // Otherwise a doubled quote: its second half is data.
        }
        uint32_t size = charSizeWithin(p, end, cpType);
        if (out->concat(p, size) != koSuccess) return koFailure;
        p += size;
    }
    return koSuccess;
}

uint32_t KoSubString::findChar(uint16_t c, uint32_t start) const {
    if (text == nullptr || start >= length) return length;
    const unsigned char* end = text + length;
    for (const unsigned char* p = text + start; p < end; p += charSizeWithin(p, end, cpType)) {
        if (*p == c) return static_cast<uint32_t>(p - text);
    }
    return length;
}

uint32_t KoSubString::findSubString(const unsigned char* pattern, uint32_t start) const {
    if (text == nullptr || pattern == nullptr) return length;
    uint32_t m = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(pattern)));
    // An empty pattern would match everywhere and never advance a replacement loop.
    if (m == 0 || m > length || start > length - m) return length;
    const unsigned char* end = text + length;
    const unsigned char* last = end - m;
    for (const unsigned char* p = text + start; p <= last; p += charSizeWithin(p, end, cpType)) {
        if (std::memcmp(p, pattern, m) == 0) return static_cast<uint32_t>(p - text);
    }
    return length;
}

uint32_t KoSubString::hash() const {
    uint32_t n = length < 5 ? length : 5;
    if (n == 0 || text == nullptr) return 0;
    unsigned char buffer[6];
    std::memcpy(buffer, text, n);
    buffer[n] = 0;
    CharUpperA(reinterpret_cast<char*>(buffer));
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; ++i)
        sum += buffer[i];
    return sum;
}

int16_t KoSubString::compare(const KoObject* other) const {
    if (other == nullptr) return 1;
    const KoSubString* b = static_cast<const KoSubString*>(other);
    return strCompareCi(text, length, b->text, b->length);
}

unsigned char* KoSubString::getCopyUnquoted(unsigned char* out) const {
    if (length == 0) {
        out[0] = 0;
        return out;
    }
    strCopyUnquoted(out, text, length);
    return out;
}

unsigned char* KoSubString::getCopyQuoted(unsigned char* out, uint16_t quote) const {
    strCopyQuoted(out, text, length, cpType, static_cast<unsigned char>(quote));
    return out;
}

uint32_t KoSubString::countChar(uint16_t c) const {
    if (text == nullptr) return 0;
    uint32_t count = 0;
    const unsigned char* end = text + length;
    for (const unsigned char* p = text; p < end && *p != 0; p += charSizeWithin(p, end, cpType)) {
        if (*p == c) ++count;
    }
    return count;
}

uint16_t KoSubString::indexInSet(const unsigned char* const* values, uint16_t count) const {
    for (uint16_t i = 0; i < count; ++i) {
        const unsigned char* v = values[i];
        if (v == nullptr) continue;
        if (std::strlen(reinterpret_cast<const char*>(v)) == length &&
            (length == 0 || std::memcmp(v, text, length) == 0))
            return i;
    }
    return count;
}

uint16_t KoSubString::indexInSetCi(const unsigned char* const* values, uint16_t count) const {
    for (uint16_t i = 0; i < count; ++i) {
        const unsigned char* v = values[i];
        if (v == nullptr) continue;
        uint32_t n = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(v)));
        if (n == length && strCompareCi(text, length, v, n) == 0) return i;
    }
    return count;
}

void KoSubString::rightBlankTrim() {
    while (length > 0 && koAcpIsSpace(text[length - 1]))
        --length;
}

KoStatus KoSubString::getLines(KoArray* lines) {
    if (lines == nullptr) return koFailure;
    if (text == nullptr) return koSuccess;
    text[length] = 0;
    static const unsigned char lineEnd[] = "\r\n";
    uint32_t pos = 0;
    while (pos < length) {
        const unsigned char* hit = strFind(text + pos, length - pos, lineEnd, 2, cpType);
        uint32_t stop = hit ? static_cast<uint32_t>(hit - text) : length;
        if (stop > pos) {
            KoString* line = new KoString(cpType);
            if (line == nullptr) return koFailure;
            if (line->initialize(text + pos, stop - pos, cpType) != koSuccess ||
                lines->addAtIndex(line, lines->count) != koSuccess) {
                delete line;
                return koFailure;
            }
        }
        pos = hit ? stop + 2 : length;
    }
    return koSuccess;
}

// ---------------------------------------------------------------------------------------------
// KoString: buffer management and appends

KoString::KoString() = default;

KoString::KoString(koCPType cp) : KoSubString(cp) {}

KoString::~KoString() {
    if (ownsBuffer && text != nullptr) ramFree(text);
}

KoStatus KoString::initialize(const unsigned char* s) {
    return initialize(s, s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0,
                      koCPAnsi);
}

KoStatus KoString::initialize(const unsigned char* s, koCPType cp) {
    return initialize(s, s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0, cp);
}

KoStatus KoString::initialize(const unsigned char* s, uint32_t n) {
    return initialize(s, n, koCPAnsi);
}

KoStatus KoString::initialize(const unsigned char* s, uint32_t n, koCPType cp) {
    if (s == nullptr) n = 0;
    // A buffer held from before is released only after the copy: s may lie inside it.
    unsigned char* old = ownsBuffer ? text : nullptr;
    unsigned char* buffer = n == UINT32_MAX ? nullptr : static_cast<unsigned char*>(ramAlloc(n + 1));
    if (buffer != nullptr) {
        if (n > 0) std::memcpy(buffer, s, n);
        buffer[n] = 0;
    }
    ramFree(old);
    cpType = cp;
    ownsBuffer = 1;
    text = buffer;
    if (buffer == nullptr) {
        length = origLength = capacity = 0;
        return koFailure;
    }
    length = origLength = n;
    capacity = n + 1;
    return koSuccess;
}

KoStatus KoString::initialize(uint32_t n) {
    return initialize(n, koCPAnsi);
}

KoStatus KoString::initialize(uint32_t n, koCPType cp) {
    unsigned char* old = ownsBuffer ? text : nullptr;
    unsigned char* buffer = n == UINT32_MAX ? nullptr : static_cast<unsigned char*>(ramAlloc(n + 1));
    ramFree(old);
    cpType = cp;
    ownsBuffer = 1;
    text = buffer;
    length = origLength = 0;
    if (buffer == nullptr) {
        capacity = 0;
        return koFailure;
    }
    buffer[0] = 0;
    capacity = n + 1;
    return koSuccess;
}

void KoString::initializeWithBuffer(unsigned char* buffer, uint32_t size, uint32_t used) {
    initializeWithBuffer(buffer, size, koCPAnsi, used);
}

void KoString::initializeWithBuffer(unsigned char* buffer, uint32_t size, koCPType cp, uint32_t used) {
    if (ownsBuffer && text != nullptr && text != buffer) ramFree(text);
    text = buffer;
    capacity = size;
    length = origLength = used > size ? size : used;
    cpType = cp;
    ownsBuffer = 0;
}

void KoString::unInitialize() {
    if (ownsBuffer && text != nullptr) ramFree(text);
    text = nullptr;
    length = origLength = capacity = 0;
    // No adopted buffer is held any more; the next append may allocate one.
    ownsBuffer = 1;
}

KoStatus KoString::resize(uint32_t size) {
    if (!ownsBuffer) {
        koRaiseError(koErrFixedBuffer);
        return koFailure;
    }
    void* block = text;
    if (ramResize(&block, size) != koSuccess) return koFailure;
    text = static_cast<unsigned char*>(block);
    capacity = size;
    return koSuccess;
}

KoStatus KoString::reserve(uint32_t needed) {
    if (text != nullptr && capacity >= needed) return koSuccess;
    return resize(needed);
}

void KoString::terminate() {
    if (text != nullptr && length < capacity) text[length] = 0;
}

KoStatus KoString::assignFrom(const KoString& other) {
    if (reserve(other.length + 1) != koSuccess) return koFailure;
    if (other.length > 0) std::memmove(text, other.text, other.length);
    length = other.length;
    origLength = 0;
    terminate();
    return koSuccess;
}

KoStatus KoString::concat(unsigned char c) {
    if (length >= UINT32_MAX - 1 || reserve(length + 2) != koSuccess) return koFailure;
    text[length++] = c;
    return koSuccess;
}

KoStatus KoString::concat(char c) {
    return concat(static_cast<unsigned char>(c));
}

KoStatus KoString::concat(const unsigned char* s) {
    return concat(s, s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0);
}

KoStatus KoString::concat(const unsigned char* s, uint32_t n) {
    if (s == nullptr) n = 0;
    uint64_t needed = uint64_t(length) + n + 1;
    if (needed > UINT32_MAX) return koFailure;
    // The source may be part of this string: follow it when the buffer moves.
    bool inside = pointsInto(s, text, capacity);
    uint32_t offset = inside ? static_cast<uint32_t>(s - text) : 0;
    if (reserve(static_cast<uint32_t>(needed)) != koSuccess) return koFailure;
    if (inside) s = text + offset;
    if (n > 0) std::memmove(text + length, s, n);
    length += n;
    return koSuccess;
}

KoStatus KoString::concat(uint32_t v) {
    if (length > UINT32_MAX - 16 || reserve(length + 16) != koSuccess) return koFailure;
    length += convert(text + length, static_cast<uint64_t>(v));
    return koSuccess;
}

KoStatus KoString::concat(int32_t v) {
    if (length > UINT32_MAX - 16 || reserve(length + 16) != koSuccess) return koFailure;
    length += convert(text + length, static_cast<int64_t>(v));
    return koSuccess;
}

KoStatus KoString::changeBytes(uint32_t pos, uint32_t oldLen, const unsigned char* src, uint32_t newLen) {
    // A range outside the text would move bytes outside the buffer.
    if (pos > length || oldLen > length - pos) return koFailure;
    if (src != nullptr && newLen == 0)
        newLen = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(src)));
    if (newLen > oldLen && uint64_t(length) + (newLen - oldLen) + 1 > UINT32_MAX) return koFailure;

    // A source inside this buffer must survive both a reallocation and the move of the tail:
    // before the changed range it stays put, inside the tail it travels with it, anywhere else
    // it is copied first.
    unsigned char* scratch = nullptr;
    enum { outside, before, inTail } where = outside;
    uint32_t srcOffset = 0;
    if (src != nullptr && newLen > 0 && pointsInto(src, text, capacity)) {
        srcOffset = static_cast<uint32_t>(src - text);
        uint64_t srcEnd = uint64_t(srcOffset) + newLen;
        if (srcEnd <= pos) {
            where = before;
        } else if (srcOffset >= pos + oldLen && srcEnd <= length) {
            where = inTail;
        } else {
            scratch = static_cast<unsigned char*>(ramAlloc(newLen));
            if (scratch == nullptr) return koFailure;
            std::memcpy(scratch, src, newLen);
            src = scratch;
        }
    }
    if (newLen > oldLen && reserve(length + (newLen - oldLen) + 1) != koSuccess) {
        ramFree(scratch);
        return koFailure;
    }
    if (where == before) src = text + srcOffset;
    if (where == inTail) src = text + (srcOffset + newLen - oldLen);
    if (oldLen != newLen && pos + oldLen < length)
        std::memmove(text + pos + newLen, text + pos + oldLen, length - pos - oldLen);
    if (src != nullptr && newLen > 0) std::memmove(text + pos, src, newLen);
    length = length + newLen - oldLen;
    terminate();
    ramFree(scratch);
    return koSuccess;
}

KoStatus KoString::replaceSubString(const unsigned char* old, uint32_t oldLen,
                                    const unsigned char* replacement, uint32_t newLen) {
    if (old == nullptr) return koSuccess;
    // The bytes changeBytes will insert, so that the search resumes after them.
    if (replacement != nullptr && newLen == 0)
        newLen = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(replacement)));
    uint32_t at = 0;
    while (at < length) {
        at = findSubString(old, at);
        if (at == length) break;
        if (changeBytes(at, oldLen, replacement, newLen) != koSuccess) return koFailure;
        at += newLen;
    }
    return koSuccess;
}

KoStatus KoString::replaceSubString(const unsigned char* old, const unsigned char* replacement) {
    if (old == nullptr) return koSuccess;
    uint32_t oldLen = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(old)));
    uint32_t newLen =
        replacement ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(replacement))) : 0;
    return replaceSubString(old, oldLen, replacement, newLen);
}

KoStatus KoString::replaceSubString(const KoSubString* part, const unsigned char* replacement,
                                    uint16_t newLen) {
    // Only a view of this string's own bytes can be replaced.
    if (part == nullptr || text == nullptr || part->text < text || part->text > text + length ||
        part->length > static_cast<uint32_t>(text + length - part->text))
        return koFailure;
    return changeBytes(static_cast<uint32_t>(part->text - text), part->length, replacement, newLen);
}
