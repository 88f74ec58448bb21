#include "util/PtrStack.h"

#include <cstdlib>

void PtrStack::init() {
    capacity = 0;
    count = 0;
    items = nullptr;
}

void PtrStack::release() {
    if (items) std::free(items);
}

bool PtrStack::push(void* p) {
    std::int32_t newCount = count + 1;
    if (newCount > capacity) {
        void** grown = static_cast<void**>(std::realloc(items, sizeof(void*) * std::size_t(newCount)));
        if (!grown) return false;
        items = grown;
        capacity = newCount;
    }
    items[count] = p;
    count = newCount;
    return true;
}

void* PtrStack::top() const {
    if (!items || count < 1) return nullptr;
    return items[count - 1];
}

void* PtrStack::pop() {
    void* p = top();
    if (items && count >= 1) {
        --count;
        if (count == 0) {
            // A parser's stack is empty between documents: give the memory back.
            std::free(items);
            items = nullptr;
            capacity = 0;
        }
    }
    return p;
}

void* PtrStack::getAt(std::int32_t index) const {
    if (!items || count < 1 || index < 0 || index >= count) return nullptr;
    return items[index];
}
