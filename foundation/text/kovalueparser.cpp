#include "foundation/text/kovalueparser.h"

#include <cstring>
#include "foundation/containers/koassociation.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/text/strcomp.h"
#include "foundation/text/strcopy.h"

namespace {

uint32_t textLength(const unsigned char* s) {
    return s ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(s))) : 0;
}

bool equalCi(const KoSubString& a, const char* b) {
    const unsigned char* t = reinterpret_cast<const unsigned char*>(b);
    return strEqualCi(a.text, a.length, t, textLength(t)) != 0;
}

constexpr int32_t kindEquals = '=';

} // namespace

KoValueParser::KoValueParser(const KoSubString* text, unsigned char separator,
                             const unsigned char* contextText, unsigned int allowDuplicates)
    : separator(separator), contextText(contextText), scanner(text), token(),
      cpType(text ? text->cpType : koCPAnsi), allowDuplicates(allowDuplicates & 1u) {
    attributes.ignoreCase = 1;
}

KoValueParser::~KoValueParser() {
    attributes.deleteKeyAndData();
    delete pendingKey;
    ramFree(usedMarks);
}

void KoValueParser::setQuotingChars(uint16_t q1, uint16_t q2, uint16_t q3) {
    scanner.quote1 = q1;
    scanner.quote2 = q2;
    scanner.quote3 = q3;
}

KoStatus KoValueParser::setValidChars(const unsigned char* chars) {
    uint32_t n = textLength(chars);
    if (n == 0) return koSuccess;
    uint32_t startLen = scanner.startChars.length;
    if (scanner.startChars.concat(chars, n) != koSuccess) return koFailure;
    if (scanner.partChars.concat(chars, n) != koSuccess) {
        // Keep the two sets alike: take the start characters back.
        scanner.startChars.length = startLen;
        return koFailure;
    }
    return koSuccess;
}

void KoValueParser::resetValidChars() {
    scanner.startChars.unInitialize();
    scanner.partChars.unInitialize();
}

bool KoValueParser::isSeparator(const KoToken& t) const {
    return t.kind == static_cast<int32_t>(separator) && t.length == 1 && t.text[0] == separator;
}

void KoValueParser::raiseSyntaxError() {
    if (contextText == nullptr) {
        koRaiseError(errSyntax) << static_cast<uint32_t>(token.position);
    } else {
        koRaiseError(errSyntaxContext) << static_cast<uint32_t>(token.position) << contextText;
    }
}

KoStatus KoValueParser::initialize() {
    // A second run reads the text afresh.
    attributes.deleteKeyAndData();
    delete pendingKey;
    pendingKey = nullptr;
    ramFree(usedMarks);
    usedMarks = nullptr;
    usedMarkBits = usedMarkBytes = 0;
    unusedCursor = 0;
    scanner.position = 0;
    scanner.flags &= ~KoScanner::flagAtEnd;

    scanner.getToken(token);
    for (;;) {
        if (token.kind == tokenEnd) break;
        if (isSeparator(token)) { // empty entries and leading separators
            scanner.getToken(token);
            continue;
        }
        if (parseAttribute() != koSuccess) return koFailure;
        if (token.kind == tokenEnd) break;
        if (!isSeparator(token)) {
            raiseSyntaxError();
            return koFailure;
        }
        scanner.getToken(token);
    }
    return allocateMarks();
}

KoStatus KoValueParser::parseAttribute() {
    if (token.kind != tokenIdentifier) {
        raiseSyntaxError();
        return koFailure;
    }
    // The keyword runs over consecutive words, blanks between them included ("Data Source").
    const uint32_t start = token.position;
    uint32_t end = token.position + token.length;
    for (;;) {
        scanner.getToken(token);
        if (token.kind != tokenIdentifier) break;
        end = token.position + token.length;
    }
    pendingKey = new KoSubString(scanner.text + start, end - start, cpType);
    if (pendingKey == nullptr) return koFailure;

    const bool known = findKey(*pendingKey) < attributes.count;
    if (known && !allowDuplicates && !equalCi(*pendingKey, "Driver")) {
        raiseSyntaxError();
        koAppendErrorText(errDuplicate) << static_cast<const KoSubString&>(token);
        delete pendingKey;
        pendingKey = nullptr;
        return koFailure;
    }
    if (equalCi(*pendingKey, "ODBC")) { // a bare keyword, no value
        delete pendingKey;
        pendingKey = nullptr;
        return koSuccess;
    }
    if (token.kind != kindEquals) {
        if (token.length >= 2 && token.text[0] == '=') {
            // "==" or "=>": the rest of the operator starts the value. Reading on from just after the
            // first "=" keeps every later position an offset in the whole text.
            scanner.position = token.position + 1;
            scanner.flags &= ~KoScanner::flagAtEnd;
        } else {
            raiseSyntaxError();
            delete pendingKey;
            pendingKey = nullptr;
            return koFailure;
        }
    }
    readValue();
    if (known) { // a tolerated duplicate keeps its first value
        delete pendingKey;
        pendingKey = nullptr;
    } else {
        KoSubString* value = new KoSubString(token.text, token.length, cpType);
        if (value == nullptr || attributes.addAssoc(pendingKey, value) != koSuccess) {
            delete value;
            delete pendingKey;
            pendingKey = nullptr;
            return koFailure;
        }
        pendingKey = nullptr;
    }
    scanner.getToken(token);
    return koSuccess;
}

void KoValueParser::readValue() {
    if (separator != 0) {
        scanner.getDelimitedToken(token, separator);
        return;
    }
    // The installer's lists know no quoting: every entry ends at its NUL, so that an apostrophe in a
    // value ("Bob's data") cannot swallow the entries after it.
    const uint32_t whole = scanner.length;
    uint32_t end = scanner.position;
    while (end < whole && scanner.text[end] != 0)
        ++end;
    scanner.length = end;
    scanner.getDelimitedToken(token, separator);
    scanner.length = whole;
    scanner.flags &= ~KoScanner::flagAtEnd;
}

uint32_t KoValueParser::findKey(const KoSubString& key) const {
    for (uint32_t i = 0; i < attributes.count; ++i) {
        const KoSubString* k = attributes.getSubKeyAtIndex(i);
        if (k && strEqualCi(k->text, k->length, key.text, key.length)) return i;
    }
    return attributes.count;
}

bool KoValueParser::isMarked(uint32_t index) const {
    return usedMarks != nullptr && index < usedMarkBits && (usedMarks[index / 8] & (1u << (index % 8))) != 0;
}

void KoValueParser::mark(uint32_t index) {
    if (usedMarks != nullptr && index < usedMarkBits)
        usedMarks[index / 8] |= static_cast<uint8_t>(1u << (index % 8));
}

KoStatus KoValueParser::allocateMarks() {
    ramFree(usedMarks);
    usedMarkBits = usedMarkBytes = 0;
    uint32_t bytes = attributes.count / 8 + 1;
    usedMarks = static_cast<uint8_t*>(ramAllocZ(bytes));
    if (usedMarks == nullptr) return koFailure;
    usedMarkBytes = bytes;
    usedMarkBits = attributes.count;
    return koSuccess;
}

// Makes the marks cover `entries` attributes (new ones clear), so that attributes added after
// initialize are tracked like the parsed ones.
KoStatus KoValueParser::coverMarks(uint32_t entries) {
    if (usedMarks == nullptr || entries <= usedMarkBits) return koSuccess;
    uint32_t bytes = entries / 8 + 1;
    if (bytes > usedMarkBytes) {
        void* block = usedMarks;
        if (ramResize(&block, bytes) != koSuccess) return koFailure;
        usedMarks = static_cast<uint8_t*>(block);
        std::memset(usedMarks + usedMarkBytes, 0, bytes - usedMarkBytes);
        usedMarkBytes = bytes;
    }
    usedMarkBits = entries;
    return koSuccess;
}

// Removes the mark of a deleted attribute; the later ones move down with their attributes.
void KoValueParser::dropMark(uint32_t index) {
    if (usedMarks == nullptr || index >= usedMarkBits) return;
    for (uint32_t i = index; i + 1 < usedMarkBits; ++i) {
        if (isMarked(i + 1))
            usedMarks[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        else
            usedMarks[i / 8] &= static_cast<uint8_t>(~(1u << (i % 8)));
    }
    uint32_t last = usedMarkBits - 1;
    usedMarks[last / 8] &= static_cast<uint8_t>(~(1u << (last % 8)));
    --usedMarkBits;
}

const KoSubString* KoValueParser::lookUp(const KoSubString& key) {
    uint32_t i = findKey(key);
    if (i >= attributes.count) return nullptr;
    mark(i);
    return static_cast<const KoSubString*>(attributes.getPtrDataAtIndex(i));
}

const KoSubString* KoValueParser::getAttributeValue(const KoSubString* key) {
    return key ? lookUp(*key) : nullptr;
}

const KoSubString* KoValueParser::getAttributeValue(const unsigned char* key) {
    if (key == nullptr) return nullptr;
    KoSubString k(key, textLength(key), cpType);
    return lookUp(k);
}

KoStatus KoValueParser::getAttributeValue(const unsigned char* key, const unsigned char* altKey,
                                          const KoSubString*& value) {
    const KoSubString* first = getAttributeValue(key);
    if (first != nullptr) {
        if (altKey != nullptr && getAttributeValue(altKey) != nullptr) {
            raiseSyntaxError();
            koAppendErrorText(errBothSpellings) << key << altKey;
            return koFailure;
        }
        value = first;
        return koSuccess;
    }
    value = getAttributeValue(altKey);
    return koSuccess;
}

unsigned int KoValueParser::isAttributeValue(const KoSubString* key) const {
    return key && findKey(*key) < attributes.count ? 1 : 0;
}

unsigned int KoValueParser::isAttributeValue(const unsigned char* key) const {
    if (key == nullptr) return 0;
    KoSubString k(key, textLength(key), cpType);
    return findKey(k) < attributes.count ? 1 : 0;
}

uint16_t KoValueParser::getUnusedCount() const {
    uint32_t n = 0;
    for (uint32_t i = 0; i < attributes.count; ++i)
        if (!isMarked(i)) ++n;
    return static_cast<uint16_t>(n);
}

const KoSubString* KoValueParser::getUnusedAttribute() {
    while (unusedCursor < attributes.count) {
        uint32_t i = unusedCursor++;
        if (!isMarked(i)) return attributes.getSubKeyAtIndex(i);
    }
    return nullptr;
}

KoStatus KoValueParser::resetUnused() {
    unusedCursor = 0;
    return allocateMarks();
}

uint32_t KoValueParser::getAttributeCount() const {
    return attributes.count;
}

const KoSubString* KoValueParser::getAttributeKey(uint16_t index) const {
    return index < attributes.count ? attributes.getSubKeyAtIndex(index) : nullptr;
}

KoStatus KoValueParser::buildString(KoString* out) const {
    if (out == nullptr) return koFailure;
    out->length = 0;
    for (uint32_t i = 0; i < attributes.count; ++i) {
        const KoSubString* key = attributes.getSubKeyAtIndex(i);
        const KoSubString* value = static_cast<const KoSubString*>(attributes.getPtrDataAtIndex(i));
        bool ok =
            (i == 0 || out->concat(static_cast<uint8_t>(separator)) == koSuccess) &&
            (key == nullptr || key->length == 0 || out->concat(key->text, key->length) == koSuccess) &&
            out->concat(static_cast<uint8_t>('=')) == koSuccess &&
            (value == nullptr || value->length == 0 || out->concat(value->text, value->length) == koSuccess);
        if (!ok) {
            // Never hand back part of a list as if it were the whole.
            out->length = 0;
            return koFailure;
        }
    }
    return koSuccess;
}

void KoValueParser::removeAttribute(const unsigned char* key) {
    if (key == nullptr) return;
    KoSubString k(key, textLength(key), cpType);
    uint32_t i = findKey(k);
    if (i >= attributes.count) return;
    attributes.deleteKeyAndDataAtIndex(i);
    dropMark(i);
    if (unusedCursor > i) --unusedCursor;
}

bool KoValueParser::needsQuotes(const unsigned char* value, uint32_t valueLen) const {
    // Any character the scanner would read as the start of a quoted stretch or as the end of the
    // value must be protected, or the list would not read back as it was written.
    for (uint32_t i = 0; i < valueLen; ++i) {
        unsigned char c = value[i];
        if (c == separator || c == '\'' || c == '"' || c == scanner.quote1 || c == scanner.quote2 ||
            c == scanner.quote3)
            return true;
    }
    return false;
}

// An owned copy of a value, enclosed in single quotes (embedded ones doubled) when it holds the
// separator or a quote character; null when memory runs out.
KoString* KoValueParser::newValueOf(const unsigned char* value, uint32_t valueLen) const {
    KoString* copy = new KoString(cpType);
    if (copy == nullptr) return nullptr;
    if (valueLen == 0 || !needsQuotes(value, valueLen)) {
        if (copy->initialize(valueLen ? value : reinterpret_cast<const unsigned char*>(""), valueLen,
                             cpType) != koSuccess) {
            delete copy;
            return nullptr;
        }
        return copy;
    }
    // Room for every byte doubled, the two quotes and a terminator, whatever the bytes are.
    if (valueLen > (UINT32_MAX - 3) / 2 || copy->initialize(valueLen * 2 + 2, cpType) != koSuccess) {
        delete copy;
        return nullptr;
    }
    unsigned char* end = strCopyQuoted(copy->text, value, valueLen, cpType, '\'');
    copy->length = copy->origLength = static_cast<uint32_t>(end - copy->text);
    return copy;
}

KoStatus KoValueParser::addAttribute(const unsigned char* key, uint32_t keyLen, const unsigned char* value,
                                     uint32_t valueLen, const unsigned char* altKey, uint32_t altKeyLen) {
    if (key == nullptr) return koFailure;
    if (value == nullptr) valueLen = 0;
    KoSubString k(key, keyLen, cpType);
    uint32_t index = findKey(k);
    if (index >= attributes.count && altKey != nullptr) {
        KoSubString a(altKey, altKeyLen, cpType);
        index = findKey(a);
    }
    const bool existing = index < attributes.count;

    KoString* newKey = nullptr;
    if (!existing) {
        newKey = new KoString(cpType);
        if (newKey == nullptr) return koFailure;
        if (newKey->initialize(key, keyLen, cpType) != koSuccess) {
            delete newKey;
            return koFailure;
        }
    }
    KoString* newValue = newValueOf(value, valueLen);
    if (newValue == nullptr) {
        delete newKey;
        return koFailure;
    }

    if (existing) {
        KoAssociation* entry = attributes.getAssocAtIndex(index);
        KoObject* old = entry->getPtrData();
        entry->setPtrData(newValue);
        delete old;
        return koSuccess;
    }
    const uint32_t coveredBefore = usedMarkBits;
    if (coverMarks(attributes.count + 1) != koSuccess || attributes.addAssoc(newKey, newValue) != koSuccess) {
        if (usedMarks != nullptr) usedMarkBits = coveredBefore;
        delete newValue;
        delete newKey;
        return koFailure;
    }
    return koSuccess;
}

KoStatus KoValueParser::addAttribute(const unsigned char* key, const unsigned char* value,
                                     const unsigned char* altKey) {
    return addAttribute(key, textLength(key), value, textLength(value), altKey, textLength(altKey));
}
