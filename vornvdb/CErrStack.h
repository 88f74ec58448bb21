// Error stacks: a caller-made object onto which the kit pushes one text per
// failure, read back newest first.
#pragma once

#include "vornvdb/CData.h"

// Last-in, first-out list of item copies.
class CSTACK {
public:
    CSTACK() = default;
    virtual ~CSTACK();
    CSTACK(const CSTACK&) = delete;
    CSTACK& operator=(const CSTACK&) = delete;

    // Copies the item into a new top entry; false when memory runs out.
    bool Push(const CDATA& item);
    // Moves the top entry's bytes into `item` (true), or sets it to "" when
    // the stack is empty (false).
    bool Pop(CDATA& item);
    bool IsEmpty() const { return top_ == nullptr; }

private:
    struct CSTACKITEM {
        CSTACKITEM* next;
        CPACKET data;
    };
    CSTACKITEM* top_ = nullptr;
};

class CERRSTACK : public CSTACK {
public:
    // The first text is the error dialog's caption, the others its three
    // detail lines.
    CERRSTACK(const char* first, const char* second, const char* third, const char* fourth);

    // Pushes "text\tmethod\tsource" and keeps the text as the last message.
    bool Push(const char* source, const char* method, const char* text);
    // Pops every entry; false-free.
    void Clear();
    // Pops every entry and joins them newest first, each with "\r\n".
    CSTRING PopAll();

    const CSTRING& Text(int i) const { return texts_[i]; }
    const CSTRING& LastMessage() const { return last_; }

private:
    using CSTACK::Push;
    CSTRING texts_[4];
    CSTRING last_;
};
