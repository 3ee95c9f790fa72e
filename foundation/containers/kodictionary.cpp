#include "foundation/containers/kodictionary.h"
#include "foundation/text/kostring.h"

KoDictionary::KoDictionary() : flags(0) {}

// KoSet's destructor deletes the associations; keys and data stay with their owner.
KoDictionary::~KoDictionary() = default;

uint32_t KoDictionary::doHash(const KoObject* element) const {
    return static_cast<const KoAssociation*>(element)->hash();
}

unsigned int KoDictionary::areEqual(const KoObject* a, const KoObject* b) const {
    auto* left = static_cast<const KoAssociation*>(a);
    auto* right = static_cast<const KoAssociation*>(b);
    return (flags & ignoreCase) ? left->isEqualKeyCi(right) : left->isEqualKey(right);
}

KoAssociation* KoDictionary::assocAt(uint16_t index) const {
    if (index >= tableSize) return nullptr;
    return static_cast<KoAssociation*>(slots.KoArray::getAt(index));
}

namespace {

// Walks the probe sequence of a key from its home slot downwards until an empty slot or a match.
// Returns the slot, or tableSize when the table is full and holds no match (or has no slots).
template <class Match> uint16_t probe(const KoSet& set, uint32_t h, Match match) {
    if (set.tableSize == 0) return 0;
    uint16_t slot = set.homeSlot(h);
    for (uint32_t n = 0; n < set.tableSize; ++n) {
        auto* there = static_cast<const KoAssociation*>(set.slots.KoArray::getAt(slot));
        if (!there || match(there)) return slot;
        slot = slot ? uint16_t(slot - 1) : uint16_t(set.tableSize - 1);
    }
    return set.tableSize;
}

} // namespace

uint16_t KoDictionary::getIndexForKey(uint32_t key) const {
    // Integer keys hash to themselves.
    return probe(*this, key, [key](const KoAssociation* a) { return a->isEqualInt(key) != 0; });
}

uint16_t KoDictionary::getIndexForKey(const KoSubString* key) const {
    if (!key) return tableSize;
    bool ci = (flags & ignoreCase) != 0;
    return probe(*this, key->hash(), [key, ci](const KoAssociation* a) {
        return (ci ? a->isEqualSubCi(key) : a->isEqualSub(key)) != 0;
    });
}

KoStatus KoDictionary::addAssociation(KoAssociation* assoc) {
    if (!assoc) return koFailure;
    if (tableSize == 0 && initialize(defaultExpected)) {
        delete assoc;
        return koFailure;
    }
    KoObject* replaced = nullptr;
    uint16_t before = count;
    KoStatus result = addElement(assoc, &replaced);
    if (replaced) {
        // Keys are unique: the new entry took the old one's slot, and the old association goes.
        auto* old = static_cast<KoAssociation*>(replaced);
        if (flags & ownsKeyAndData) {
            // Parts the new entry shares with the old one stay alive.
            KoSubString* oldKey = old->getSubKey();
            KoObject* oldData = old->getPtrData();
            if (oldKey && oldKey != assoc->getSubKey()) delete oldKey;
            if (oldData && oldData != assoc->getPtrData()) delete oldData;
        }
        delete old;
        return result;
    }
    if (result && count == before) delete assoc; // not stored: the table is full
    return result;
}

KoStatus KoDictionary::addAssoc(uint32_t key, uint32_t data) {
    return addAssociation(new KoIntIntKey(key, data));
}

KoStatus KoDictionary::addAssoc(uint32_t key, KoObject* data) {
    return addAssociation(new KoIntPtrKey(key, data));
}

KoStatus KoDictionary::addAssoc(KoSubString* key, KoObject* data) {
    if (!key) return koFailure;
    return addAssociation(new KoSubPtrKey(key, data));
}

uint32_t KoDictionary::getIntForKey(uint32_t key) const {
    KoAssociation* a = assocAt(getIndexForKey(key));
    return a ? a->getIntData() : 0;
}

KoObject* KoDictionary::getPtrForKey(uint32_t key) const {
    KoAssociation* a = assocAt(getIndexForKey(key));
    return a ? a->getPtrData() : nullptr;
}

KoObject* KoDictionary::getPtrForKey(const KoSubString* key) const {
    KoAssociation* a = assocAt(getIndexForKey(key));
    return a ? a->getPtrData() : nullptr;
}

unsigned int KoDictionary::doesExist(uint32_t key) const {
    return assocAt(getIndexForKey(key)) ? 1 : 0;
}

unsigned int KoDictionary::doesExist(const KoSubString* key) const {
    return assocAt(getIndexForKey(key)) ? 1 : 0;
}

void KoDictionary::deleteKeyAndData() {
    for (uint32_t i = slots.count; i-- > 0;) {
        auto* a = static_cast<KoAssociation*>(slots.KoArray::getAt(i));
        if (!a) continue;
        slots.items[i] = nullptr;
        a->deleteKeyAndData();
        delete a;
    }
    count = 0;
}
