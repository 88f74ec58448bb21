#include "util/PtrStack.h"

#include <cstdlib>

bool PtrStack::push(void* p) {
    if (count + 1 > capacity && !resize(count + 1)) return false;
    items[count++] = p;
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
