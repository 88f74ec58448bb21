// Error stacks; see CErrStack.h.
#include "vornvdb/CErrStack.h"

#include <new>

CSTACK::~CSTACK() {
    while (top_) {
        CSTACKITEM* next = top_->next;
        delete top_;
        top_ = next;
    }
}

bool CSTACK::Push(const CDATA& item) {
    auto* entry = new (std::nothrow) CSTACKITEM{top_, CPACKET(item)};
    if (!entry || entry->data.Length() != item.Length()) {
        delete entry;
        return false;
    }
    top_ = entry;
    return true;
}

bool CSTACK::Pop(CDATA& item) {
    if (!top_) {
        item.Assign("");
        return false;
    }
    CSTACKITEM* entry = top_;
    top_ = entry->next;
    item.Assign(entry->data);
    delete entry;
    return true;
}

CERRSTACK::CERRSTACK(const char* first, const char* second, const char* third, const char* fourth)
    : texts_{CSTRING(first), CSTRING(second), CSTRING(third), CSTRING(fourth)} {}

bool CERRSTACK::Push(const char* source, const char* method, const char* text) {
    last_.Assign(text);
    CSTRING entry(text);
    entry.Append("\t");
    entry.Append(method);
    entry.Append("\t");
    entry.Append(source);
    return CSTACK::Push(entry);
}

void CERRSTACK::Clear() {
    CPACKET sink;
    while (Pop(sink)) {
    }
}

CSTRING CERRSTACK::PopAll() {
    CSTRING all;
    CSTRING entry;
    while (Pop(entry)) {
        all.Append(entry);
        all.Append("\r\n");
    }
    return all;
}
