#include "foundation/errors/koerror.h"

#include <cstring>
#include <new>

#include "foundation/errors/errstatic.h"

namespace {
const unsigned char emptyText[1] = {0};
const unsigned char outOfMemoryText[] = "Out Of Memory";
} // namespace

// The two shared records, built on first use and never destroyed: any thread may still hold a
// reference to them while the process ends. Nothing ever changes them.
KoError& koStaticErrorRecord(ErrSpecialError which) {
    alignas(KoError) static unsigned char memoryStorage[sizeof(KoError)];
    alignas(KoError) static unsigned char dummyStorage[sizeof(KoError)];
    static KoError* memory = new (static_cast<void*>(memoryStorage)) KoError(errSpecialMemory);
    static KoError* dummy = new (static_cast<void*>(dummyStorage)) KoError(errSpecialDummy);
    return which == errSpecialMemory ? *memory : *dummy;
}

namespace {

bool isStatic(const KoError* e) {
    return (e->flags & KoError::staticRecord) != 0;
}

void deleteUnlessStatic(KoError* e) {
    if (e && !isStatic(e)) delete e;
}

} // namespace

// ---- KoError ---------------------------------------------------------------------------------

KoError::KoError(uint16_t number, const unsigned char* text, koCPType cp, ErrorType type, uint16_t category,
                 int32_t nativeError)
    : nativeError(nativeError), number(number), category(category), text(cp), cpType(cp) {
    this->text.initialize(text ? text : emptyText, cp);
    flags = type == errorTypeWarning ? uint32_t(warning) : 0u;
}

KoError::KoError(ErrSpecialError special) : text(koCPAnsi) {
    flags = staticRecord;
    if (special == errSpecialMemory) {
        number = koMemoryErrorNumber;
        flags |= memoryError;
    } else {
        flags |= dummyError;
    }
}

KoError::~KoError() = default;

const unsigned char* KoError::getErrorText() const {
    if (flags & memoryError) return outOfMemoryText;
    if (!text.text) return emptyText;
    text.text[text.length] = 0;
    return text.text;
}

KoStatus KoError::appendText(const unsigned char* s) {
    if (isStatic(this) || !s) return koSuccess;
    return text.concat(s);
}

bool KoError::isWarning() const {
    return (flags & warning) != 0;
}

KoError& KoError::afterParam(KoStatus status) {
    return status == koSuccess ? *this : koCurrentDummyError();
}

KoError& KoError::operator<<(const unsigned char* s) {
    if (isStatic(this)) return *this;
    if (text.hasFailed()) return koCurrentDummyError();
    return afterParam(text.setParam(s ? s : emptyText));
}

KoError& KoError::operator<<(const char* s) {
    return *this << reinterpret_cast<const unsigned char*>(s);
}

KoError& KoError::operator<<(uint32_t v) {
    if (isStatic(this)) return *this;
    if (text.hasFailed()) return koCurrentDummyError();
    return afterParam(text.setParam(v));
}

KoError& KoError::operator<<(int32_t v) {
    if (isStatic(this)) return *this;
    if (text.hasFailed()) return koCurrentDummyError();
    return afterParam(text.setParam(v));
}

KoError& KoError::operator<<(const KoSubString& s) {
    if (isStatic(this)) return *this;
    if (text.hasFailed()) return koCurrentDummyError();
    return afterParam(text.setParam(s));
}

// ---- KoErrorList -----------------------------------------------------------------------------

KoErrorList::KoErrorList(void* owner, unsigned int keepAllRecords) : owner(owner) {
    // Records stay in the order they were raised.
    sortFlags |= sortOff;
    listFlags = keepAllRecords ? uint32_t(keepAll) : 0u;
}

KoErrorList::~KoErrorList() {
    listFlags &= ~memoryPending;
    for (uint32_t i = 0; i < count; ++i)
        deleteUnlessStatic(errorAt(i));
    count = 0;
}

KoError& KoErrorList::getMemoryError() {
    return koStaticErrorRecord(errSpecialMemory);
}

KoError& KoErrorList::getDummyError() {
    return koStaticErrorRecord(errSpecialDummy);
}

KoError* KoErrorList::allocError(uint16_t number, const unsigned char* text, koCPType cp, ErrorType type,
                                 uint16_t category, int32_t nativeError) {
    auto* e = new KoError(number, text, cp, type, category, nativeError);
    if (e && e->text.hasFailed()) {
        // A record without its message would tell the user nothing.
        delete e;
        return nullptr;
    }
    return e;
}

KoError* KoErrorList::errorAt(uint32_t pos) const {
    return pos < count ? static_cast<KoError*>(items[pos]) : nullptr;
}

bool KoErrorList::isKeepAll() const {
    return (listFlags & keepAll) != 0;
}

bool KoErrorList::isMemoryErrorPending() const {
    return (listFlags & memoryPending) != 0;
}

void KoErrorList::clearMemoryError() {
    listFlags &= ~memoryPending;
}

KoError* KoErrorList::removeFirstError() {
    cursor = 0;
    if (listFlags & memoryPending) {
        listFlags &= ~memoryPending;
        return &getMemoryError();
    }
    if (count == 0) return nullptr;
    KoError* e = errorAt(0);
    removeAtIndex(0);
    return e;
}

KoError* KoErrorList::removeLastError() {
    cursor = 0;
    if (listFlags & memoryPending) {
        listFlags &= ~memoryPending;
        return &getMemoryError();
    }
    if (count == 0) return nullptr;
    KoError* e = errorAt(count - 1);
    removeAtIndex(count - 1);
    return e;
}

KoError* KoErrorList::getLastError() {
    if (listFlags & memoryPending) return &getMemoryError();
    return count ? errorAt(count - 1) : nullptr;
}

ErrorsMix KoErrorList::getErrorsMix() const {
    if (count == 0) return errorsMixNone;
    bool errors = false, warnings = false;
    for (uint32_t i = 0; i < count; ++i) {
        if (errorAt(i)->isWarning())
            warnings = true;
        else
            errors = true;
    }
    if (!errors) return errorsMixWarnings;
    return warnings ? errorsMixBoth : errorsMixErrors;
}

KoStatus KoErrorList::concatErrors(KoString* out, uint16_t separator) {
    // Taken once: growing out may itself raise an error into this list.
    uint32_t n = count;
    for (uint32_t i = 0; i < n; ++i) {
        KoError* e = errorAt(i);
        if (!e) break;
        const unsigned char* t = e->getErrorText();
        uint32_t len = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(t)));
        uint32_t sep = i > 0 ? 1 : 0;
        // Room for the separator and the text at once, so a failure appends neither.
        uint32_t at = out->length;
        if (out->changeBytes(at, 0, nullptr, sep + len) != koSuccess) return koFailure;
        if (sep) out->text[at] = static_cast<unsigned char>(separator & 0xFF);
        if (len) std::memcpy(out->text + at + sep, t, len);
    }
    return koSuccess;
}

void KoErrorList::setWarningAfterPos(uint32_t pos) {
    for (uint32_t i = pos + 1; i < count && i > pos; ++i) {
        KoError* e = errorAt(i);
        if (!isStatic(e)) e->flags |= KoError::warning;
    }
}

void KoErrorList::appendTextStartingAtPos(const unsigned char* s, uint32_t pos) {
    for (uint32_t i = pos; i < count; ++i)
        errorAt(i)->appendText(s);
}

void KoErrorList::moveLastErrorToPos(uint32_t pos) {
    if (count == 0 || pos >= count) return;
    KoError* e = errorAt(count - 1);
    removeAtIndex(count - 1);
    // The slot just freed takes it back: no allocation.
    addAtIndex(e, pos);
}

KoNode* KoErrorList::getFirstNode() {
    cursor = 1;
    return errorAt(0);
}

KoNode* KoErrorList::getNextNode() {
    if (cursor >= count) return nullptr;
    return errorAt(cursor++);
}

KoNode* KoErrorList::getNodeAtPos(uint32_t pos) {
    cursor = static_cast<uint16_t>(pos + 1);
    return errorAt(pos);
}
