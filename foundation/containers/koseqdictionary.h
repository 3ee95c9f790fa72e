#pragma once
#include <cstdint>
#include "foundation/containers/koarray.h"
#include "foundation/containers/koassociation.h"

class KoSubString;

// A small dictionary that keeps its entries in the order they were added and finds keys by a
// linear search (the first match wins). Its elements are associations; duplicates are not checked.
class KO_EXPORT KoSeqDictionary : public KoArray {
public:
    int ignoreCase; // non-zero: text keys compare ignoring case; 0 after construction

    KoSeqDictionary();
    // Deletes the associations from the last to the first; keys and data stay.
    ~KoSeqDictionary() override;

    // Each add appends one new association; 1 when memory is short, nothing added.
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
    // Position of the first entry with the key; count when absent.
    uint32_t getIndexForKey(uint32_t key) const;
    uint32_t getIndexForKey(const KoSubString* key) const;
    uint32_t getIndexForKey(const KoSubString& key) const;
    // Sets the data of the key's first entry; 1 when the key is absent.
    KoStatus changeData(uint32_t key, uint32_t data);
    KoStatus changeData(const KoSubString& key, KoObject* data);
    // Entry at a position; 0 or null beyond the end or when the entry's kind has no such part.
    KoObject* getPtrDataAtIndex(uint32_t index) const;
    uint32_t getIntDataAtIndex(uint32_t index) const;
    KoSubString* getSubKeyAtIndex(uint32_t index) const;
    uint32_t getIntKeyAtIndex(uint32_t index) const;
    KoAssociation* getAssocAtIndex(uint32_t index) const;
    // From the last entry to the first: deletes each key and data, then the association; count 0.
    void deleteKeyAndData();
    // The same for one position, then the gap closes.
    void deleteKeyAndDataAtIndex(uint32_t index);

private:
    KoStatus appendAssoc(KoAssociation* assoc);
};
