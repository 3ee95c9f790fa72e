#include "foundation/containers/koassociation.h"
#include <cstring>
#include "foundation/text/kostring.h"
#include "foundation/text/strcomp.h"

namespace {

KoSubString* asSub(uintptr_t v) {
    return reinterpret_cast<KoSubString*>(v);
}
KoObject* asObject(uintptr_t v) {
    return reinterpret_cast<KoObject*>(v);
}

unsigned int sameBytes(const KoSubString* a, const KoSubString* b) {
    if (!a || !b) return a == b ? 1 : 0;
    if (a->length != b->length) return 0;
    if (a->length == 0) return 1;
    return std::memcmp(a->text, b->text, a->length) == 0 ? 1 : 0;
}

unsigned int sameBytesCi(const KoSubString* a, const KoSubString* b) {
    if (!a || !b) return a == b ? 1 : 0;
    if (a->length != b->length) return 0;
    if (a->length == 0) return 1;
    return strEqualCi(a->text, a->length, b->text, b->length) ? 1 : 0;
}

} // namespace

// ---- KoAssociation: the answers of a kind that holds neither part the question is about

KoAssociation::KoAssociation(uintptr_t k, uintptr_t d) : key(k), data(d) {}

KoAssociation::~KoAssociation() = default;

int16_t KoAssociation::compare(const KoObject*) const {
    return 0;
}

unsigned int KoAssociation::isEqualInt(uint32_t) const {
    return 0;
}

unsigned int KoAssociation::isEqualSub(const KoSubString*) const {
    return 0;
}

unsigned int KoAssociation::isEqualKey(const KoAssociation*) const {
    return 0;
}

unsigned int KoAssociation::isEqualSubCi(const KoSubString*) const {
    return 0;
}

unsigned int KoAssociation::isEqualKeyCi(const KoAssociation*) const {
    return 0;
}

uint32_t KoAssociation::getIntKey() const {
    return 0;
}

uint32_t KoAssociation::getIntData() const {
    return 0;
}

KoSubString* KoAssociation::getSubKey() const {
    return nullptr;
}

KoObject* KoAssociation::getPtrData() const {
    return nullptr;
}

void KoAssociation::setPtrData(KoObject*) {}

void KoAssociation::setIntData(uint32_t) {}

uint32_t KoAssociation::hash() const {
    return 0;
}

void KoAssociation::deleteKeyAndData() {}

// ---- KoIntIntKey

KoIntIntKey::KoIntIntKey(uint32_t k, uint32_t d) : KoAssociation(k, d) {}

KoIntIntKey::~KoIntIntKey() = default;

unsigned int KoIntIntKey::isEqualInt(uint32_t value) const {
    return key == value ? 1 : 0;
}

unsigned int KoIntIntKey::isEqualKey(const KoAssociation* other) const {
    return other ? other->isEqualInt(static_cast<uint32_t>(key)) : 0;
}

uint32_t KoIntIntKey::getIntKey() const {
    return static_cast<uint32_t>(key);
}

uint32_t KoIntIntKey::getIntData() const {
    return static_cast<uint32_t>(data);
}

void KoIntIntKey::setIntData(uint32_t value) {
    data = value;
}

uint32_t KoIntIntKey::hash() const {
    return static_cast<uint32_t>(key);
}

// ---- KoIntPtrKey

KoIntPtrKey::KoIntPtrKey(uint32_t k, KoObject* d) : KoAssociation(k, reinterpret_cast<uintptr_t>(d)) {}

KoIntPtrKey::~KoIntPtrKey() = default;

unsigned int KoIntPtrKey::isEqualInt(uint32_t value) const {
    return key == value ? 1 : 0;
}

unsigned int KoIntPtrKey::isEqualKey(const KoAssociation* other) const {
    return other ? other->isEqualInt(static_cast<uint32_t>(key)) : 0;
}

uint32_t KoIntPtrKey::getIntKey() const {
    return static_cast<uint32_t>(key);
}

KoObject* KoIntPtrKey::getPtrData() const {
    return asObject(data);
}

uint32_t KoIntPtrKey::hash() const {
    return static_cast<uint32_t>(key);
}

void KoIntPtrKey::deleteKeyAndData() {
    delete asObject(data);
    data = 0;
}

// ---- KoSubPtrKey

KoSubPtrKey::KoSubPtrKey(KoSubString* k, KoObject* d)
    : KoAssociation(reinterpret_cast<uintptr_t>(k), reinterpret_cast<uintptr_t>(d)) {}

KoSubPtrKey::~KoSubPtrKey() = default;

unsigned int KoSubPtrKey::isEqualSub(const KoSubString* value) const {
    return sameBytes(asSub(key), value);
}

unsigned int KoSubPtrKey::isEqualKey(const KoAssociation* other) const {
    return other ? other->isEqualSub(asSub(key)) : 0;
}

unsigned int KoSubPtrKey::isEqualSubCi(const KoSubString* value) const {
    return sameBytesCi(asSub(key), value);
}

unsigned int KoSubPtrKey::isEqualKeyCi(const KoAssociation* other) const {
    return other ? other->isEqualSubCi(asSub(key)) : 0;
}

KoSubString* KoSubPtrKey::getSubKey() const {
    return asSub(key);
}

KoObject* KoSubPtrKey::getPtrData() const {
    return asObject(data);
}

void KoSubPtrKey::setPtrData(KoObject* value) {
    data = reinterpret_cast<uintptr_t>(value);
}

uint32_t KoSubPtrKey::hash() const {
    const KoSubString* k = asSub(key);
    return k ? k->hash() : 0;
}

void KoSubPtrKey::deleteKeyAndData() {
    delete asSub(key);
    key = 0;
    delete asObject(data);
    data = 0;
}
