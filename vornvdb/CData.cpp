// Data items and the packet; see CData.h.
#include "vornvdb/CData.h"

#include "platform/platform.h"

#include <cstring>
#include <utility>

namespace {

std::size_t strlenOrZero(const char* text) { return text ? std::strlen(text) : 0; }

// A heap copy of `count` bytes with `extra` zero bytes behind; null when the
// heap refuses.
char* heapCopy(const void* bytes, std::size_t count, std::size_t extra) {
    if (count > SIZE_MAX - extra - 1) return nullptr;
    auto* p = static_cast<char*>(plat::heapAllocRaw(count + extra == 0 ? 1 : count + extra));
    if (!p) return nullptr;
    if (count) std::memcpy(p, bytes, count);
    std::memset(p + count, 0, count + extra == 0 ? 1 : extra);
    return p;
}

// Replaces `owned` with a heap copy of `count` bytes (no copy when there are
// no bytes or the heap refuses); the count now held.
std::size_t replaceWithCopy(char*& owned, const void* bytes, std::size_t count) {
    char* p = bytes && count ? heapCopy(bytes, count, 0) : nullptr;
    plat::heapFree(owned);
    owned = p;
    return p ? count : 0;
}

void putLe(unsigned char* out, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t getLe(const unsigned char* in, int width) {
    std::uint32_t v = 0;
    for (int i = 0; i < width; ++i) v |= std::uint32_t(in[i]) << (8 * i);
    return v;
}

}  // namespace

CDATA::~CDATA() = default;

// ---------------------------------------------------------------------------
// CSTRING

CSTRING::CSTRING() { setBytes(nullptr, 0); }
CSTRING::CSTRING(const char* text) { setBytes(text, strlenOrZero(text)); }
CSTRING::CSTRING(const void* bytes, std::size_t count) { setBytes(bytes, bytes ? count : 0); }
CSTRING::CSTRING(const CDATA& other) : CDATA() { setBytes(other.Data(), other.Length()); }
CSTRING::CSTRING(const CSTRING& other) : CDATA() { setBytes(other.text_, other.length_); }
CSTRING::CSTRING(const char* first, const char* second) {
    setBytes(first, strlenOrZero(first));
    appendBytes(second, strlenOrZero(second));
}
CSTRING::CSTRING(char c, std::size_t count) {
    setBytes(nullptr, 0);
    char* p = heapCopy(nullptr, 0, count + 1);
    if (!p) return;
    std::memset(p, c, count);
    plat::heapFree(text_);
    text_ = p;
    length_ = count;
}
CSTRING::~CSTRING() { plat::heapFree(text_); }

CSTRING& CSTRING::operator=(const CSTRING& other) {
    if (this != &other) setBytes(other.text_, other.length_);
    return *this;
}
CSTRING& CSTRING::operator=(CSTRING&& other) noexcept {
    std::swap(text_, other.text_);
    std::swap(length_, other.length_);
    return *this;
}
CSTRING& CSTRING::operator=(const char* text) {
    Assign(text);
    return *this;
}

void CSTRING::setBytes(const void* bytes, std::size_t count) {
    // Copy first: the source may be our own buffer.
    char* p = heapCopy(bytes, count, 1);
    if (!p) {
        count = 0;
        p = heapCopy(nullptr, 0, 1);
    }
    plat::heapFree(text_);
    text_ = p;
    length_ = p ? count : 0;
}

void CSTRING::appendBytes(const void* bytes, std::size_t count) {
    if (!bytes || count == 0) return;
    if (count > SIZE_MAX - length_ - 1) return;
    // The source may lie inside our own buffer, which the reallocation moves.
    std::size_t selfOffset = SIZE_MAX;
    if (text_ && bytes >= text_ && bytes < text_ + length_ + 1)
        selfOffset = static_cast<std::size_t>(static_cast<const char*>(bytes) - text_);
    auto* p = static_cast<char*>(plat::heapRealloc(text_, length_ + count + 1));
    if (!p) return;
    text_ = p;
    std::memmove(text_ + length_, selfOffset != SIZE_MAX ? text_ + selfOffset : bytes, count);
    length_ += count;
    text_[length_] = '\0';
}

CDATA& CSTRING::Assign(const CDATA& other) {
    if (&other != this) setBytes(other.Data(), other.Length());
    return *this;
}
std::size_t CSTRING::Length() const { return length_; }
CDATA& CSTRING::Assign(const char* text) {
    setBytes(text, strlenOrZero(text));
    return *this;
}
CDATA& CSTRING::Append(const char* text) {
    appendBytes(text, strlenOrZero(text));
    return *this;
}
CDATA& CSTRING::Append(const CDATA& other) {
    appendBytes(other.Data(), other.Length());
    return *this;
}
char* CSTRING::At(std::int32_t index) const { return text_ + index; }
char* CSTRING::At(std::uint64_t offset) const { return text_ + offset; }
char* CSTRING::Data() const { return text_; }

std::size_t CSTRING::CopyOut(char* buffer, std::size_t size) const {
    if (!buffer || size == 0) return 0;
    std::size_t n = length_ < size - 1 ? length_ : size - 1;
    if (n) std::memcpy(buffer, text_, n);
    buffer[n] = '\0';
    return n;
}

// ---------------------------------------------------------------------------
// CLSTRING

CLSTRING::CLSTRING() = default;
CLSTRING::CLSTRING(const char* text) { setBytes(text, strlenOrZero(text)); }
CLSTRING::CLSTRING(const void* bytes, std::size_t count) { setBytes(bytes, bytes ? count : 0); }
CLSTRING::CLSTRING(const CDATA& other) : CDATA() { setBytes(other.Data(), other.Length()); }
CLSTRING::CLSTRING(const CLSTRING& other) : CDATA() { setBytes(other.bytes_, std::size_t(other.count_)); }
// The text as a C string: a string built from bytes that already end in a
// zero (a caller's length that counts the terminator) still sends only one.
CLSTRING::CLSTRING(const CSTRING& text) : CDATA() { setBytes(text.Data(), std::strlen(text.c_str()) + 1); }
CLSTRING::~CLSTRING() { plat::heapFree(bytes_); }

CLSTRING& CLSTRING::operator=(const CLSTRING& other) {
    if (this != &other) setBytes(other.bytes_, std::size_t(other.count_));
    return *this;
}

void CLSTRING::setBytes(const void* bytes, std::size_t count) {
    // The count is a signed 32-bit field.
    if (count > 0x7FFFFFFF) count = 0x7FFFFFFF;
    char* p = bytes && count ? heapCopy(bytes, count, 2) : nullptr;
    plat::heapFree(bytes_);
    bytes_ = p;
    count_ = p ? static_cast<std::int32_t>(count) : 0;
}

void CLSTRING::adopt(char* block, std::size_t count) {
    plat::heapFree(bytes_);
    bytes_ = block;
    count_ = static_cast<std::int32_t>(count);
}

char* CLSTRING::Release() {
    char* p = bytes_;
    bytes_ = nullptr;
    count_ = 0;
    return p;
}

CDATA& CLSTRING::Assign(const CDATA& other) {
    if (&other != this) setBytes(other.Data(), other.Length());
    return *this;
}
std::size_t CLSTRING::Length() const { return count_ > 0 ? std::size_t(count_) : 0; }
CDATA& CLSTRING::Assign(const char* text) {
    setBytes(text, strlenOrZero(text));
    return *this;
}
CDATA& CLSTRING::Append(const char* text) {
    CLSTRING tail(text);
    return Append(tail);
}
CDATA& CLSTRING::Append(const CDATA& other) {
    std::size_t add = other.Length();
    if (add == 0 || !other.Data()) return *this;
    std::size_t have = Length();
    if (add > std::size_t(0x7FFFFFFF) - have) return *this;
    // Build the joined copy first: `other` may be this item.
    char* p = heapCopy(bytes_, have, add + 2);
    if (!p) return *this;
    std::memcpy(p + have, other.Data(), add);
    plat::heapFree(bytes_);
    bytes_ = p;
    count_ = static_cast<std::int32_t>(have + add);
    return *this;
}
char* CLSTRING::At(std::int32_t index) const { return bytes_ ? bytes_ + index : nullptr; }
char* CLSTRING::At(std::uint64_t offset) const { return bytes_ ? bytes_ + offset : nullptr; }
char* CLSTRING::Data() const { return bytes_; }
std::size_t CLSTRING::CopyOut(char* buffer, std::size_t size) const {
    std::size_t n = Length() < size ? Length() : size;
    if (!buffer || n == 0) return 0;
    std::memcpy(buffer, bytes_, n);
    return n;
}
CDATA& CLSTRING::AssignItem(const CDATA& other) { return CLSTRING::Assign(other); }

// ---------------------------------------------------------------------------
// CPACKET

CPACKET::CPACKET() = default;
CPACKET::CPACKET(const char* text) { setBytes(text, strlenOrZero(text)); }
CPACKET::CPACKET(const void* bytes, std::size_t count) { setBytes(bytes, bytes ? count : 0); }
CPACKET::CPACKET(const CDATA& other) : CDATA() { setBytes(other.Data(), other.Length()); }
CPACKET::CPACKET(const CPACKET& other) : CDATA() { setBytes(other.Data(), other.Length()); }
CPACKET::~CPACKET() { plat::heapFree(buffer_); }

CPACKET& CPACKET::operator=(const CPACKET& other) {
    if (this != &other) setBytes(other.Data(), other.Length());
    return *this;
}

bool CPACKET::reserve(std::size_t total) {
    if (head_ + total <= capacity_) return true;
    // Reclaim consumed space before growing.
    if (head_ && buffer_) {
        std::memmove(buffer_, buffer_ + head_, std::size_t(count_));
        head_ = 0;
        if (total <= capacity_) return true;
    }
    std::size_t cap = capacity_ < 64 ? 64 : capacity_;
    while (cap < total) {
        if (cap > SIZE_MAX / 2) {
            cap = total;
            break;
        }
        cap *= 2;
    }
    auto* p = static_cast<char*>(plat::heapRealloc(buffer_, cap));
    if (!p) {
        // Exact size as a last try: doubling may ask for far more than needed.
        p = static_cast<char*>(plat::heapRealloc(buffer_, total));
        if (!p) return false;
        cap = total;
    }
    buffer_ = p;
    capacity_ = cap;
    return true;
}

void CPACKET::setBytes(const void* bytes, std::size_t count) {
    count = replaceWithCopy(buffer_, bytes, count);
    capacity_ = count;
    head_ = 0;
    count_ = count;
}

CDATA& CPACKET::Assign(const CDATA& other) {
    if (&other != this) setBytes(other.Data(), other.Length());
    return *this;
}
std::size_t CPACKET::Length() const { return std::size_t(count_); }
CDATA& CPACKET::Assign(const char* text) {
    setBytes(text, strlenOrZero(text));
    return *this;
}
CDATA& CPACKET::Append(const char* text) { return AppendBytes(text, strlenOrZero(text)); }
CDATA& CPACKET::Append(const CDATA& other) {
    if (&other == this) {
        CPACKET copy(*this);
        return AppendBytes(copy.Data(), copy.Length());
    }
    return AppendBytes(other.Data(), other.Length());
}
char* CPACKET::At(std::int32_t index) const { return buffer_ ? buffer_ + head_ + index : nullptr; }
char* CPACKET::At(std::uint64_t offset) const { return buffer_ ? buffer_ + head_ + offset : nullptr; }
char* CPACKET::Data() const { return count_ ? buffer_ + head_ : nullptr; }
std::size_t CPACKET::CopyOut(char* buffer, std::size_t size) const {
    std::size_t n = Length() < size ? Length() : size;
    if (!buffer || n == 0) return 0;
    std::memcpy(buffer, Data(), n);
    return n;
}

CPACKET& CPACKET::AppendBytes(const void* bytes, std::size_t count) {
    if (!bytes || count == 0) return *this;
    if (count > SIZE_MAX - std::size_t(count_)) return *this;
    if (!reserve(std::size_t(count_) + count)) return *this;
    std::memcpy(buffer_ + head_ + count_, bytes, count);
    count_ += count;
    return *this;
}

CPACKET& CPACKET::AppendU8(std::uint8_t v) { return AppendBytes(&v, 1); }
CPACKET& CPACKET::AppendU16(std::uint16_t v) {
    unsigned char b[2];
    putLe(b, v, 2);
    return AppendBytes(b, 2);
}
CPACKET& CPACKET::AppendU32(std::uint32_t v) {
    unsigned char b[4];
    putLe(b, v, 4);
    return AppendBytes(b, 4);
}
CPACKET& CPACKET::AppendShortItem(const CDATA& item) {
    std::size_t n = item.Length();
    if (n > 0xFFFF) n = 0xFFFF;
    if (&item == this) {
        CPACKET copy(*this);
        AppendU16(static_cast<std::uint16_t>(n));
        return AppendBytes(copy.Data(), n);
    }
    AppendU16(static_cast<std::uint16_t>(n));
    return AppendBytes(item.Data(), n);
}
CPACKET& CPACKET::AppendLongItem(const CDATA& item) {
    std::size_t n = item.Length();
    if (n > 0xFFFFFFFFu) n = 0xFFFFFFFFu;
    if (&item == this) {
        CPACKET copy(*this);
        AppendU32(static_cast<std::uint32_t>(n));
        return AppendBytes(copy.Data(), n);
    }
    AppendU32(static_cast<std::uint32_t>(n));
    return AppendBytes(item.Data(), n);
}

void CPACKET::Consume(std::size_t count) {
    if (count >= count_) {
        head_ = 0;
        count_ = 0;
        return;
    }
    head_ += count;
    count_ -= count;
}

CPACKET& CPACKET::TakeU8(std::uint8_t& v) {
    v = 0;
    if (count_ < 1) underrun_ = true;
    if (count_ >= 1) {
        v = static_cast<std::uint8_t>(buffer_[head_]);
        Consume(1);
    }
    return *this;
}
CPACKET& CPACKET::TakeU16(std::uint16_t& v) {
    v = 0;
    if (count_ < 2) underrun_ = true;
    if (count_ >= 2) {
        v = static_cast<std::uint16_t>(getLe(reinterpret_cast<unsigned char*>(buffer_ + head_), 2));
        Consume(2);
    }
    return *this;
}
CPACKET& CPACKET::TakeU32(std::uint32_t& v) {
    v = 0;
    if (count_ < 4) underrun_ = true;
    if (count_ >= 4) {
        v = getLe(reinterpret_cast<unsigned char*>(buffer_ + head_), 4);
        Consume(4);
    }
    return *this;
}
bool CPACKET::takeItemBytes(std::size_t n, CLSTRING& bytes) {
    if (count_ < n) underrun_ = true;
    if (n == 0 || count_ < n) return false;
    if (n > 0x7FFFFFFF || !giveBuffer(n, bytes)) {
        bytes.setBytes(buffer_ + head_, n);
        Consume(n);
    }
    return true;
}

// A long item that is most of a large frame (a result document) takes the
// packet's own buffer, moved to its front: copying megabytes into fresh
// memory costs more than the answer's parse. The bytes after the item move
// to a small buffer of their own. False (nothing changed) when not worth it.
bool CPACKET::giveBuffer(std::size_t n, CLSTRING& bytes) {
    constexpr std::size_t kGiveFrom = 64 * 1024;
    const std::size_t tail = std::size_t(count_) - n;
    if (n < kGiveFrom || capacity_ < n + 2) return false;
    char* rest = nullptr;
    if (tail) {
        rest = static_cast<char*>(plat::heapAllocRaw(tail));
        if (!rest) return false;
        std::memcpy(rest, buffer_ + head_ + n, tail);
    }
    std::memmove(buffer_, buffer_ + head_, n);
    buffer_[n] = buffer_[n + 1] = '\0';
    bytes.adopt(buffer_, n);
    buffer_ = rest;
    capacity_ = tail;
    head_ = 0;
    count_ = tail;
    return true;
}

CPACKET& CPACKET::TakeShortItem(CDATA& item) {
    std::uint16_t n = 0;
    CLSTRING bytes;
    TakeU16(n);
    if (takeItemBytes(n, bytes))
        item.Assign(bytes);
    else
        item.Assign("");
    return *this;
}
CPACKET& CPACKET::TakeLongItem(CLSTRING& item) {
    std::uint32_t n = 0;
    TakeU32(n);
    // Straight into the item: a long item may be most of a large frame, and
    // a copy on the way would hold it three times at once.
    if (!takeItemBytes(n, item)) item.Assign("");
    return *this;
}
CPACKET& CPACKET::Clear() {
    plat::heapFree(buffer_);
    buffer_ = nullptr;
    capacity_ = 0;
    head_ = 0;
    count_ = 0;
    underrun_ = false;
    return *this;
}

void CPACKET::Swap(CPACKET& other) noexcept {
    std::swap(buffer_, other.buffer_);
    std::swap(capacity_, other.capacity_);
    std::swap(head_, other.head_);
    std::swap(count_, other.count_);
    std::swap(underrun_, other.underrun_);
}

bool CPACKET::Resize(std::size_t count) {
    Clear();
    if (count == 0) return true;
    buffer_ = static_cast<char*>(plat::heapAllocRaw(count));
    if (!buffer_) return false;
    capacity_ = count;
    count_ = count;
    return true;
}

// ---------------------------------------------------------------------------

namespace vornwire {

std::int32_t AddHeader(CPACKET& packet, std::uint8_t kind, std::uint16_t number) {
    CPACKET block;
    block.AppendU8(kind);
    std::int32_t rc = -2;
    if (kind == kKindRequest || kind == kKindNotify) {
        block.AppendU16(number);
        rc = 1;
    }
    block.Append(packet);
    packet.Swap(block);
    return rc;
}

void AddAnswerHeader(CPACKET& packet, std::uint8_t kind, std::uint16_t number,
                     std::uint32_t status, const CDATA& message) {
    CPACKET block;
    block.AppendU8(kind).AppendU16(number).AppendU32(status).AppendShortItem(message);
    block.Append(packet);
    packet.Swap(block);
}

void EncodeFrameHeader(std::uint32_t bodyLength, unsigned char out[4]) { putLe(out, bodyLength + 4, 4); }

bool DecodeFrameHeader(const unsigned char in[4], std::uint32_t& bodyLength) {
    std::uint32_t total = getLe(in, 4);
    bodyLength = 0;
    if (total < 4 || total > kMaxFrameLength) return false;
    bodyLength = total - 4;
    return true;
}

}  // namespace vornwire
