#pragma once
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"

// Sizes as the library counts them: 32 bits wide whatever the platform's size_t.
typedef uint32_t KOSIZE_T;
typedef int32_t KOSSIZE_T;

// A growable array of object pointers. The array deletes its elements only when told to (the
// ownsElements flag, or deleteContents / deleteAtIndex).
class KO_EXPORT KoArray : public KoObject {
public:
    // Bits of flags.
    enum : uint32_t {
        ownsElements = 0x1u,  // the destructor deletes the elements
        wholeCapacity = 0x2u, // deleteContents visits every slot up to capacity, not only up to count
        ownsBuffer = 0x4u,    // the array allocated items and frees it
    };
    // Slots added when a full array grows, after construction.
    static constexpr uint16_t defaultGrowBy = 16;

    KoObject** items;  // the slots; null until the first allocation
    uint32_t capacity; // slots allocated
    uint32_t count;    // slots in use, 0 .. count - 1
    uint16_t growBy;   // slots added when a full array grows; 0 doubles the capacity
    uint32_t flags;    // ownsElements, wholeCapacity, ownsBuffer

    KoArray();
    // Deletes the elements when ownsElements is set, frees items when ownsBuffer is set.
    ~KoArray() override;
    KoArray(const KoArray&) = delete;
    KoArray& operator=(const KoArray&) = delete;

    // Allocates n null slots; the elements already held are kept (n is raised to count if smaller).
    // 1 when memory is short, the array unchanged.
    KoStatus setInitialSize(uint16_t n);
    // Stores element at index (0 .. count), moving the later slots up; grows a full array by growBy.
    // 1 when memory is short or index is beyond count, the array unchanged.
    KoStatus addAtIndex(const KoObject* element, uint32_t index);
    // Stores element after the last one.
    KoStatus append(const KoObject* element);
    // Takes the element at index out of the array without deleting it; an index beyond the end is ignored.
    void removeAtIndex(uint32_t index);
    // Deletes the element at index, then removes its slot.
    virtual void deleteAtIndex(uint32_t index);
    // Deletes every element (up to capacity with wholeCapacity) and nulls its slot; count becomes 0.
    virtual void deleteContents();
    // capacity = count = n: an owned buffer is reallocated to n slots, or freed for n = 0. The
    // elements beyond n are dropped, not deleted. 1 when memory is short, the array unchanged.
    KoStatus shrink(uint32_t n);
    // 1 when this very pointer is one of the elements.
    unsigned int doesExist(const KoObject* element) const;

    // The element at index; null beyond the end.
    KoObject* getAt(uint32_t index) const;
    KoObject* operator[](uint32_t index) const { return getAt(index); }
    uint32_t getCount() const;
    uint32_t getCapacity() const;

protected:
    // Moves slots index+1 .. count-1 down by one and decrements count; index must be below count.
    void closeGap(uint32_t index);

private:
    // Grows the capacity by `by` slots (doubles it for 0). With keep the elements stay; without, a
    // new all-null buffer replaces the old one and count becomes 0. On failure the array is unchanged.
    KoStatus increaseSize(uint32_t by, unsigned int keep, unsigned int reserved = 0);
};

// Holds raw memory blocks from ramAlloc; releasing an element means ramFree.
class KO_EXPORT KoArrayPVoid : public KoArray {
public:
    KoArrayPVoid();
    // Releases the blocks when ownsElements is set.
    ~KoArrayPVoid() override;

    KoStatus addAtIndex(const void* block, uint32_t index);
    KoStatus append(const void* block);
    void* getAt(uint32_t index) const;
    void* operator[](uint32_t index) const { return getAt(index); }
    unsigned int doesExist(const void* block) const;

    // Releases the block at index with ramFree, then removes its slot.
    void deleteAtIndex(uint32_t index) override;
    // Releases every block with ramFree and nulls its slot; count becomes 0.
    void deleteContents() override;
};

// An array of plain values of type T, each kept in one slot (a slot is as wide as a pointer, so
// every value type up to 64 bits fits). The values are never deleted: deleteContents only empties
// the array and deleteAtIndex only removes.
template <class T> class KO_EXPORT KoValueArray : public KoArray {
public:
    KoValueArray();
    ~KoValueArray() override;

    // Stores value at index (0 .. count). 1 when memory is short or index is beyond count.
    KoStatus addAtIndex(T value, uint32_t index);
    // Stores value after the last one.
    KoStatus add(T value);
    // The value at index; 0 beyond the end.
    T getAt(uint32_t index) const;
    T operator[](uint32_t index) const { return getAt(index); }
    // Replaces the value at index; 1 when index is beyond the end.
    KoStatus setAt(uint32_t index, T value);
    // 1 when value is one of the elements.
    unsigned int doesExist(T value) const;
    // Index of the first element equal to value; count when none.
    uint32_t indexOf(T value) const;

    void deleteAtIndex(uint32_t index) override;
    void deleteContents() override;

protected:
    static KoObject* toSlot(T value);
    static T fromSlot(const KoObject* slot);
};

extern template class KoValueArray<uint32_t>;
extern template class KoValueArray<int32_t>;
extern template class KoValueArray<uint64_t>;
extern template class KoValueArray<int64_t>;

class KO_EXPORT KoArrayKOSIZE_T : public KoValueArray<KOSIZE_T> {
public:
    KoArrayKOSIZE_T();
    ~KoArrayKOSIZE_T() override;
};

class KO_EXPORT KoArrayKOSSIZE_T : public KoValueArray<KOSSIZE_T> {
public:
    KoArrayKOSSIZE_T();
    ~KoArrayKOSSIZE_T() override;
};

class KO_EXPORT KoArrayS32 : public KoValueArray<int32_t> {
public:
    KoArrayS32();
    ~KoArrayS32() override;
};

class KO_EXPORT KoArrayU32 : public KoValueArray<uint32_t> {
public:
    KoArrayU32();
    ~KoArrayU32() override;
};

class KO_EXPORT KoArrayS64 : public KoValueArray<int64_t> {
public:
    KoArrayS64();
    ~KoArrayS64() override;
};

class KO_EXPORT KoArrayU64 : public KoValueArray<uint64_t> {
public:
    KoArrayU64();
    ~KoArrayU64() override;
};
