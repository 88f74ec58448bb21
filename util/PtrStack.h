// Last-in-first-out stack of untyped pointers; does not own what it points to.
// All-zero is a valid empty stack.
#pragma once

#include "util/PtrList.h"

struct PtrStack : PtrSlots {
    // Grows one slot at a time. False (stack unchanged) when the allocator
    // refuses.
    bool push(void* p);
    // Null when empty.
    void* top() const;
    // Returns the top and removes it; the array is freed once the stack is
    // empty. Null (and nothing changes) when empty.
    void* pop();
};
