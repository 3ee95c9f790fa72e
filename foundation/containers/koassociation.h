#pragma once
#include <cstdint>
#include "foundation/containers/koobject.h"

class KoSubString;

// One entry of a dictionary: a key (an integer or a KoSubString) and its data (an integer or an
// object). Key and data are kept in pointer-wide fields. Deleting an association deletes neither;
// deleteKeyAndData does that for the kinds that hold objects. The virtual operations follow the
// destructor and compare in this order; each kind answers those that do not concern it with 0,
// null or nothing.
class KO_EXPORT KoAssociation : public KoObject {
public:
    uintptr_t key;  // integer key, or KoSubString*
    uintptr_t data; // integer data, or KoObject*

    ~KoAssociation() override;
    int16_t compare(const KoObject* other) const override;
    // Key equals the integer value.
    virtual unsigned int isEqualInt(uint32_t value) const;
    // Key equals the text: same length, same bytes.
    virtual unsigned int isEqualSub(const KoSubString* value) const;
    // Key equals other's key (other is asked with this key).
    virtual unsigned int isEqualKey(const KoAssociation* other) const;
    // Key equals the text ignoring case.
    virtual unsigned int isEqualSubCi(const KoSubString* value) const;
    // Key equals other's key ignoring case.
    virtual unsigned int isEqualKeyCi(const KoAssociation* other) const;
    virtual uint32_t getIntKey() const;
    virtual uint32_t getIntData() const;
    virtual KoSubString* getSubKey() const;
    virtual KoObject* getPtrData() const;
    virtual void setPtrData(KoObject* value);
    virtual void setIntData(uint32_t value);
    virtual uint32_t hash() const;
    // Deletes the key and data objects the kind holds.
    virtual void deleteKeyAndData();

protected:
    KoAssociation(uintptr_t k, uintptr_t d);
};

// Integer key to integer data.
class KO_EXPORT KoIntIntKey : public KoAssociation {
public:
    KoIntIntKey(uint32_t k, uint32_t d);
    ~KoIntIntKey() override;
    unsigned int isEqualInt(uint32_t value) const override;
    unsigned int isEqualKey(const KoAssociation* other) const override;
    uint32_t getIntKey() const override;
    uint32_t getIntData() const override;
    void setIntData(uint32_t value) override;
    uint32_t hash() const override;
};

// Integer key to object data.
class KO_EXPORT KoIntPtrKey : public KoAssociation {
public:
    KoIntPtrKey(uint32_t k, KoObject* d);
    ~KoIntPtrKey() override;
    unsigned int isEqualInt(uint32_t value) const override;
    unsigned int isEqualKey(const KoAssociation* other) const override;
    uint32_t getIntKey() const override;
    KoObject* getPtrData() const override;
    uint32_t hash() const override;
    // Deletes the data object.
    void deleteKeyAndData() override;
};

// Text key to object data.
class KO_EXPORT KoSubPtrKey : public KoAssociation {
public:
    KoSubPtrKey(KoSubString* k, KoObject* d);
    ~KoSubPtrKey() override;
    unsigned int isEqualSub(const KoSubString* value) const override;
    unsigned int isEqualKey(const KoAssociation* other) const override;
    unsigned int isEqualSubCi(const KoSubString* value) const override;
    unsigned int isEqualKeyCi(const KoAssociation* other) const override;
    KoSubString* getSubKey() const override;
    KoObject* getPtrData() const override;
    void setPtrData(KoObject* value) override;
    uint32_t hash() const override;
    // Deletes the key object, then the data object.
    void deleteKeyAndData() override;
};
