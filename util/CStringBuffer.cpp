#include "util/CStringBuffer.h"

#include "platform/platform.h"

#include <cstring>
#include <limits>
#include <new>
#include <string>

namespace {
// Heap exhaustion is not survivable in the middle of building a text; the
// exported-function frame turns this into HY001.
char* allocBlock(std::int64_t capacity) {
    if (capacity < 0 || capacity >= std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
    void* p = plat::heapAlloc(std::size_t(capacity) + 1);
    if (!p) throw std::bad_alloc();
    return static_cast<char*>(p);
}

std::int32_t countOrStrlen(const char* text, std::int32_t count) {
    if (count >= 0) return count;
    if (!text) return 0;
    std::size_t n = std::strlen(text);
    if (n >= std::size_t(std::numeric_limits<std::int32_t>::max())) throw std::bad_alloc();
    return static_cast<std::int32_t>(n);
}

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
}  // namespace

CStringBuffer::CStringBuffer() : CStringBuffer(kDefaultStep) {}

CStringBuffer::CStringBuffer(std::int32_t growthStep) : step_(growthStep < 1 ? 1 : growthStep) {
    data_ = allocBlock(step_);
    capacity_ = step_;
    end_ = data_;
}

CStringBuffer::CStringBuffer(const char* text) { Assign(text, -1); }

CStringBuffer::CStringBuffer(const CStringBuffer& other) : step_(other.step_) { Assign(other.data_, other.length_); }

CStringBuffer& CStringBuffer::operator=(const CStringBuffer& other) {
    if (this != &other) Assign(other);
    return *this;
}

CStringBuffer::~CStringBuffer() { plat::heapFree(data_); }

void CStringBuffer::reset() {
    data_ = nullptr;
    capacity_ = 0;
    length_ = 0;
    end_ = nullptr;
}

bool CStringBuffer::Equals(const CStringBuffer& other) const {
    return length_ == other.length_ && (length_ == 0 || std::memcmp(data_, other.data_, std::size_t(length_)) == 0);
}

void CStringBuffer::Assign(const char* text, std::int32_t count) {
    count = countOrStrlen(text, count);
    if (count >= capacity_) {
        std::int64_t newCapacity = std::int64_t(step_) * (count / step_ + 1);
        char* block = allocBlock(newCapacity);
        if (count) std::memcpy(block, text, std::size_t(count));  // text may lie in the old block
        plat::heapFree(data_);
        data_ = block;
        capacity_ = static_cast<std::int32_t>(newCapacity);
    } else if (count) {
        std::memmove(data_, text, std::size_t(count));
    }
    length_ = count;
    end_ = data_ + length_;
    *end_ = '\0';
}

void CStringBuffer::Assign(const CStringBuffer& other) {
    if (Equals(other)) return;
    Assign(other.data_, other.length_);
}

void CStringBuffer::Append(const char* text, std::int32_t count) {
    count = countOrStrlen(text, count);
    if (!data_ || length_ == 0) {
        Assign(text, count);
        return;
    }
    if (capacity_ - length_ <= count) {
        std::int64_t needed = std::int64_t(length_) + count + 1;
        std::int64_t newCapacity = std::int64_t(step_) * (needed / step_ + 1);
        char* block = allocBlock(newCapacity);
        std::memcpy(block, data_, std::size_t(length_));
        if (count) std::memcpy(block + length_, text, std::size_t(count));
        plat::heapFree(data_);
        data_ = block;
        capacity_ = static_cast<std::int32_t>(newCapacity);
    } else if (count) {
        std::memmove(data_ + length_, text, std::size_t(count));
    }
    length_ += count;
    end_ = data_ + length_;
    *end_ = '\0';
}

void CStringBuffer::Append(const CStringBuffer& other) {
    if (&other == this) {
        CStringBuffer copy(other);
        Append(copy.data_, copy.length_);
        return;
    }
    Append(other.data_, other.length_);
}

void CStringBuffer::Insert(const CStringBuffer& other, std::int32_t position) {
    if (position < 0) position = 0;
    if (position >= length_) {
        Append(other);
        return;
    }
    CStringBuffer joined(step_);
    joined.Assign(data_, position);
    joined.Append(other);
    joined.Append(data_ + position, length_ - position);
    Assign(joined);
}

void CStringBuffer::Insert(const char* text, std::int32_t position) {
    CStringBuffer other(text);
    Insert(other, position);
}

void CStringBuffer::Clear() {
    if (capacity_ < 1) {
        Assign("", 0);
    } else if (length_ > 0) {
        length_ = 0;
        end_ = data_;
        data_[0] = '\0';
    }
}

void CStringBuffer::CopyRange(const CStringBuffer& source, std::int32_t start, std::int32_t count, bool append) {
    if (&source == this) {
        CStringBuffer copy(source);
        CopyRange(copy, start, count, append);
        return;
    }
    if (!append) Clear();
    if (start < 0 || start >= source.length_) return;
    std::int32_t available = source.length_ - start;
    std::int32_t n = (count < 0 || count > available) ? available : count;
    if (append)
        Append(source.data_ + start, n);
    else
        Assign(source.data_ + start, n);
}

std::int32_t CStringBuffer::CopyOut(char* destination, std::int32_t size) const {
    if (size < 1 || !destination) return 0;
    std::int32_t n = length_ < size - 1 ? length_ : size - 1;
    if (n > 0) std::memcpy(destination, data_, std::size_t(n));
    destination[n] = '\0';
    return n;
}

std::int32_t CStringBuffer::Find(const char* text, std::int32_t start, bool ignoreCase) const {
    if (!text || length_ == 0 || start < 0 || start >= length_) return -1;
    const char* found;
    if (!ignoreCase) {
        found = std::strstr(data_ + start, text);
        return found ? static_cast<std::int32_t>(found - data_) : -1;
    }
    // Only A to Z are folded: the result must not depend on the process locale.
    std::string hay(data_ + start);
    std::string needle(text);
    for (char& c : hay) c = asciiUpper(c);
    for (char& c : needle) c = asciiUpper(c);
    std::size_t pos = hay.find(needle);
    return pos == std::string::npos ? -1 : start + static_cast<std::int32_t>(pos);
}

char* CStringBuffer::Detach() {
    char* block = data_;
    reset();
    Assign("", 0);
    return block;
}

void CStringBuffer::Attach(char* block, std::int32_t length, std::int32_t capacity) {
    if (!block) {
        Clear();
        return;
    }
    if (block != data_) plat::heapFree(data_);
    data_ = block;
    length_ = length < 1 ? countOrStrlen(block, -1) : length;
    capacity_ = capacity < 1 ? length_ + 1 : capacity;
    if (capacity_ <= length_) capacity_ = length_ + 1;
    end_ = data_ + length_;
}
