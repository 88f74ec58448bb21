#include "util/PtrList.h"

#include <cstdlib>
#include <cstring>

void PtrSlots::init() {
    capacity = 0;
    count = 0;
    items = nullptr;
}

void PtrSlots::release() {
    if (items) std::free(items);
}

void* PtrSlots::getAt(std::int32_t index) const {
    if (!items || count < 1 || index < 0 || index >= count) return nullptr;
    return items[index];
}

bool PtrSlots::resize(std::int32_t newCapacity) {
    void** grown = static_cast<void**>(std::realloc(items, sizeof(void*) * std::size_t(newCapacity)));
    if (!grown) return false;
    items = grown;
    capacity = newCapacity;
    return true;
}

bool PtrList::append(void* p) {
    if (count + 1 > capacity && !resize(count + 1 + 10)) return false;
    items[count++] = p;
    return true;
}

void PtrList::removeAt(std::int32_t index) {
    if (!items || index < 0 || index >= count) return;
    std::memmove(items + index, items + index + 1, sizeof(void*) * std::size_t(count - index - 1));
    --count;
    items[count] = nullptr;
}
