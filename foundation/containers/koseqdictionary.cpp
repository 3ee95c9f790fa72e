#include "foundation/containers/koseqdictionary.h"
#include "foundation/text/kostring.h"

KoSeqDictionary::KoSeqDictionary() : ignoreCase(0) {}

KoSeqDictionary::~KoSeqDictionary() {
    for (uint32_t i = count; i-- > 0;) {
        KoObject* a = items[i];
        items[i] = nullptr;
        delete a;
    }
    count = 0;
}

KoStatus KoSeqDictionary::appendAssoc(KoAssociation* assoc) {
    if (!assoc) return koFailure;
    if (append(assoc)) {
        delete assoc;
        return koFailure;
    }
    return koSuccess;
}

KoStatus KoSeqDictionary::addAssoc(uint32_t key, uint32_t data) {
    return appendAssoc(new KoIntIntKey(key, data));
}

KoStatus KoSeqDictionary::addAssoc(uint32_t key, KoObject* data) {
    return appendAssoc(new KoIntPtrKey(key, data));
}

KoStatus KoSeqDictionary::addAssoc(KoSubString* key, KoObject* data) {
    if (!key) return koFailure;
    return appendAssoc(new KoSubPtrKey(key, data));
}

KoAssociation* KoSeqDictionary::getAssocAtIndex(uint32_t index) const {
    return static_cast<KoAssociation*>(getAt(index));
}

uint32_t KoSeqDictionary::getIndexForKey(uint32_t key) const {
    for (uint32_t i = 0; i < count; ++i)
        if (KoAssociation* a = getAssocAtIndex(i); a && a->isEqualInt(key)) return i;
    return count;
}

uint32_t KoSeqDictionary::getIndexForKey(const KoSubString* key) const {
    if (!key) return count;
    for (uint32_t i = 0; i < count; ++i) {
        KoAssociation* a = getAssocAtIndex(i);
        if (a && (ignoreCase ? a->isEqualSubCi(key) : a->isEqualSub(key))) return i;
    }
    return count;
}

uint32_t KoSeqDictionary::getIndexForKey(const KoSubString& key) const {
    return getIndexForKey(&key);
}

uint32_t KoSeqDictionary::getIntForKey(uint32_t key) const {
    return getIntDataAtIndex(getIndexForKey(key));
}

KoObject* KoSeqDictionary::getPtrForKey(uint32_t key) const {
    return getPtrDataAtIndex(getIndexForKey(key));
}

KoObject* KoSeqDictionary::getPtrForKey(const KoSubString* key) const {
    return getPtrDataAtIndex(getIndexForKey(key));
}

unsigned int KoSeqDictionary::doesExist(uint32_t key) const {
    return getIndexForKey(key) < count ? 1 : 0;
}

unsigned int KoSeqDictionary::doesExist(const KoSubString* key) const {
    return getIndexForKey(key) < count ? 1 : 0;
}

KoStatus KoSeqDictionary::changeData(uint32_t key, uint32_t data) {
    KoAssociation* a = getAssocAtIndex(getIndexForKey(key));
    if (!a) return koFailure;
    a->setIntData(data);
    return koSuccess;
}

KoStatus KoSeqDictionary::changeData(const KoSubString& key, KoObject* data) {
    KoAssociation* a = getAssocAtIndex(getIndexForKey(key));
    if (!a) return koFailure;
    a->setPtrData(data);
    return koSuccess;
}

KoObject* KoSeqDictionary::getPtrDataAtIndex(uint32_t index) const {
    KoAssociation* a = getAssocAtIndex(index);
    return a ? a->getPtrData() : nullptr;
}

uint32_t KoSeqDictionary::getIntDataAtIndex(uint32_t index) const {
    KoAssociation* a = getAssocAtIndex(index);
    return a ? a->getIntData() : 0;
}

KoSubString* KoSeqDictionary::getSubKeyAtIndex(uint32_t index) const {
    KoAssociation* a = getAssocAtIndex(index);
    return a ? a->getSubKey() : nullptr;
}

uint32_t KoSeqDictionary::getIntKeyAtIndex(uint32_t index) const {
    KoAssociation* a = getAssocAtIndex(index);
    return a ? a->getIntKey() : 0;
}

void KoSeqDictionary::deleteKeyAndData() {
    for (uint32_t i = count; i-- > 0;) {
        auto* a = static_cast<KoAssociation*>(items[i]);
        items[i] = nullptr;
        if (!a) continue;
        a->deleteKeyAndData();
        delete a;
    }
    count = 0;
}

void KoSeqDictionary::deleteKeyAndDataAtIndex(uint32_t index) {
    KoAssociation* a = getAssocAtIndex(index);
    if (index >= count) return;
    removeAtIndex(index);
    if (a) {
        a->deleteKeyAndData();
        delete a;
    }
}
