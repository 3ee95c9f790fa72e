// KoString: quoting and the line operations.
#include <cstring>
#include "foundation/text/kodbcs.h"
#include "foundation/text/kostring.h"
#include "foundation/text/strcopy.h"

namespace {

// Single-byte characters equal to quote in n bytes: the bytes a quoted copy doubles. Counted over
// the whole run (zero bytes included), as the copy writes it all.
// Quotes that strCopyQuoted doubles: it must step exactly as strCopyQuoted does, or the buffer
// sized from this count is too small (a zero byte inside a multi-byte character, for one).
uint32_t countQuotes(const unsigned char* p, uint32_t n, koCPType cp, unsigned char quote) {
    uint32_t count = 0;
    for (uint32_t off = 0; off < n;) {
        uint32_t size = koCharSizeOfByte(p[off], cp);
        if (n - off < size) break;
        if (size == 1 && p[off] == quote) ++count;
        off += size;
    }
    return count;
}

// Quote tracking of the line operations: a byte equal to one of up to three quote bytes opens a
// stretch closed by the next equal byte. Off when the first quote byte is 0.
class QuoteTracker {
public:
    QuoteTracker(unsigned char q1, unsigned char q2, unsigned char q3) : q1_(q1), q2_(q2), q3_(q3) {}
    // Feeds the next byte; true when it belongs to a quoted stretch (its quotes included).
    bool inside(unsigned char b) {
        if (q1_ == 0) return false;
        if (open_ != 0) {
            if (b == open_) open_ = 0;
            return true;
        }
        if (b != 0 && (b == q1_ || b == q2_ || b == q3_)) {
            open_ = b;
            return true;
        }
        return false;
    }

private:
    unsigned char q1_, q2_, q3_;
    unsigned char open_ = 0;
};

// Shared pass of removeLineBreaks, removeTabs and removeLineFeeds: starts(text, i, n) gives the
// size of a separator starting at i outside quotes (0 for none). Each separator is dropped; one
// space replaces it unless another separator or the end follows.
template <class Separator>
KoStatus collapseSeparators(KoString& s, unsigned char q1, unsigned char q2, unsigned char q3,
                            Separator starts) {
    if (s.text == nullptr || s.length == 0) return koSuccess;
    KoString result(s.cpType);
    if (result.initialize(s.length, s.cpType) != koSuccess) return koFailure;
    QuoteTracker quotes(q1, q2, q3);
    const unsigned char* t = s.text;
    const uint32_t n = s.length;
    bool found = false;
    uint32_t i = 0;
    while (i < n) {
        uint32_t size = quotes.inside(t[i]) ? 0 : starts(t, i, n);
        if (size == 0) {
            result.text[result.length++] = t[i++];
            continue;
        }
        found = true;
        i += size;
        if (i < n && starts(t, i, n) == 0) result.text[result.length++] = ' ';
    }
    if (!found) return koSuccess;
    // The result is never longer than the text, so it fits in place.
    std::memcpy(s.text, result.text, result.length);
    s.length = result.length;
    s.origLength = 0;
    if (s.length < s.capacity) s.text[s.length] = 0;
    return koSuccess;
}

} // namespace

KoStatus KoString::addQuotes(uint16_t quote) {
    const unsigned char q = static_cast<unsigned char>(quote);
    KoString copy(cpType);
    if (copy.initialize(text, length, cpType) != koSuccess) return koFailure;
    uint64_t needed = uint64_t(length) + countQuotes(copy.text, copy.length, cpType, q) + 3;
    if (needed > UINT32_MAX || reserve(static_cast<uint32_t>(needed)) != koSuccess) return koFailure;
    unsigned char* end = strCopyQuoted(text, copy.text, copy.length, cpType, q);
    length = static_cast<uint32_t>(end - text);
    return koSuccess;
}

void KoString::removeQuotes() {
    if (text == nullptr || length < 2) return;
    const unsigned char quote = text[0];
    const uint32_t end = length - 1;
    uint32_t out = 0;
    uint32_t i = 1;
    while (i < end) {
        uint32_t size = koCharSize(text + i, cpType);
        if (size > 1) {
            if (size > end - i) size = end - i;
            std::memmove(text + out, text + i, size);
            out += size;
            i += size;
            continue;
        }
        if (text[i] == quote && i + 1 < end && text[i + 1] == quote) ++i;
        text[out++] = text[i++];
    }
    length = out;
    text[length] = 0;
}

KoStatus KoString::addQuotedBytes(const KoSubString& part, uint16_t quote) {
    const unsigned char q = static_cast<unsigned char>(quote);
    uint64_t needed =
        uint64_t(length) + countQuotes(part.text, part.length, part.cpType, q) + part.length + 3;
    if (needed > UINT32_MAX) return koFailure;
    // The part may view this string's own bytes: follow them when the buffer moves.
    const unsigned char* src = part.text;
    bool inside = src != nullptr && text != nullptr && src >= text && src < text + capacity;
    uint32_t offset = inside ? static_cast<uint32_t>(src - text) : 0;
    if (reserve(static_cast<uint32_t>(needed)) != koSuccess) return koFailure;
    if (inside) src = text + offset;
    unsigned char* end = strCopyQuoted(text + length, src, part.length, part.cpType, q);
    length = static_cast<uint32_t>(end - text);
    return koSuccess;
}

KoStatus KoString::forceEol(int count) {
    int present = 0;
    uint32_t l = length;
    while (l >= 2 && text[l - 2] == '\r' && text[l - 1] == '\n') {
        ++present;
        l -= 2;
    }
    if (count <= present) return koSuccess;
    uint64_t needed = uint64_t(length) + 2 * uint64_t(count - present) + 1;
    if (needed > UINT32_MAX || reserve(static_cast<uint32_t>(needed)) != koSuccess) return koFailure;
    for (; present < count; ++present) {
        text[length++] = '\r';
        text[length++] = '\n';
    }
    terminate();
    return koSuccess;
}

KoStatus KoString::insertLineBreaks(uint32_t width, unsigned char q1, unsigned char q2, unsigned char q3) {
    if (length <= width) return koSuccess;
    KoString result(cpType);
    if (length > UINT32_MAX - 101 || result.initialize(length + 100, cpType) != koSuccess) return koFailure;
    terminate();
    QuoteTracker quotes(q1, q2, q3);
    static const unsigned char lineEnd[] = "\r\n";
    uint32_t lineStart = 0;
    uint32_t lastSpace = 0;
    uint32_t column = 1;
    for (uint32_t i = 0; i < length; ++i, ++column) {
        if (!quotes.inside(text[i]) && text[i] == ' ') lastSpace = i;
        if (column > width && lastSpace > lineStart) {
            if (result.concat(text + lineStart, lastSpace - lineStart) != koSuccess ||
                result.concat(lineEnd, 2) != koSuccess)
                return koFailure;
            lineStart = lastSpace + 1;
            column = i - lineStart + 1;
        }
    }
    if (result.concat(text + lineStart, length - lineStart) != koSuccess) return koFailure;
    return assignFrom(result);
}

KoStatus KoString::removeLineBreaks(unsigned char q1, unsigned char q2, unsigned char q3) {
    return collapseSeparators(*this, q1, q2, q3,
                              [](const unsigned char* t, uint32_t i, uint32_t n) -> uint32_t {
                                  return (t[i] == '\r' && i + 1 < n && t[i + 1] == '\n') ? 2 : 0;
                              });
}

KoStatus KoString::removeTabs(unsigned char q1, unsigned char q2, unsigned char q3) {
    return collapseSeparators(
        *this, q1, q2, q3,
        [](const unsigned char* t, uint32_t i, uint32_t) -> uint32_t { return t[i] == '\t' ? 1 : 0; });
}

KoStatus KoString::removeLineFeeds(unsigned char q1, unsigned char q2, unsigned char q3) {
    return collapseSeparators(*this, q1, q2, q3,
                              [](const unsigned char* t, uint32_t i, uint32_t) -> uint32_t {
                                  return (t[i] == '\r' || t[i] == '\n') ? 1 : 0;
                              });
}
