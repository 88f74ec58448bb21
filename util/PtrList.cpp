#include "util/PtrList.h"

#include <cstdlib>
#include <cstring>

void PtrList::init() {
    capacity = 0;
    count = 0;
    items = nullptr;
}

void PtrList::release() {
    if (items) std::free(items);
}

bool PtrList::append(void* p) {
    std::int32_t newCount = count + 1;
    if (newCount > capacity) {
        std::int32_t newCapacity = newCount + 10;
        void** grown = static_cast<void**>(std::realloc(items, sizeof(void*) * std::size_t(newCapacity)));
        if (!grown) return false;
        items = grown;
        capacity = newCapacity;
    }
    items[count] = p;
    count = newCount;
    return true;
}

void PtrList::removeAt(std::int32_t index) {
    if (!items || index < 0 || index >= count) return;
    std::memmove(items + index, items + index + 1, sizeof(void*) * std::size_t(count - index - 1));
    --count;
    items[count] = nullptr;
}

void* PtrList::getAt(std::int32_t index) const {
    if (!items || count < 1 || index < 0 || index >= count) return nullptr;
    return items[index];
}
