// The kit's owned values: strings, long strings and the packet that carries a
// request's arguments to the server and its results back.
//
// Every item owns a buffer from the process heap and copies deeply. A failed
// allocation leaves the item empty rather than throwing: callers see "" and
// the exchange that needed the value fails on its own terms.
//
// This file and CData.cpp depend on nothing but the platform heap, so the
// server links them for its side of the wire format.
#pragma once

#include <cstddef>
#include <cstdint>

// Abstract base of every data item. The order of the virtual operations is
// part of the item family's contract; derived classes keep it.
class CDATA {
public:
    virtual CDATA& Assign(const CDATA& other) = 0;
    virtual ~CDATA();
    virtual std::size_t Length() const = 0;
    virtual CDATA& Assign(const char* text) = 0;
    virtual CDATA& Append(const char* text) = 0;
    virtual CDATA& Append(const CDATA& other) = 0;
    virtual char* At(std::int32_t index) const = 0;
    virtual char* At(std::uint64_t offset) const = 0;
    virtual char* Data() const = 0;
    virtual std::size_t CopyOut(char* buffer, std::size_t size) const = 0;

protected:
    CDATA() = default;
    CDATA(const CDATA&) = default;
    CDATA& operator=(const CDATA&) = default;
};

// A NUL-terminated character string; the buffer is never null.
class CSTRING : public CDATA {
public:
    CSTRING();
    CSTRING(const char* text);  // NOLINT: implicit on purpose, like a text argument
    CSTRING(const void* bytes, std::size_t count);
    CSTRING(const CDATA& other);
    CSTRING(const CSTRING& other);
    CSTRING(const char* first, const char* second);
    CSTRING(char c, std::size_t count);
    CSTRING& operator=(const CSTRING& other);
    // Takes the other's text and leaves it ours: no copy for a temporary.
    CSTRING& operator=(CSTRING&& other) noexcept;
    CSTRING& operator=(const char* text);
    ~CSTRING() override;

    CDATA& Assign(const CDATA& other) override;
    std::size_t Length() const override;
    CDATA& Assign(const char* text) override;
    CDATA& Append(const char* text) override;
    CDATA& Append(const CDATA& other) override;
    char* At(std::int32_t index) const override;
    char* At(std::uint64_t offset) const override;
    char* Data() const override;
    std::size_t CopyOut(char* buffer, std::size_t size) const override;

    const char* c_str() const { return text_; }

protected:
    void setBytes(const void* bytes, std::size_t count);
    void appendBytes(const void* bytes, std::size_t count);

private:
    char* text_ = nullptr;
    std::size_t length_ = 0;
};

// A string meant for a window: on Windows it can be loaded from a string
// resource, sized as a filler and shown in a window or list box. Elsewhere
// the window operations do nothing and the string behaves as a CSTRING.
class CWSTRING : public CSTRING {
public:
    using CSTRING::CSTRING;
    CWSTRING() = default;
    // From a string resource of the library (a 256-character buffer).
    CWSTRING(void* module, unsigned resourceId);
    // One character repeated so as to be as wide as `item`'s text in `window`.
    CWSTRING(void* window, const CDATA& item, char fill);
    // Adds the text as a new line of a list box, or makes it the window text.
    bool Show(void* window) const;
};

// The text of a failed platform call, with the country code of the user's
// settings that chose its language.
class CSYSERR : public CSTRING {
public:
    CSYSERR() = default;
    CSYSERR(const char* method, long code);
    std::int32_t Country() const { return country_; }

private:
    std::int32_t country_ = 0;
};

// Binary-safe bytes with a signed 32-bit count and no terminator.
class CLSTRING : public CDATA {
public:
    CLSTRING();
    CLSTRING(const char* text);  // NOLINT: implicit on purpose
    CLSTRING(const void* bytes, std::size_t count);
    CLSTRING(const CDATA& other);
    CLSTRING(const CLSTRING& other);
    // A string's text (up to its first zero) together with its terminator:
    // such fields reach the wire with one trailing zero byte.
    CLSTRING(const CSTRING& text);
    CLSTRING& operator=(const CLSTRING& other);
    ~CLSTRING() override;

    CDATA& Assign(const CDATA& other) override;
    std::size_t Length() const override;
    CDATA& Assign(const char* text) override;
    CDATA& Append(const char* text) override;
    CDATA& Append(const CDATA& other) override;
    char* At(std::int32_t index) const override;
    char* At(std::uint64_t offset) const override;
    char* Data() const override;
    std::size_t CopyOut(char* buffer, std::size_t size) const override;
    virtual CDATA& AssignItem(const CDATA& other);

    void setBytes(const void* bytes, std::size_t count);
    // Gives the bytes away as a process-heap block of Length() + 2 bytes whose
    // last two are zero, leaving the item empty; null when it has no bytes.
    char* Release();

private:
    friend class CPACKET;
    // Takes over a heap block whose `count` bytes are followed by two zeros.
    void adopt(char* block, std::size_t count);

    // When not null, followed by two zero bytes: Release() then needs no copy.
    char* bytes_ = nullptr;
    std::int32_t count_ = 0;
};

// The growable byte buffer of one exchange. Appends go to the end, takes
// consume from the front; a take that lacks bytes yields 0 or "".
class CPACKET : public CDATA {
public:
    CPACKET();
    CPACKET(const char* text);  // NOLINT: implicit on purpose
    CPACKET(const void* bytes, std::size_t count);
    CPACKET(const CDATA& other);
    CPACKET(const CPACKET& other);
    CPACKET& operator=(const CPACKET& other);
    ~CPACKET() override;

    CDATA& Assign(const CDATA& other) override;
    std::size_t Length() const override;
    CDATA& Assign(const char* text) override;
    CDATA& Append(const char* text) override;
    CDATA& Append(const CDATA& other) override;
    char* At(std::int32_t index) const override;
    char* At(std::uint64_t offset) const override;
    char* Data() const override;
    std::size_t CopyOut(char* buffer, std::size_t size) const override;

    CPACKET& AppendU8(std::uint8_t v);
    CPACKET& AppendU16(std::uint16_t v);
    CPACKET& AppendU32(std::uint32_t v);
    // Short items carry at most 65535 bytes; a longer item is cut to that
    // so that the length field and the bytes always agree.
    CPACKET& AppendShortItem(const CDATA& item);
    CPACKET& AppendLongItem(const CDATA& item);
    CPACKET& AppendBytes(const void* bytes, std::size_t count);

    CPACKET& TakeU8(std::uint8_t& v);
    CPACKET& TakeU16(std::uint16_t& v);
    CPACKET& TakeU32(std::uint32_t& v);
    CPACKET& TakeShortItem(CDATA& item);
    CPACKET& TakeLongItem(CLSTRING& item);
    // Whether a take ran past the end: a field whose length says more than
    // the packet holds. Only Clear() forgets it.
    bool Underrun() const { return underrun_; }
    CPACKET& Clear();

    // Makes room for `count` bytes of content that the caller then writes
    // whole (a receive buffer; not zeroed); false when the heap refuses,
    // leaving the packet empty.
    bool Resize(std::size_t count);
    // Drops `count` bytes from the front.
    void Consume(std::size_t count);
    // Exchanges contents with `other`, without copying.
    void Swap(CPACKET& other) noexcept;

private:
    bool reserve(std::size_t total);
    void setBytes(const void* bytes, std::size_t count);
    // The next n bytes (n > 0, all present) into `bytes`, consumed.
    bool takeItemBytes(std::size_t n, CLSTRING& bytes);
    bool giveBuffer(std::size_t n, CLSTRING& bytes);

    char* buffer_ = nullptr;   // heap block, capacity_ bytes
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;     // first unconsumed byte
    std::uint64_t count_ = 0;  // bytes from head_ on
    bool underrun_ = false;
};

// ---------------------------------------------------------------------------
// Message blocks and frames, shared by the kit and the server.

namespace vornwire {

constexpr std::uint8_t kKindRequest = 'T';
constexpr std::uint8_t kKindNotify = 'N';

// Largest frame either side accepts. A length beyond it is a broken or
// hostile peer: the receive fails before anything is allocated.
constexpr std::uint32_t kMaxFrameLength = 256u * 1024u * 1024u;

// Puts the message header (kind, request number) in front of `packet`.
// Returns 1, or -2 for a kind other than 'T' and 'N' (the packet then holds
// the kind byte and its old content).
std::int32_t AddHeader(CPACKET& packet, std::uint8_t kind, std::uint16_t number);

// Puts an answer header (kind, number, status, message) in front of the
// results already in `packet`.
void AddAnswerHeader(CPACKET& packet, std::uint8_t kind, std::uint16_t number,
                     std::uint32_t status, const CDATA& message);

// The four length bytes of a frame whose body has `bodyLength` bytes.
void EncodeFrameHeader(std::uint32_t bodyLength, unsigned char out[4]);

// The body length of a frame from its four length bytes; false when the
// length cannot describe a frame (below 4) or exceeds kMaxFrameLength.
bool DecodeFrameHeader(const unsigned char in[4], std::uint32_t& bodyLength);

}  // namespace vornwire
