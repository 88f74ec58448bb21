// Growable arrays of untyped pointers, used for every list and stack of the
// driver and the kit. They never own what they point to: the owner of a list
// deletes the objects before it releases the list.
//
// Both are plain records so that they can live inside zero-filled heap
// records: all-zero is a valid empty list.
#pragma once

#include <cstdint>

// The fields and the operations that the list and the stack share.
struct PtrSlots {
    std::int32_t capacity;
    std::int32_t count;
    void** items;  // malloc'd; new slots are not zeroed

    void init();
    // Frees the slot array; the fields are left as they were.
    void release();
    std::int32_t getCount() const { return count; }
    // Null when index is out of range or nothing is stored.
    void* getAt(std::int32_t index) const;
    // Reallocates the slot array to newCapacity slots; false (nothing
    // changed) when the allocator refuses.
    bool resize(std::int32_t newCapacity);
};

struct PtrList : PtrSlots {
    // Adds at the end, growing ten slots at a time. False (list unchanged)
    // when the allocator refuses.
    bool append(void* p);
    // Removes index (0 <= index < count), keeping the order of the rest;
    // other indexes change nothing.
    void removeAt(std::int32_t index);

    template <typename T>
    T* at(std::int32_t index) const {
        return static_cast<T*>(getAt(index));
    }
};
