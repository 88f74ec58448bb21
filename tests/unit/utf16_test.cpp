// UTF-16 at the wide boundary: every buffer size around a multi-byte
// character and a surrogate pair, with guard bytes behind the buffer, for
// the copy-out of API texts and the pieces of SQL_C_WCHAR and character
// data; ill-formed input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/convert/widetext.h"
#include "util/Utf16.h"
#include "unit/guarded.h"

namespace {


// "aé😀b": one-, two- and four-byte UTF-8; units a, é, D83D DE00, b.
const char kText[] = "a\xC3\xA9\xF0\x9F\x98\x80" "b";
const std::u16string kWide = u"a\u00E9\U0001F600b";

// What a call wrote into a guarded buffer, as UTF-16 units.
struct Guarded : vorntest::Guarded {
    std::u16string units(std::size_t n) {
        std::u16string out(n, u'\0');
        std::memcpy(&out[0], at(), n * 2);
        return out;
    }
};

TEST(WideData, EveryBufferSizeInBytesOddOnesIncluded) {
    // bufferBytes -> source bytes consumed, units written.
    const struct {
        SQLLEN bufferBytes;
        std::size_t consumed;
        std::size_t written;
    } cases[] = {{0, 0, 0},  {1, 0, 0},  {2, 0, 0},  {3, 0, 0},  {4, 1, 1},  {5, 1, 1},  {6, 3, 2},
                 {7, 3, 2},  {8, 3, 2},  {9, 3, 2},  {10, 7, 4}, {11, 7, 4}, {12, 8, 5}, {20, 8, 5}};
    for (const auto& c : cases) {
        Guarded b;
        const WidePiece piece = copyOutWideData(b.at(), c.bufferBytes, kText, sizeof kText - 1);
        EXPECT_EQ(c.consumed, piece.consumed) << c.bufferBytes;
        EXPECT_EQ(10u, piece.remainingBytes) << c.bufferBytes;
        if (c.bufferBytes >= 2) {
            EXPECT_EQ(kWide.substr(0, c.written) + u'\0', b.units(c.written + 1)) << c.bufferBytes;
        }
        EXPECT_LE(b.written(), int(c.bufferBytes >= 2 ? (c.written + 1) * 2 : 0)) << c.bufferBytes;
    }
}

TEST(AnsiData, PiecesEndBetweenWholeCharacters) {
    // On Linux the ANSI form is the text itself: the walk alone is seen.
    const std::size_t consumed[] = {0, 1, 1, 3, 3, 3, 3, 7, 8, 8};  // by room 0..9
    for (std::size_t room = 0; room < 10; ++room) {
        Guarded b;
        char* at = static_cast<char*>(b.at());
        const AnsiPiece piece = copyOutAnsiData(at, room, kText, 8);
        EXPECT_EQ(consumed[room], piece.consumed) << room;
        EXPECT_EQ(consumed[room], piece.written) << room;
        EXPECT_EQ(8u, piece.remaining) << room;
        EXPECT_EQ(std::string(kText, consumed[room]), std::string(at, piece.written)) << room;
        EXPECT_EQ(int(piece.written), b.written()) << room;
    }
    EXPECT_EQ(0u, copyOutAnsiData(nullptr, 5, kText, 8).consumed);
    // A message cut inside a character backs up to its start, or to nothing
    // when it starts with stray continuation bytes.
    EXPECT_EQ(1u, utf8FitBytes(kText, 8, 2));
    EXPECT_EQ(3u, utf8FitBytes(kText, 8, 6));
    EXPECT_EQ(0u, utf8FitBytes("\x80\x80", 2, 1));
}

TEST(Utf16Conversion, IllFormedInputBecomesReplacementCharacters) {
    const struct {
        const char* utf8;
        std::u16string wide;
    } fromUtf8[] = {
        {"\xC3", u"\uFFFD"},                       // cut short
        {"\x80z", u"\uFFFDz"},                     // lone continuation byte
        {"\xC0\xAF", u"\uFFFD"},                   // overlong
        {"\xED\xA0\x80", u"\uFFFD"},               // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"},           // beyond U+10FFFF
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
    };
    for (const auto& c : fromUtf8) {
        std::u16string out;
        utf8ToUtf16(c.utf8, std::strlen(c.utf8), out);
        EXPECT_EQ(c.wide, out) << c.utf8;
    }
    const struct {
        std::u16string wide;
        const char* utf8;
    } fromUtf16[] = {
        {u"\xD83D", "\xEF\xBF\xBD"},                // high surrogate at the end
        {u"\xDE00x", "\xEF\xBF\xBDx"},              // lone low surrogate
        {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
        {u"\u65E5\u00E9", "\xE6\x97\xA5\xC3\xA9"},
    };
    for (const auto& c : fromUtf16) {
        std::string out;
        utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(c.wide.data()), c.wide.size(), out);
        EXPECT_EQ(c.utf8, out);
    }
}

}  // namespace
