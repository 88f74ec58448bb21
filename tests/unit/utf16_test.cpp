// UTF-16 at the wide boundary: every buffer size around a multi-byte
// character and a surrogate pair, with guard bytes behind the buffer, for
// the copy-out of API texts, the pieces of SQL_C_WCHAR data and the fit
// helpers; ill-formed input; wide input texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/convert/convert.h"
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
    bool untouchedFrom(std::size_t offset) const { return written() <= int(offset); }
};

TEST(WideCopyOut, EveryCapacityAroundAPairAndATwoByteCharacter) {
    // capacity in units -> units of text written (a zero unit follows).
    const struct {
        SQLLEN capacity;
        std::size_t written;
    } cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 2}, {5, 4}, {6, 5}, {7, 5}, {12, 5}};
    for (const auto& c : cases) {
        Guarded b;
        SQLLEN full = -1;
        const SQLRETURN rc = copyOutWide(static_cast<SQLWCHAR*>(b.at()), c.capacity, &full, kText, sizeof kText - 1);
        EXPECT_EQ(5, full) << c.capacity;
        EXPECT_EQ(c.capacity <= 5 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc) << c.capacity;
        EXPECT_EQ(kWide.substr(0, c.written) + u'\0', b.units(c.written + 1)) << c.capacity;
        EXPECT_TRUE(b.untouchedFrom((c.written + 1) * 2)) << c.capacity;
    }
    // Capacity 0 or no buffer: only the length is written.
    Guarded b;
    SQLLEN full = -1;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, copyOutWide(static_cast<SQLWCHAR*>(b.at()), 0, &full, kText, 8));
    EXPECT_EQ(5, full);
    EXPECT_TRUE(b.untouchedFrom(0));
    EXPECT_EQ(SQL_SUCCESS, copyOutWide(nullptr, 10, &full, kText, 8));  // judged by the length, as copyOutString
}

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
        EXPECT_TRUE(b.untouchedFrom(c.bufferBytes >= 2 ? (c.written + 1) * 2 : 0)) << c.bufferBytes;
    }
}

TEST(WideData, ThroughTheConversionTableLengthsInBytes) {
    char16_t b[8];
    // "rc state consumed/reported" of one conversion into b.
    auto convert = [&](SQLSMALLINT sqlType, const char* text, SQLLEN length, SQLLEN size) {
        SQLLEN consumed = -7, reported = -7;
        char state[6] = "";
        const SQLRETURN rc = valueToCType(sqlType, text, length, SQL_C_WCHAR, b, size, &consumed, &reported, state);
        return std::to_string(rc) + " " + state + " " + std::to_string(consumed) + "/" + std::to_string(reported);
    };
    // 01004 with the whole remaining length in bytes; then the rest.
    EXPECT_EQ("1 01004 3/10", convert(SQL_VARCHAR, kText, 8, 8));
    EXPECT_EQ("0  5/6", convert(SQL_VARCHAR, kText + 3, 5, 8));
    EXPECT_EQ(std::u16string(u"\U0001F600b"), std::u16string(b));
    // A number that does not fit is refused, as for SQL_C_CHAR.
    EXPECT_EQ("-1 22003 2/10", convert(SQL_INTEGER, "12345", 5, 6));
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
}

TEST(Utf16Fit, CutsOnlyBetweenWholeCharacters) {
    const std::uint16_t* units = reinterpret_cast<const std::uint16_t*>(kWide.data());
    const std::size_t unitFit[] = {0, 1, 2, 2, 4, 5, 5};  // by capacity 0..6
    for (std::size_t cap = 0; cap < 7; ++cap) EXPECT_EQ(unitFit[cap], utf16FitUnits(units, 5, cap)) << cap;
    const std::size_t byteFit[] = {0, 1, 1, 3, 3, 3, 3, 7, 8, 8};  // by capacity 0..9
    for (std::size_t cap = 0; cap < 10; ++cap) EXPECT_EQ(byteFit[cap], utf8FitBytes(kText, 8, cap)) << cap;
    const std::size_t fitBytes[] = {0, 1, 3, 3, 7, 8, 8};  // by unit capacity 0..6
    for (std::size_t cap = 0; cap < 7; ++cap) {
        std::size_t n = 99;
        EXPECT_EQ(fitBytes[cap], utf8FitUnits(kText, 8, cap, &n)) << cap;
        EXPECT_EQ(unitFit[cap], n) << cap;
    }
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

TEST(WideIn, NullTextsAndLengthsReachTheInternalFunctionAsGiven) {
    const SQLWCHAR text[] = {'a', 0xD83D, 0xDE00, 'b', 0};
    const struct {
        const SQLWCHAR* text;
        SQLLEN length;
        const char* converted;  // null: no text
        SQLLEN passed;
    } cases[] = {
        {text, SQL_NTS, "a\xF0\x9F\x98\x80" "b", SQL_NTS},
        {text, 3, "a\xF0\x9F\x98\x80", SQL_NTS},
        {text, 2, "a\xEF\xBF\xBD", SQL_NTS},  // counted in the middle of a pair
        {text, 0, "", SQL_NTS},
        {text, -5, nullptr, -5},
        {nullptr, SQL_NTS, nullptr, SQL_NTS},
    };
    for (const auto& c : cases) {
        WideIn in(c.text, c.length);
        EXPECT_EQ(c.passed, in.length()) << c.length;
        if (!c.converted) {
            if (!c.text) {
                EXPECT_EQ(nullptr, in.text());
            }
            continue;
        }
        ASSERT_NE(nullptr, in.text());
        EXPECT_STREQ(c.converted, reinterpret_cast<const char*>(in.text())) << c.length;
    }
}

}  // namespace
