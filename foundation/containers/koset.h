#pragma once
#include <cstdint>
#include "foundation/containers/koarray.h"

// An open-addressing hash set of objects. An element's home slot is its hash times the golden
// ratio, modulo the table size; collisions probe downwards, wrapping from slot 0 to the last slot.
// The table grows by growPercent when its fill passes maxFill. Slot numbers and counts are 16-bit,
// so a table has at most 65,535 slots. Subclasses say how elements hash and when two are equal.
class KO_EXPORT KoSet : public KoObject {
public:
    static constexpr uint16_t defaultMaxFill = 75;
    static constexpr uint16_t defaultGrowPercent = 25;
    static constexpr uint32_t maxTableSize = 0xFFFFu;

    KoArrayPVoid slots;   // the table; a null slot is empty
    uint16_t tableSize;   // number of slots
    uint16_t count;       // number of elements
    uint16_t maxFill;     // percent of the table that may be in use before it grows
    uint16_t growPercent; // by how much the expected size grows
    uint16_t highWater;   // the largest count seen

    KoSet();
    // Deletes every element.
    ~KoSet() override;
    KoSet(const KoSet&) = delete;
    KoSet& operator=(const KoSet&) = delete;

    // Hash of an element.
    virtual uint32_t doHash(const KoObject* element) const = 0;
    // Non-zero when the two elements are the same entry.
    virtual unsigned int areEqual(const KoObject* a, const KoObject* b) const = 0;

    // Makes the table for `expected` entries: expected * 100 / maxFill + 1 slots, all empty. Elements
    // already held move into the new table (which is made larger when they would not fit).
    // 1 when memory is short or the size exceeds 65,535 slots, the set unchanged.
    KoStatus initialize(uint16_t expected);
    // Drops the table (the elements are not deleted) and restores the construction defaults.
    void reset();

    uint16_t getCount() const;
    uint16_t getTableSize() const;
    uint16_t getHighWater() const;
    // Home slot of a hash in the current table; the table must not be empty.
    uint16_t homeSlot(uint32_t h) const;
    // Table size for n expected entries with the current maxFill; above 65,535 when too large.
    uint32_t tableSizeFor(uint32_t n) const;

protected:
    // Stores element: in the slot of an equal element (which is then handed back in *replaced and
    // no longer counted) or in the first empty slot of its probe. Grows the table when the fill
    // passes maxFill; a growth that fails returns 1 with the element stored. 1 without storing
    // when the table is full.
    KoStatus addElement(KoObject* element, KoObject** replaced);
    // Rebuilds the table with newSize slots, moving every element. 1 when memory is short, unchanged.
    KoStatus rebuild(uint32_t newSize);
    // maxFill limited to 1 .. 100.
    uint32_t effectiveMaxFill() const;
};
