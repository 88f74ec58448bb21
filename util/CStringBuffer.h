// Growable NUL-terminated byte string that grows in whole growth steps, for
// assembling request texts, connection strings and catalog statements.
// Blocks come from the process heap (plat::heapAlloc); a block handed out by
// Detach is released by the caller with plat::heapFree.
#pragma once

#include <cstdint>

class CStringBuffer {
public:
    static constexpr std::int32_t kDefaultStep = 4092;

    CStringBuffer();
    explicit CStringBuffer(std::int32_t growthStep);
    explicit CStringBuffer(const char* text);
    CStringBuffer(const CStringBuffer& other);
    CStringBuffer& operator=(const CStringBuffer& other);
    virtual ~CStringBuffer();

    char* GetData() const { return data_; }
    std::int32_t GetLength() const { return length_; }
    std::int32_t GetCapacity() const { return capacity_; }

    bool Equals(const CStringBuffer& other) const;

    // count < 0: the NUL-terminated length of text (null counts as empty).
    void Assign(const char* text, std::int32_t count = -1);
    void Assign(const CStringBuffer& other);
    void Append(const char* text, std::int32_t count = -1);
    void Append(const CStringBuffer& other);
    // Inserts before position (>= 0); at or past the length it appends.
    void Insert(const CStringBuffer& other, std::int32_t position);
    void Insert(const char* text, std::int32_t position);
    void Clear();
    // Copies count characters from start of source (count < 0 or running
    // past the end: up to the end); replaces the contents unless append.
    void CopyRange(const CStringBuffer& source, std::int32_t start, std::int32_t count, bool append);
    // Copies into a fixed array of size bytes, always terminated when size
    // >= 1; returns the characters copied.
    std::int32_t CopyOut(char* destination, std::int32_t size) const;
    // Position of text at or after start, or -1.
    std::int32_t Find(const char* text, std::int32_t start = 0, bool ignoreCase = false) const;
    // Hands the block to the caller; the object stays usable, empty.
    char* Detach();
    // Takes ownership of a heap block. length < 1: its NUL-terminated length;
    // capacity < 1: length + 1.
    void Attach(char* block, std::int32_t length, std::int32_t capacity);

private:
    void reset();

    char* data_ = nullptr;
    std::int32_t capacity_ = 0;
    std::int32_t length_ = 0;
    char* end_ = nullptr;
    std::int32_t step_ = kDefaultStep;
};
