#pragma once
#include <cstdint>
#include "foundation/containers/koassociation.h"
#include "foundation/containers/koset.h"

class KoSubString;

// A hash table from integer or text keys to integers or objects; its elements are associations.
// It must be sized with initialize before use (an add to an unsized dictionary sizes it for 16).
// Keys are unique: adding a key already present replaces that entry and deletes its association.
class KO_EXPORT KoDictionary : public KoSet {
public:
    // Bits of flags.
    enum : uint32_t {
        ignoreCase = 0x1u,     // text keys compare ignoring case
        ownsKeyAndData = 0x2u, // a replaced entry's key and data objects are deleted with it
    };
    // Size given to a dictionary whose first add comes before initialize.
    static constexpr uint16_t defaultExpected = 16;

    uint32_t flags; // 0 after construction

    KoDictionary();
    // Deletes every association; keys and data stay.
    ~KoDictionary() override;

    uint32_t doHash(const KoObject* element) const override;
    unsigned int areEqual(const KoObject* a, const KoObject* b) const override;

    // Each add allocates one association: 1 when that fails (nothing added), or when the table is
    // full; a growth that fails afterwards returns 1 with the entry stored.
    KoStatus addAssoc(uint32_t key, uint32_t data);
    KoStatus addAssoc(uint32_t key, KoObject* data);
    KoStatus addAssoc(KoSubString* key, KoObject* data);
    // Integer data of the key; 0 when absent.
    uint32_t getIntForKey(uint32_t key) const;
    // Object data of the key; null when absent.
    KoObject* getPtrForKey(uint32_t key) const;
    KoObject* getPtrForKey(const KoSubString* key) const;
    unsigned int doesExist(uint32_t key) const;
    unsigned int doesExist(const KoSubString* key) const;
    // From the last slot to the first: deletes each association's key and data, then the
    // association; the dictionary is left empty (its table stays).
    void deleteKeyAndData();

private:
    // Slot of the key's association, or the empty slot where its probe ended; tableSize when the
    // key is absent and no slot is empty (or the table is not made).
    uint16_t getIndexForKey(uint32_t key) const;
    uint16_t getIndexForKey(const KoSubString* key) const;
    KoStatus addAssociation(KoAssociation* assoc);
    KoAssociation* assocAt(uint16_t index) const;
};
