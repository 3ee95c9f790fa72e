#include "foundation/errors/koerror.h"

#include "foundation/errors/errstatic.h"
#include "foundation/text/kodbcs.h"
#include "foundation/ui/resourcelib.h"
#include "platform/thread.h"

namespace {

bool isStatic(const KoError* e) {
    return (e->flags & KoError::staticRecord) != 0;
}

void deleteUnlessStatic(KoError* e) {
    if (e && !isStatic(e)) delete e;
}

// Reads resource string number, cut to 255 characters (the buffer holds the longest string the
// resource library gives).
void loadResourceText(uint16_t number, unsigned char (&out)[512]) {
    out[0] = 0;
    uint32_t n = winGetString(out, number);
    if (n > 255) {
        // Cut at the last whole character that fits, never between a lead and a trail byte.
        uint32_t end = 0;
        for (uint32_t next; (next = koCharNext(out, end, koCPAnsi)) <= 255 && next > end;)
            end = next;
        n = end;
    }
    out[n] = 0;
}

// A list that keeps only the first error is closed once it holds one (mix 1 or 2).
bool holdsError(const KoErrorList* list) {
    ErrorsMix mix = list->getErrorsMix();
    return mix == errorsMixBoth || mix == errorsMixErrors;
}

} // namespace

KoError& koCurrentDummyError() {
    KoErrorList* list = KoErrorKeeper::getErrorList();
    return list ? list->getDummyError() : koStaticErrorRecord(errSpecialDummy);
}

// ---- KoErrorKeeper ---------------------------------------------------------------------------

KoErrorList* KoErrorKeeper::getErrorList() {
    return static_cast<KoErrorList*>(mdsGetPerThreadData(perThreadErrorList));
}

KoError& KoErrorKeeper::addError(KoError* error) {
    KoErrorList* list = getErrorList();
    if (!list) {
        deleteUnlessStatic(error);
        return koStaticErrorRecord(errSpecialDummy);
    }
    if (!list->isKeepAll() && holdsError(list)) {
        deleteUnlessStatic(error);
        return list->getDummyError();
    }
    if (!error) return list->getDummyError();
    // A static record is stored like any other; the list never deletes it.
    if (list->addAtIndex(error, list->count) != koSuccess) {
        deleteUnlessStatic(error);
        return list->getDummyError();
    }
    return *error;
}

void KoErrorKeeper::addMemoryError() {
    KoErrorList* list = getErrorList();
    if (!list) return;
    if (!list->isKeepAll() && holdsError(list)) clearLastError();
    list->listFlags |= KoErrorList::memoryPending;
}

void KoErrorKeeper::clearLastError() {
    KoErrorList* list = getErrorList();
    if (!list) return;
    if (list->isMemoryErrorPending()) {
        list->clearMemoryError();
        return;
    }
    if (list->count == 0) return;
    KoError* e = list->errorAt(list->count - 1);
    list->removeAtIndex(list->count - 1);
    deleteUnlessStatic(e);
}

KoError* KoErrorKeeper::getLastError() {
    KoErrorList* list = getErrorList();
    return list ? list->getLastError() : nullptr;
}

unsigned short KoErrorKeeper::getLastErrorNumber() {
    KoError* e = getLastError();
    return e ? e->number : 0;
}

int32_t KoErrorKeeper::getLastNativeError() {
    KoError* e = getLastError();
    return e ? e->nativeError : 0;
}

void KoErrorKeeper::setLastErrorType(ErrorType type) {
    KoError* e = getLastError();
    if (!e || isStatic(e)) return;
    if (type == errorTypeWarning)
        e->flags |= KoError::warning;
    else
        e->flags &= ~KoError::warning;
}

KoError& KoErrorKeeper::appendTextToLastError(const unsigned char* s) {
    KoError* e = getLastError();
    if (!e) return koCurrentDummyError();
    if (isStatic(e)) return *e;
    if (e->appendText(s) != koSuccess) return koCurrentDummyError();
    e->text.paramCount = 0;
    return *e;
}

void KoErrorKeeper::setErrorList(KoErrorList* list) {
    if (!list) return;
    void** slot = mdsGetPerThreadDataAddress(perThreadErrorList);
    if (!slot) return;
    list->previousList = static_cast<KoErrorList*>(*slot);
    list->slotAddress = slot;
    *slot = list;
}

void KoErrorKeeper::setErrorList(KoErrorList* list, KoThreadInfo* thread) {
    if (!list || !thread) return;
    void** slot = &thread->slots[perThreadErrorList];
    list->previousList = static_cast<KoErrorList*>(*slot);
    list->slotAddress = slot;
    *slot = list;
}

namespace {
KoErrorList* giveUp(void** slot) {
    if (!slot) return nullptr;
    auto* list = static_cast<KoErrorList*>(*slot);
    if (!list) return nullptr;
    *slot = list->previousList;
    list->previousList = nullptr;
    list->slotAddress = nullptr;
    return list;
}
} // namespace

KoErrorList* KoErrorKeeper::giveUpErrorList() {
    KoThreadInfo* info = getThreadInfo(GetCurrentThreadId());
    return info ? giveUp(&info->slots[perThreadErrorList]) : nullptr;
}

KoErrorList* KoErrorKeeper::giveUpErrorList(KoThreadInfo* thread) {
    return thread ? giveUp(&thread->slots[perThreadErrorList]) : nullptr;
}

void* KoErrorKeeper::getOwnerOfList() {
    KoErrorList* list = getErrorList();
    return list ? list->owner : nullptr;
}

// ---- raising ---------------------------------------------------------------------------------

KoError& addDatabaseError(uint16_t number, int32_t nativeError, const unsigned char* text, ErrorType type,
                          koCPType cp) {
    KoErrorList* list = KoErrorKeeper::getErrorList();
    if (!list) return koStaticErrorRecord(errSpecialDummy);
    return KoErrorKeeper::addError(list->allocError(number, text, cp, type, 0, nativeError));
}

KoError& koRaiseError(uint16_t number) {
    KoErrorList* list = KoErrorKeeper::getErrorList();
    if (!list) return koStaticErrorRecord(errSpecialDummy);
    unsigned char text[512];
    loadResourceText(number, text);
    return KoErrorKeeper::addError(list->allocError(number, text, koCPAnsi, errorTypeError, 0, 0));
}

KoError& koAppendErrorText(uint16_t number) {
    unsigned char text[512];
    loadResourceText(number, text);
    return KoErrorKeeper::appendTextToLastError(text);
}
