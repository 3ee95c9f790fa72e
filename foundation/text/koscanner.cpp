#include "foundation/text/koscanner.h"

#include <cstring>
#include "foundation/containers/koarray.h"
#include "foundation/text/kodbcs.h"
#include "foundation/text/strcomp.h"

namespace {

// The operator table, searched in this order: each one-character operator is followed by the
// two-character operators that begin with it.
const char* const operatorTable[] = {
    "?",  ",",  "(",  ")", ".",  "=", "==", "=*", "=<", "=>", "+",  "++", "&",  "&&", "|",
    "||", "-",  "--", "/", "//", "*", "**", "*=", ">",  ">=", "<",  "<=", "<>", "!",  "!=",
    "!<", "!>", ";",  ":", "{",  "}", "$",  "#",  "%",  "@",  "\"", "'",  "`",  "",
};
constexpr unsigned operatorCount = sizeof(operatorTable) / sizeof(operatorTable[0]);
static_assert(operatorCount == 44, "the operator table has 44 entries");

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Size of the character at p, of which avail bytes belong to the text: told by its first byte, as
// everywhere in the library, but never longer than the bytes there are.
uint32_t charSize(const unsigned char* p, uint32_t avail, koCPType cp) {
    if (avail == 0) return 0;
    uint32_t size = koCharSizeOfByte(p[0], cp);
    if (size > avail) size = avail;
    return size == 0 ? 1 : size;
}

bool isWordBreak(unsigned char c) {
    return c == ',' || c == '/' || c == '(' || c == ')' || c == '|';
}

} // namespace

KoToken::KoToken() = default;
KoToken::~KoToken() = default;

KoScanner::KoScanner() : KoScanner(nullptr, 0u, koCPAnsi) {}

KoScanner::KoScanner(koCPType cp) : KoScanner(nullptr, 0u, cp) {}

KoScanner::KoScanner(const unsigned char* s)
    : KoScanner(s, s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0u, koCPAnsi) {}

KoScanner::KoScanner(const unsigned char* s, koCPType cp)
    : KoScanner(s, s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0u, cp) {}

KoScanner::KoScanner(const unsigned char* s, uint32_t n) : KoScanner(s, n, koCPAnsi) {}

KoScanner::KoScanner(const unsigned char* s, uint32_t n, koCPType cp)
    : startChars(cp), partChars(cp), delimiters(cp), cpType(cp) {
    setText(s, n, cp);
}

KoScanner::KoScanner(const KoSubString* s)
    : KoScanner(s ? s->text : nullptr, s ? s->length : 0u, s ? s->cpType : koCPAnsi) {}

KoScanner::KoScanner(KoSubString& s) : KoScanner(s.text, s.length, s.cpType) {}

KoScanner::KoScanner(KoString* s)
    : KoScanner(s ? s->text : nullptr, s ? s->length : 0u, s ? s->cpType : koCPAnsi) {
    source = s;
}

KoScanner::~KoScanner() = default;

void KoScanner::setText(const unsigned char* s, uint32_t n, koCPType cp) {
    text = s;
    length = s ? n : 0;
    cpType = cp;
    position = 0;
    source = nullptr;
    lastSize = 0;
    flags = (flags & ~flagAtEnd) | flagDecimalPoint;
}

void KoScanner::setScanString(const unsigned char* s, uint32_t n) {
    setText(s, n, koCPAnsi);
}

void KoScanner::setScanString(const unsigned char* s, uint32_t n, koCPType cp) {
    setText(s, n, cp);
}

void KoScanner::setScanString(KoString* str) {
    setText(str ? str->text : nullptr, str ? str->length : 0, cpType);
    source = str;
}

koCPType KoScanner::getCodePage() const {
    return cpType;
}

uint32_t KoScanner::charSizeAt(uint32_t offset) const {
    return charSize(text + offset, length - offset, cpType);
}

bool KoScanner::readChar() {
    if (position >= length) {
        flags |= flagAtEnd;
        lastSize = 0;
        return false;
    }
    uint32_t size = charSizeAt(position);
    lastSize = static_cast<uint16_t>(size);
    position += size;
    return true;
}

void KoScanner::backUp() {
    position -= lastSize;
    flags &= ~flagAtEnd;
}

bool KoScanner::isWhiteAt(uint32_t offset, uint32_t size) const {
    // Classified on a terminated copy: the classification may look at the byte after a character,
    // which need not belong to the text.
    unsigned char c[4] = {};
    std::memcpy(c, text + offset, size < 3 ? size : 3);
    // A lead byte cut off by the end is no blank.
    if (size < 2 && koCharSizeOfByte(c[0], cpType) > 1) return false;
    return koIsWhiteSpace(c) != 0;
}

bool KoScanner::isAlphaAt(uint32_t offset, uint32_t size) const {
    if (size > 1) return true;
    unsigned char c[2] = {text[offset], 0};
    if (koCharSizeOfByte(c[0], cpType) > 1) return true; // a multi-byte character cut off by the end
    return koIsAlpha(c, cpType) != 0;
}

bool KoScanner::inSet(const KoString& set, uint32_t offset, uint32_t size) const {
    if (set.text == nullptr || set.length == 0) return false;
    const unsigned char* c = text + offset;
    uint32_t i = 0;
    while (i < set.length) {
        uint32_t s = charSize(set.text + i, set.length - i, set.cpType);
        if (s == size && std::memcmp(set.text + i, c, size) == 0) return true;
        i += s;
    }
    return false;
}

bool KoScanner::isQuote(uint32_t offset, uint32_t size) const {
    if (size != 1) return false;
    unsigned char c = text[offset];
    return c == quote1 || c == quote2 || c == quote3;
}

void KoScanner::skipWhite() {
    while (readChar()) {
        uint32_t at = position - lastSize;
        if (!isWhiteAt(at, lastSize) || inSet(startChars, at, lastSize)) {
            backUp();
            return;
        }
    }
}

// Reads the rest of a quoted string whose opening quote has been read; a doubled quote is part of it.
void KoScanner::readQuoted(unsigned char quote, KoToken& token) {
    for (;;) {
        if (!readChar()) {
            token.kind = tokenUnterminated;
            return;
        }
        if (lastSize == 1 && text[position - 1] == quote) {
            if (!readChar()) { // closing quote at the very end
                token.kind = tokenQuoted;
                return;
            }
            if (lastSize == 1 && text[position - 1] == quote) continue; // doubled quote
            backUp();
            token.kind = tokenQuoted;
            return;
        }
    }
}

// Reads the rest of a group whose opening character has been read: nested pairs count, quoted
// strings inside are read whole. False when the end comes first.
bool KoScanner::readGroup(uint16_t open, uint16_t close) {
    uint32_t depth = 1;
    while (readChar()) {
        uint32_t at = position - lastSize;
        if (lastSize != 1) continue;
        unsigned char c = text[at];
        if (c == close) {
            if (--depth == 0) return true;
        } else if (c == open) {
            ++depth;
        } else if (isQuote(at, 1)) {
            KoToken inner;
            readQuoted(c, inner);
            if (inner.kind == tokenUnterminated) return false;
        }
    }
    return false;
}

// Kind of an operator starting with c (n the byte after it); pair tells that both bytes belong to it.
int32_t KoScanner::operatorKind(unsigned char c, unsigned char n, bool& pair) const {
    pair = false;
    for (unsigned i = 0; i < operatorCount; ++i) {
        const unsigned char* e = reinterpret_cast<const unsigned char*>(operatorTable[i]);
        if (e[0] != c || (c != 0 && e[1] != 0)) continue;
        // A one-character entry: look among the two-character entries that follow it.
        for (unsigned j = i + 1; c != 0 && j < operatorCount; ++j) {
            const unsigned char* f = reinterpret_cast<const unsigned char*>(operatorTable[j]);
            if (f[0] != c || f[1] == 0) break;
            if (f[1] == n) {
                pair = true;
                return static_cast<int32_t>(c) * 256 + n;
            }
        }
        return c;
    }
    return tokenUnknown;
}

bool KoScanner::startToken(KoToken& token) {
    skipWhite();
    if (readChar()) return true;
    token.initialize(text ? text + length : text, 0, cpType);
    token.kind = tokenEnd;
    token.position = length;
    return false;
}

void KoScanner::getToken(KoToken& token, SearchType type) {
    if (!startToken(token)) return;
    const uint32_t start = position - lastSize;
    const uint32_t firstSize = lastSize;
    const unsigned char c = text[start];
    const unsigned char n = position < length ? text[position] : 0;
    token.kind = tokenPlain;
    token.position = start;

    auto finish = [&]() { token.initialize(text + start, position - start, cpType); };
    // Reads characters while accept says they belong, then gives the first other one back.
    auto continueWhile = [&](auto accept) {
        while (readChar()) {
            if (!accept(position - lastSize, static_cast<uint32_t>(lastSize))) {
                backUp();
                break;
            }
        }
    };
    auto identifierPart = [&](uint32_t at, uint32_t size) {
        if (delimiters.length != 0) return !inSet(delimiters, at, size);
        if (isAlphaAt(at, size)) return true;
        if (size == 1 && (isDigit(text[at]) || text[at] == '_')) return true;
        return inSet(partChars, at, size);
    };

    // 1. quoted string
    if (isQuote(start, firstSize)) {
        readQuoted(c, token);
        finish();
        return;
    }
    // 2. groups
    if (firstSize == 1) {
        uint16_t close = 0;
        bool group = false;
        if (c == '(' && (options & optionParenGroups)) {
            group = true;
            close = ')';
        } else if (c == '{' && (options & optionBraceGroups)) {
            group = true;
            close = '}';
        } else if (groupOpen != noGroup && c == groupOpen) {
            group = true;
            close = groupClose;
        }
        if (group) {
            token.kind = readGroup(c, close) ? tokenQuoted : tokenUnterminated;
            finish();
            return;
        }
    }
    // 3. comments
    if ((flags & flagComments) && firstSize == 1 && c == '-' && n == '-') {
        readChar();
        token.kind = tokenComment;
        while (readChar()) {
            if (lastSize == 1 && text[position - 1] == '\n') {
                // The line feed ends the comment but is not part of it.
                token.initialize(text + start, position - 1 - start, cpType);
                return;
            }
        }
        finish();
        return;
    }
    if ((flags & flagComments) && firstSize == 1 && c == '/' && n == '*') {
        readChar(); // the "*" of the opening cannot close the comment
        token.kind = tokenComment;
        bool star = false;
        while (readChar()) {
            bool single = lastSize == 1;
            unsigned char b = text[position - lastSize];
            if (star && single && b == '/') break;
            star = single && b == '*';
        }
        finish();
        return;
    }
    // 4. word search
    if (type == searchWord && !(firstSize == 1 && isWordBreak(c))) {
        token.kind = tokenWord;
        continueWhile([&](uint32_t at, uint32_t size) {
            return !(text[at] <= 0x20) && !(size == 1 && isWordBreak(text[at]));
        });
        finish();
        return;
    }
    // 5. name search
    if (type == searchName && (isAlphaAt(start, firstSize) || (firstSize == 1 && (c == '_' || c == '#')))) {
        token.kind = tokenName;
        continueWhile([&](uint32_t at, uint32_t size) {
            if (size == 1 && (text[at] == '_' || text[at] == '#' || text[at] == '$')) return true;
            return identifierPart(at, size);
        });
        finish();
        return;
    }
    // 6. identifier
    if ((delimiters.length != 0 && !inSet(delimiters, start, firstSize)) || isAlphaAt(start, firstSize) ||
        (firstSize == 1 && c == '_') || inSet(startChars, start, firstSize)) {
        token.kind = tokenIdentifier;
        continueWhile(identifierPart);
        finish();
        return;
    }
    // 7., 8. numbers; a number holding a decimal point is a tokenDecimal wherever it ends.
    const bool decimalPoint = (flags & flagDecimalPoint) != 0;
    if (firstSize == 1 && (isDigit(c) || (decimalPoint && c == '.' && isDigit(n)))) {
        bool seenPoint = c == '.';
        token.kind = seenPoint ? tokenDecimal : tokenNumber;
        continueWhile([&](uint32_t at, uint32_t size) {
            if (size != 1) return false;
            if (isDigit(text[at])) return true;
            if (text[at] == '.' && decimalPoint && !seenPoint) {
                seenPoint = true;
                token.kind = tokenDecimal;
                return true;
            }
            return false;
        });
        finish();
        return;
    }
    // 9. outer-join marker
    if (firstSize == 1 && c == '(' && n == '+' && position + 1 < length && text[position + 1] == ')') {
        position += 2;
        lastSize = 1;
        token.kind = tokenOuterJoin;
        finish();
        return;
    }
    // 10. operators
    if (firstSize != 1) {
        token.kind = tokenUnknown;
        finish();
        return;
    }
    bool pair = false;
    token.kind = operatorKind(c, n, pair);
    if (pair) readChar();
    finish();
}

void KoScanner::getToken(KoToken& token, uint32_t start, uint32_t n) {
    if (start > length) start = length;
    if (n > length - start) n = length - start;
    token.initialize(text ? text + start : text, n, cpType);
    token.kind = tokenPlain;
    token.position = start;
}

void KoScanner::unGetToken(KoToken& token) {
    position = token.position <= length ? token.position : length;
    flags &= ~flagAtEnd;
}

void KoScanner::getDelimitedToken(KoToken& token, uint16_t delimiter) {
    if (!startToken(token)) return;
    const uint32_t start = position - lastSize;
    token.position = start;
    if (lastSize == 1 && text[start] == delimiter) {
        backUp();
        token.initialize(text + start, 0, cpType);
        token.kind = tokenPlain;
        return;
    }
    token.kind = tokenDelimited;
    backUp();
    // Inside a quoted stretch only its own quote character closes it: any other quote there is data,
    // so that a value such as 'a"b' reads back whole.
    unsigned char openQuote = 0;
    while (readChar()) {
        uint32_t at = position - lastSize;
        if (lastSize != 1) continue;
        unsigned char c = text[at];
        if (openQuote != 0) {
            if (c == openQuote) openQuote = 0;
            continue;
        }
        if (c == delimiter) {
            backUp();
            break;
        }
        if (isQuote(at, 1)) {
            openQuote = c;
        } else if (c == '(' && (options & optionParenGroups)) {
            readGroup('(', ')');
        } else if (c == '{' && (options & optionBraceGroups)) {
            readGroup('{', '}');
        }
    }
    // Trailing white space is not part of the item.
    const unsigned char* first = text + start;
    const unsigned char* end = text + position;
    while (end > first) {
        const unsigned char* prev = koCharPrev(first, end, cpType);
        if (prev >= end) break;
        uint32_t size = static_cast<uint32_t>(end - prev);
        if (!isWhiteAt(static_cast<uint32_t>(prev - text), size)) break;
        end = prev;
    }
    token.initialize(first, static_cast<uint32_t>(end - first), cpType);
}

KoStatus KoScanner::parseInto(KoArray* items, uint8_t delimiter, bool copies) {
    if (items == nullptr) return koFailure;
    items->deleteContents();
    items->flags |= KoArray::ownsElements;
    KoToken item;
    for (;;) {
        getDelimitedToken(item, delimiter);
        KoSubString* copy = nullptr;
        if (copies) {
            KoString* s = new KoString(cpType);
            if (s == nullptr) return koFailure;
            if (item.length != 0 && s->initialize(item.text, item.length, cpType) != koSuccess) {
                delete s;
                return koFailure;
            }
            copy = s;
        } else {
            copy = new KoSubString(item.text, item.length, cpType);
            if (copy == nullptr) return koFailure;
        }
        if (items->append(copy) != koSuccess) {
            delete copy;
            return koFailure;
        }
        // Only the delimiter itself is consumed between items, so that a delimiter that is white space
        // or begins a two-character operator does not swallow what follows it.
        uint32_t size = charSizeAt(position);
        if (size == 1 && text[position] == delimiter) {
            readChar();
            continue;
        }
        return koSuccess;
    }
}

KoStatus KoScanner::parseList(KoArray* items, uint8_t delimiter) {
    return parseInto(items, delimiter, false);
}

KoStatus KoScanner::parseListKoString(KoArray* items, uint8_t delimiter) {
    return parseInto(items, delimiter, true);
}

unsigned int KoScanner::matchPhrase(KoToken& token, const unsigned char* phrase, bool ignoreCase) {
    if (phrase == nullptr) return 0;
    auto same = [&](const unsigned char* a, uint32_t la, const unsigned char* w, uint32_t lw) {
        if (la != lw) return false;
        return (ignoreCase ? strCompareCi(a, la, w, lw) : strCompare(a, la, w, lw)) == 0;
    };
    auto wordEnd = [](const unsigned char* w) {
        while (*w != 0 && *w != ' ')
            ++w;
        return w;
    };
    const unsigned char* word = phrase;
    const unsigned char* end = wordEnd(word);
    if (!same(token.text, token.length, word, static_cast<uint32_t>(end - word))) return 0;

    const uint32_t savedPosition = position;
    const uint32_t savedFlags = flags;
    const uint16_t savedLast = lastSize;
    uint32_t last = token.position + token.length;
    KoToken next;
    while (*end == ' ') {
        word = end + 1;
        end = wordEnd(word);
        getToken(next);
        if (next.kind == tokenEnd || !same(next.text, next.length, word, static_cast<uint32_t>(end - word))) {
            position = savedPosition;
            flags = savedFlags;
            lastSize = savedLast;
            return 0;
        }
        last = next.position + next.length;
    }
    if (last > token.position) token.initialize(text + token.position, last - token.position, cpType);
    return 1;
}

unsigned int KoScanner::isEqual(KoToken& token, const unsigned char* phrase) {
    return matchPhrase(token, phrase, false);
}

unsigned int KoScanner::isEqualCi(KoToken& token, const unsigned char* phrase) {
    return matchPhrase(token, phrase, true);
}

unsigned int KoScanner::isInSet(KoToken& token, const unsigned char* phrases) {
    if (phrases == nullptr) return 0;
    for (const unsigned char* p = phrases; *p != 0; p += std::strlen(reinterpret_cast<const char*>(p)) + 1)
        if (matchPhrase(token, p, false)) return 1;
    return 0;
}

unsigned int KoScanner::isInSetCi(KoToken& token, const unsigned char* phrases) {
    if (phrases == nullptr) return 0;
    for (const unsigned char* p = phrases; *p != 0; p += std::strlen(reinterpret_cast<const char*>(p)) + 1)
        if (matchPhrase(token, p, true)) return 1;
    return 0;
}

unsigned int KoScanner::matchWithin(const unsigned char* phrase, bool ignoreCase) {
    if (phrase == nullptr) return 0;
    KoToken t;
    for (;;) {
        getToken(t);
        if (t.kind == tokenEnd) return 0;
        if (matchPhrase(t, phrase, ignoreCase)) return 1;
    }
}

unsigned int KoScanner::isTokenWithin(const unsigned char* phrase) {
    return matchWithin(phrase, false);
}

unsigned int KoScanner::isTokenWithinCi(const unsigned char* phrase) {
    return matchWithin(phrase, true);
}

namespace {

// The bytes of a view, copied first when they lie inside the string about to be edited (whose
// buffer may move).
struct EditBytes {
    const unsigned char* bytes = nullptr;
    uint32_t count = 0;
    KoString copy;
    bool ok = true;

    EditBytes(const KoSubString& part, const KoString& target) {
        bytes = part.text;
        count = part.text ? part.length : 0;
        if (count == 0 || target.text == nullptr) return;
        const unsigned char* lo = target.text;
        const unsigned char* hi = target.text + target.capacity;
        if (bytes + count > lo && bytes < hi) {
            ok = copy.initialize(bytes, count, part.cpType) == koSuccess;
            bytes = copy.text;
        }
    }
};

} // namespace

KoStatus KoScanner::changeToken(KoToken* token, const KoSubString& replacement) {
    if (token == nullptr || source == nullptr) return koFailure;
    if (token->position > source->length || token->length > source->length - token->position)
        return koFailure;
    EditBytes bytes(replacement, *source);
    if (!bytes.ok) return koFailure;
    const uint32_t oldLen = token->length;
    const uint32_t start = token->position;
    KoStatus status = bytes.count == 0 ? source->changeBytes(start, oldLen, nullptr, 0)
                                       : source->changeBytes(start, oldLen, bytes.bytes, bytes.count);
    if (status != koSuccess) return koFailure;
    text = source->text;
    length = source->length;
    if (position >= start + oldLen)
        position = position - oldLen + bytes.count;
    else if (position > start)
        position = start;
    if (position > length) position = length;
    // The token now shows its replacement (its old bytes may have moved or gone).
    token->initialize(text + start, bytes.count, token->cpType);
    return koSuccess;
}

KoStatus KoScanner::insertToken(KoToken* token, const KoSubString& insert) {
    if (insert.text == nullptr || insert.length == 0) return koSuccess;
    if (token == nullptr || source == nullptr) return koFailure;
    if (token->position > source->length) return koFailure;
    EditBytes bytes(insert, *source);
    if (!bytes.ok) return koFailure;
    const uint32_t start = token->position;
    if (source->changeBytes(start, 0, bytes.bytes, bytes.count) != koSuccess) return koFailure;
    text = source->text;
    length = source->length;
    if (position >= start) position += bytes.count;
    if (position > length) position = length;
    token->position += bytes.count;
    uint32_t tokenLen = token->length;
    if (tokenLen > length - token->position) tokenLen = length - token->position;
    token->initialize(text + token->position, tokenLen, token->cpType);
    return koSuccess;
}
