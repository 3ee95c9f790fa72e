#include "foundation/containers/koset.h"
#include "foundation/errors/ramalloc.h"

KoSet::KoSet()
    : tableSize(0), count(0), maxFill(defaultMaxFill), growPercent(defaultGrowPercent), highWater(0) {}

KoSet::~KoSet() {
    // The slots hold objects, not raw blocks: delete them here, then let the array free its buffer.
    for (uint32_t i = 0; i < slots.count; ++i) {
        KoObject* element = slots.KoArray::getAt(i);
        slots.items[i] = nullptr;
        delete element;
    }
    slots.count = 0;
}

uint32_t KoSet::effectiveMaxFill() const {
    if (maxFill == 0) return 1;
    return maxFill > 100 ? 100 : maxFill;
}

uint32_t KoSet::tableSizeFor(uint32_t n) const {
    return uint32_t(uint64_t(n) * 100 / effectiveMaxFill() + 1);
}

uint16_t KoSet::homeSlot(uint32_t h) const {
    // Fibonacci hashing spreads the small sums that text keys produce over the whole table.
    return static_cast<uint16_t>(uint32_t(h * 0x9E3779B9u) % tableSize);
}

uint16_t KoSet::getCount() const {
    return count;
}

uint16_t KoSet::getTableSize() const {
    return tableSize;
}

uint16_t KoSet::getHighWater() const {
    return highWater;
}

KoStatus KoSet::rebuild(uint32_t newSize) {
    if (newSize == 0 || newSize > maxTableSize || newSize < count) return koFailure;
    auto* fresh = static_cast<KoObject**>(ramAllocZ(static_cast<uint32_t>(newSize * sizeof(KoObject*))));
    if (!fresh) return koFailure;
    KoObject** old = slots.items;
    uint32_t oldSize = slots.count;
    uint16_t moved = 0;
    tableSize = static_cast<uint16_t>(newSize);
    // Elements are re-added from the lowest slot up; they are distinct, so each takes the first
    // empty slot of its probe.
    for (uint32_t i = 0; i < oldSize; ++i) {
        KoObject* element = old[i];
        if (!element) continue;
        uint16_t slot = homeSlot(doHash(element));
        while (fresh[slot])
            slot = slot ? uint16_t(slot - 1) : uint16_t(tableSize - 1);
        fresh[slot] = element;
        ++moved;
    }
    if (old && (slots.flags & KoArray::ownsBuffer)) ramFree(old);
    slots.items = fresh;
    slots.capacity = slots.count = newSize;
    slots.flags |= KoArray::ownsBuffer;
    count = moved;
    return koSuccess;
}

KoStatus KoSet::initialize(uint16_t expected) {
    uint32_t size = tableSizeFor(expected);
    // Elements already present must fit below the fill limit of the new table.
    if (count && uint64_t(count) > uint64_t(effectiveMaxFill()) * size / 100) size = tableSizeFor(count);
    if (size > maxTableSize) return koFailure;
    return rebuild(size);
}

void KoSet::reset() {
    slots.shrink(0);
    tableSize = count = highWater = 0;
    maxFill = defaultMaxFill;
    growPercent = defaultGrowPercent;
}

KoStatus KoSet::addElement(KoObject* element, KoObject** replaced) {
    if (replaced) *replaced = nullptr;
    if (tableSize == 0) return koFailure;
    uint16_t slot = homeSlot(doHash(element));
    for (uint32_t probes = 0;; ++probes) {
        if (probes >= tableSize) return koFailure; // full, and the element is not there
        KoObject* there = slots.items[slot];
        if (!there) break;
        if (areEqual(there, element)) {
            slots.items[slot] = element;
            if (replaced) *replaced = there;
            return koSuccess;
        }
        slot = slot ? uint16_t(slot - 1) : uint16_t(tableSize - 1);
    }
    slots.items[slot] = element;
    ++count;
    KoStatus result = koSuccess;
    uint32_t threshold = effectiveMaxFill() * tableSize / 100;
    if (count > threshold) {
        uint32_t expected = threshold + threshold * growPercent / 100 + 1;
        uint32_t size = tableSizeFor(expected);
        // The table cannot pass 65,535 slots; it fills up to the last slot instead.
        if (size > maxTableSize) size = maxTableSize;
        if (size > tableSize) result = rebuild(size);
    }
    if (count > highWater) highWater = count;
    return result;
}
