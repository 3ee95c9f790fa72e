// KoReplaceString (one-pass rewriter) and KoParamString (numbered parameter templates).
#include <cstring>
#include "foundation/errors/ramalloc.h"
#include "foundation/text/convert.h"
#include "foundation/text/kodbcs.h"
#include "foundation/text/kostring.h"

// ---------------------------------------------------------------------------------------------
// KoReplaceString

namespace {
// Room added behind the write position whenever the gap is too small, so that a rewrite whose
// output outgrows its input moves the unread remainder only now and then.
constexpr uint32_t gapReserve = 512;
} // namespace

KoReplaceString::KoReplaceString() = default;

KoReplaceString::KoReplaceString(koCPType cp) : KoSubString(cp) {}

KoReplaceString::KoReplaceString(KoString* t) : target(t) {
    if (t != nullptr) KoSubString::initialize(t->text, t->length, t->cpType);
}

KoReplaceString::~KoReplaceString() {
    if (target == nullptr) return;
    target->length = writeOffset + length;
    if (writeOffset != readOffset) {
        if (length > 0) std::memmove(target->text + writeOffset, text, length);
        // Give back the gap; an adopted buffer is never reallocated, and a failed shrink keeps
        // the larger buffer, which still holds everything.
        if (target->ownsBuffer && target->text != nullptr) {
            void* block = target->text;
            if (ramResize(&block, target->length + 1) == koSuccess) {
                target->text = static_cast<unsigned char*>(block);
                target->capacity = target->length + 1;
            }
        }
    }
    target->terminate();
}

KoStatus KoReplaceString::concat(const unsigned char* p, uint32_t n) {
    if (target == nullptr) return koFailure;
    if (n == 0) return koSuccess;
    if (readOffset - writeOffset < n) {
        uint64_t grow = uint64_t(n) + gapReserve;
        uint64_t needed = uint64_t(readOffset) + length + grow + 1;
        if (needed > UINT32_MAX) return koFailure;
        target->length = readOffset + length;
        // p may lie in the unread remainder (which moves up) or elsewhere in the target's buffer
        // (which may be reallocated): remember where, to find it again.
        enum { outside, inRemainder, inTarget } where = outside;
        uint32_t offset = 0;
        if (text != nullptr && p >= text && p < text + length) {
            where = inRemainder;
            offset = static_cast<uint32_t>(p - text);
        } else if (target->text != nullptr && p >= target->text && p < target->text + target->capacity) {
            where = inTarget;
            offset = static_cast<uint32_t>(p - target->text);
        }
        if (target->reserve(static_cast<uint32_t>(needed)) != koSuccess) return koFailure;
        if (length > 0) std::memmove(target->text + readOffset + grow, target->text + readOffset, length);
        readOffset += static_cast<uint32_t>(grow);
        text = target->text + readOffset;
        target->length = readOffset + length;
        if (where == inRemainder) p = text + offset;
        if (where == inTarget) p = target->text + offset;
    }
    std::memmove(target->text + writeOffset, p, n);
    writeOffset += n;
    return koSuccess;
}

KoStatus KoReplaceString::addQuotedBytes(const unsigned char* p, uint32_t n, unsigned char quote) {
    if (target == nullptr) return koFailure;
    const uint32_t startWrite = writeOffset;
    // Park the bytes at the head of the unread remainder: a stable copy even when p points into
    // the target, from which they are then copied forward character by character.
    if (concat(p, n) != koSuccess) return koFailure;
    if (n > 0) std::memmove(target->text + readOffset - n, target->text + startWrite, n);
    writeOffset = startWrite;
    readOffset -= n;
    text -= n;
    length += n;
    uint32_t parked = n;

    // On failure the parked bytes leave the remainder and the partial output is dropped, so the
    // rewrite stands as it was before the call.
    auto fail = [&]() {
        readOffset += parked;
        text += parked;
        length -= parked;
        writeOffset = startWrite;
        return koFailure;
    };
    if (concat(&quote, 1) != koSuccess) return fail();
    while (parked > 0) {
        // A run of characters without a quote moves forward in one piece (the write position
        // never passes the read position, so the move equals copying character by character).
        uint32_t run = 0;
        uint32_t size = 1;
        while (run < parked) {
            size = koCharSize(text + run, cpType);
            if (size == 0) size = 1;
            if (size > parked - run) size = parked - run;
            if (size == 1 && text[run] == quote) break;
            run += size;
        }
        if (run == 0) {
            // A quote: written twice.
            if (concat(&quote, 1) != koSuccess) return fail();
            run = 1;
        }
        std::memmove(target->text + writeOffset, text, run);
        writeOffset += run;
        readOffset += run;
        text += run;
        length -= run;
        parked -= run;
    }
    if (concat(&quote, 1) != koSuccess) return fail();
    return koSuccess;
}

void KoReplaceString::skip(uint32_t n) {
    if (n > length) n = length;
    readOffset += n;
    text += n;
    length -= n;
}

// ---------------------------------------------------------------------------------------------
// KoParamString

KoParamString::KoParamString() = default;

KoParamString::KoParamString(koCPType cp) : KoString(cp) {}

bool KoParamString::hasFailed() const {
    return (flags & failed) != 0;
}

void KoParamString::restart() {
    // The current buffer is released by the initialization itself, after the copy: the new
    // template may come from the old one.
    paramCount = 0;
}

KoStatus KoParamString::record(KoStatus status) {
    if (status == koSuccess)
        flags &= ~uint32_t(failed);
    else
        flags |= failed;
    return status;
}

KoStatus KoParamString::initialize(const unsigned char* s) {
    restart();
    return record(KoString::initialize(s));
}

KoStatus KoParamString::initialize(const unsigned char* s, koCPType cp) {
    restart();
    return record(KoString::initialize(s, cp));
}

KoStatus KoParamString::initialize(const unsigned char* s, uint32_t n) {
    restart();
    return record(KoString::initialize(s, n));
}

KoStatus KoParamString::initialize(const unsigned char* s, uint32_t n, koCPType cp) {
    restart();
    return record(KoString::initialize(s, n, cp));
}

KoStatus KoParamString::initialize(uint32_t n) {
    restart();
    return record(KoString::initialize(n));
}

KoStatus KoParamString::initialize(uint32_t n, koCPType cp) {
    restart();
    return record(KoString::initialize(n, cp));
}

KoStatus KoParamString::substitute(char kind, const unsigned char* value, uint32_t n) {
    ++paramCount;
    unsigned char marker[16];
    uint32_t m = 0;
    marker[m++] = '%';
    marker[m++] = static_cast<unsigned char>(kind);
    // From the tenth on, "x" keeps "%s1" from matching inside "%sx10".
    if (paramCount >= 10) marker[m++] = 'x';
    m += convert(marker + m, static_cast<uint64_t>(paramCount));
    marker[m] = 0;
    // An empty value removes the marker; a null source with length 0 would otherwise be read as
    // a zero-terminated text.
    if (replaceSubString(marker, m, n > 0 ? value : nullptr, n) != koSuccess) {
        flags |= failed;
        return koFailure;
    }
    return koSuccess;
}

KoStatus KoParamString::setParam(const unsigned char* s) {
    uint32_t n = s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0;
    return substitute('s', s, n);
}

KoStatus KoParamString::setParam(uint32_t v) {
    unsigned char digits[24];
    uint32_t n = convert(digits, static_cast<uint64_t>(v));
    return substitute('d', digits, n);
}

KoStatus KoParamString::setParam(int32_t v) {
    unsigned char digits[24];
    uint32_t n = convert(digits, static_cast<int64_t>(v));
    return substitute('d', digits, n);
}

KoStatus KoParamString::setParam(const KoSubString& s) {
    return substitute('s', s.text, s.length);
}

KoStatus KoParamString::setQuotedParam(const unsigned char* s, unsigned char quote) {
    KoString quoted(cpType);
    if (quoted.initialize(s, cpType) != koSuccess || quoted.addQuotes(quote) != koSuccess) {
        // The ordinal is used up all the same, so later parameters keep their places.
        ++paramCount;
        flags |= failed;
        return koFailure;
    }
    return substitute('s', quoted.text, quoted.length);
}

KoParamString& KoParamString::operator<<(const unsigned char* s) {
    if (!hasFailed()) setParam(s);
    return *this;
}

KoParamString& KoParamString::operator<<(uint32_t v) {
    if (!hasFailed()) setParam(v);
    return *this;
}

KoParamString& KoParamString::operator<<(int32_t v) {
    if (!hasFailed()) setParam(v);
    return *this;
}

KoParamString& KoParamString::operator<<(const KoSubString& s) {
    if (!hasFailed()) setParam(s);
    return *this;
}
